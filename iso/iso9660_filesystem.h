// A read/write ISO 9660 filesystem with Joliet names over a 2048-byte-sector
// Disc. Files are changed in place: overwritten, shortened, grown (moved to
// sectors appended at the end of the image when they outgrow their
// allocation, carrying their bytes along), and renamed; the directory records
// of every tree (ISO 9660, Joliet, a separate ISO 9660:1999 tree) and the volume
// size in every volume descriptor follow. Images that also hold a UDF file
// system are only ever mounted read-only: its tree could not be kept in step.
// Every lookup bounds what the image says against the image itself: a
// damaged image makes lookups fail (ENOENT or EIO), never read out of bounds.
//
// The code, by concern: mounting and the volume descriptor set in
// iso9660_filesystem.cpp, then iso9660_lookup, _descriptors, _listing,
// _resize, _twins (the other trees' records) and _walk (the one-pass walk).
#ifndef TALVO_ISO_ISO9660_FILESYSTEM_H
#define TALVO_ISO_ISO9660_FILESYSTEM_H

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <memory>

#include "iso/filesystem.h"
#include "util/guards.h"

// The on-disc directory record. Copies handed out by lookups are malloc'd
// blocks of max(length, 34) bytes; the identifier runs from byte 33.
struct Iso9660DirectoryRecord {
  uint8_t length;                  // 0 marks the unused end of a sector
  uint8_t ext_attr_length;
  uint8_t extent[8];               // both byte orders
  uint8_t data_length[8];          // both byte orders
  uint8_t time[7];                 // years since 1900, month, day, h, m, s, GMT offset
  uint8_t file_flags;              // bit 1: directory
  uint8_t file_unit_size;
  uint8_t interleave_gap;
  uint8_t volume_sequence[4];      // both byte orders
  uint8_t identifier_length;
  uint8_t identifier_start;        // first identifier byte; use Identifier()

  uint32_t Extent() const;
  uint32_t DataLength() const;
  void SetExtent(uint32_t sector);
  void SetDataLength(uint32_t bytes);
  bool IsDirectory() const { return (file_flags & 2) != 0; }
  char* Identifier() { return reinterpret_cast<char*>(this) + 33; }
  const char* Identifier() const { return reinterpret_cast<const char*>(this) + 33; }
};

constexpr unsigned kIsoSectorSize = 2048;
constexpr int kIsoMaxDescriptors = 512;
constexpr unsigned kIsoRecordFixedSize = 33;    // records of this length or less are padding
constexpr unsigned kIsoRootRecordOffset = 156;  // in a volume descriptor
constexpr unsigned kIsoRootRecordSize = 34;
constexpr unsigned kIsoComponentBufferSize = 256;  // a path component and its zero
constexpr unsigned kIsoVolumeSpaceOffset = 80;  // in a volume descriptor, both byte orders
constexpr unsigned kIsoFirstVolumeDescriptor = 16;  // the sector where the set starts
// A set (or the extended area after it) running longer than this is damage.
constexpr unsigned kIsoMaxVolumeDescriptors = 64;
constexpr unsigned kIsoDirectoryRunSectors = 32;  // directory sectors read at once by a walk

class Iso9660Filesystem : public Filesystem {
 public:
  Iso9660Filesystem();
  ~Iso9660Filesystem() override;

  // Reads the volume descriptor set from sector 16 (a primary descriptor)
  // to its terminator. The supplementary descriptor whose escape sequences
  // name UCS-2 is the Joliet tree, which all lookups then use; boot records,
  // enhanced and partition descriptors are passed over. -1 with EBUSY, EPERM
  // (not an ISO 9660 image, or a sector size other than 2048), EIO (a read
  // failed, the set is damaged or has no terminator within
  // kIsoMaxVolumeDescriptors sectors, the Joliet root lies outside the
  // image), EROFS (a writable mount of an image that also holds a UDF file
  // system) or ENOMEM; the filesystem stays unmounted on failure.
  int Mount(Disc* disc, bool read_only) override;
  // Writes back the volume descriptors when a relocation changed the volume
  // size, then releases everything (open descriptors are dropped). -1 with
  // EIO when a descriptor could not be written, ENOENT when not mounted.
  int Umount(bool flag) override;

  // Opens a file (never a directory, never creating or truncating).
  // -1 with ENOENT, EINVAL, EROFS (writable open on a read-only mount),
  // EMFILE (all 512 descriptors in use) or ENOMEM.
  int Open(const char* path, int flags) override;
  // -1 with ENOENT (not mounted) or EBADF. Writes nothing.
  int Close(int fd) override;
  // A position past the end is allowed. -1 with EBADF, EPERM (directory),
  // EINVAL (bad whence, negative result or overflow).
  long long Seek(int fd, long long offset, int whence) override;
  // Bytes read, 0 at or past the end, -1 with EBADF, EPERM (directory or
  // write-only), EINVAL or EIO. A failed read keeps the position.
  long long Read(int fd, void* buffer, long long size) override;
  // Bytes written. Grows the file when the write ends past its length:
  // in place while it fits its last sector, otherwise by relocation to new
  // sectors at the end of the image (the file's bytes are carried along).
  // The grown part that the write does not cover reads as zeros.
  // -1 with EBADF, EPERM, EINVAL, EFBIG (the file would pass 4 GiB - 1) or
  // EIO (including a file that vanished from its directory, whose
  // descriptor is then closed, and a growing file whose record cannot be
  // found in one of the other trees, for which nothing is written).
  long long Write(int fd, const void* buffer, long long size) override;
  int OpenDir(const char* path) override;
  int CloseDir(int fd) override;
  DirEntry* ReadDir(int fd) override;
  int Stat(const char* path, struct stat* st) override;
  int Fstat(int fd, struct stat* st) override;
  // Renames a file or directory in its directory. new_name is a bare name no
  // longer than the old one (without its ";1"). Only on images without a
  // Joliet tree (-1 with EPERM otherwise).
  int Rename(const char* old_path, const char* new_name) override;
  // Sets the file's length in every tree; growth is as for Write. Open
  // descriptors on the same file keep their old record copy. -1 with EIO
  // (nothing written when the file's record is missing from another tree).
  int Truncate(const char* path, unsigned long long size) override;
  // As Truncate; the descriptor's record follows the change.
  int Ftruncate(int fd, unsigned long long size) override;

  // The lowest free descriptor number, or -1 when all 512 are in use.
  int GetFreeDescriptor() const;
  // True when fd is 0 to 511 and in use.
  bool ValidDescriptor(int fd) const;
  // True when a Joliet tree was found at mount.
  bool HasJoliet() const { return svd_ != nullptr; }

  // Whether the path component name matches a record identifier (Joliet:
  // big-endian UCS-2). Case-insensitive for ASCII letters; an identifier may
  // carry ";1" after the name. REQUIRES: identifier holds identifier_length bytes.
  static bool CompareName(bool joliet, const char* name, const char* identifier,
                          unsigned identifier_length);

  // The record named name inside directory, as a malloc'd copy the caller
  // frees with free(); null when absent, damaged or unreadable. A directory
  // matches only when allow_dir or allow_any is true.
  Iso9660DirectoryRecord* FindDirectoryRecord(bool joliet, const Iso9660DirectoryRecord* directory,
                                              const char* name, bool allow_dir, bool allow_any);
  // The record that path names in the Joliet (joliet true) or ISO tree, as a
  // malloc'd copy the caller frees with free(); null when not found.
  Iso9660DirectoryRecord* FindFile(bool joliet, const char* path, bool allow_dir, bool allow_any);

  // Walks of the whole tree read each directory once, in one pass, and reach
  // the files by the records they find, never by path again.
  //
  // One directory being read: its sectors come in runs of up to
  // kIsoDirectoryRunSectors per read, and records are handed out pointing
  // into the run, so nothing is copied or allocated per record.
  struct DirectoryRun {
    uint32_t extent = 0;
    uint32_t length = 0;
    uint64_t position = 0;  // byte offset of the next record in the directory
    uint64_t first = 0;     // first sector held in data
    uint32_t count = 0;     // sectors held, 0 for none
    uint32_t capacity = 0;  // sectors data can hold
    std::unique_ptr<unsigned char, talvo::FreeDeleter> data;
  };
  // The root record of the tree lookups use (Joliet when there is one);
  // null when nothing is mounted.
  const Iso9660DirectoryRecord* RootRecord() const;
  // Starts reading the directory `directory` describes. False with errno
  // ENOENT (nothing mounted), EPERM (not a directory), EIO (it runs past the
  // image) or ENOMEM.
  bool StartDirectoryRun(const Iso9660DirectoryRecord* directory, DirectoryRun* run);
  // The next record of the directory, "." and ".." included, valid until the
  // next call on run. Null at the end, or with *damaged set (a sector cannot
  // be read or a record spills out of its sector or its identifier out of
  // the record: the listing ends there, as ReadDir's does with EIO).
  const Iso9660DirectoryRecord* NextInRun(DirectoryRun* run, bool* damaged);
  // Reads the first bytes of the file `record` describes, up to size and the
  // file's length. The bytes read, or -1 with errno ENOENT (nothing
  // mounted), EPERM (a directory) or EIO (the record's extent and length
  // reach past the image, or the read failed).
  long long ReadFileStart(const Iso9660DirectoryRecord* record, void* buffer, long long size);
  // The record's name as ReadDir gives it: Joliet names by the low byte of
  // each character, ";1" removed, "." and ".." for the two special records.
  // name holds 259 bytes.
  void RecordName(const Iso9660DirectoryRecord* record, char* name) const;

  static void DirectoryRecordToStat(const Iso9660DirectoryRecord* record, struct stat* st);
  static time_t DirectoryRecordTime(const Iso9660DirectoryRecord* record);

 private:
  struct Descriptor {
    Iso9660DirectoryRecord* record;  // null: the slot is free
    int flags;
    long long position;
    DirEntry* entry;  // directories only
    char* path;       // as given to Open/OpenDir
  };

  // Steps through the records of one directory, one sector in memory at a time.
  struct Scan {
    uint32_t extent;
    uint32_t length;
    uint64_t position;    // byte offset of the next record in the directory
    uint64_t loaded;      // the sector held in data, UINT64_MAX for none
    unsigned char* data;  // one sector
  };
  // The record at or after scan->position (padding skipped, position moved
  // to it), pointing into scan->data. Null at the end, or with *damaged set
  // when a sector cannot be read or a record spills out of its sector.
  Iso9660DirectoryRecord* NextRecord(Scan* scan, bool* damaged);
  // The record named name in directory, pointing into scan->data (sector
  // scan->loaded); null when absent, damaged or a directory not allowed.
  Iso9660DirectoryRecord* LocateRecord(bool joliet, const Iso9660DirectoryRecord* directory,
                                       const char* name, bool allow_dir, bool allow_any,
                                       Scan* scan);
  // A malloc'd copy of the record of the directory that holds path's last
  // component, which goes to name (kIsoComponentBufferSize bytes); for the
  // root itself the root record with *is_root set. Null when not found.
  Iso9660DirectoryRecord* ParentDirectory(bool joliet, const char* path, char* name,
                                          bool* is_root);
  // As ParentDirectory, in the tree of the volume descriptor `descriptor`.
  Iso9660DirectoryRecord* ParentDirectoryIn(const unsigned char* descriptor, bool joliet,
                                            const char* path, char* name, bool* is_root);
  // For InUse: no use is denied; or only directories are.
  enum { kAnyUse = -2, kAnyFileUse = -1 };
  // The descriptor fd names, or null with errno ENOENT (nothing mounted),
  // EBADF, or EPERM (unless denied_flags is kAnyUse: a directory, or a
  // descriptor opened with denied_flags).
  Descriptor* InUse(int fd, int denied_flags);
  // False with errno ENOENT when nothing is mounted, EINVAL for a null path.
  bool UsablePath(const char* path) const;
  // Looks path up and takes the lowest free descriptor for it.
  int AttachDescriptor(const char* path, int flags, bool directory);
  bool ChangeFileSize(bool joliet, const char* path, Iso9660DirectoryRecord* record,
                      uint32_t new_size, bool* not_found, bool allow_dir, bool allow_any);
  bool UpdateFile(bool joliet, const char* path, const Iso9660DirectoryRecord* new_record,
                  bool allow_dir, bool allow_any);
  bool UpdateDirectoryRecord(bool joliet, const Iso9660DirectoryRecord* directory,
                             const char* name, const Iso9660DirectoryRecord* new_record,
                             bool allow_dir, bool allow_any);
  int TruncateCommon(const char* path, Iso9660DirectoryRecord* record, unsigned long long size);

  // Where a directory record lies on the disc.
  struct RecordPlace {
    uint64_t sector;
    unsigned offset;
  };
  // The records of one file in the trees other than the one lookups use
  // (the ISO 9660 tree of a Joliet image, a separate ISO 9660:1999 tree).
  struct Twins {
    uint32_t extent;       // what the file's records said when they were found
    uint32_t data_length;
    unsigned count;
    RecordPlace places[kIsoMaxVolumeDescriptors];
  };
  struct TwinSearch;
  struct DirectoryList;
  // Finds the twins of record, the file's record in the lookup tree, before
  // anything is changed. False, after the "similar record couldn't be
  // found" warning, when a tree holds no record of the file.
  bool FindTwins(const char* path, const Iso9660DirectoryRecord* record, Twins* twins);
  // The record in the tree of `descriptor` that shares record's extent: in
  // the directory of the same path when the names reach it, else anywhere in
  // the tree. False when there is none, more than one, or damage is met.
  bool FindTwinIn(const unsigned char* descriptor, const char* path,
                  const Iso9660DirectoryRecord* record, RecordPlace* place);
  // Looks through one directory for the records search wants; with list,
  // also adds its subdirectories to list. False when it cannot be read.
  bool ScanForTwin(uint32_t extent, uint32_t length, bool joliet, const char* name,
                   TwinSearch* search, DirectoryList* list);
  // Gives every twin record's extent and data length. False, after a
  // warning, when a twin could not be rewritten.
  bool UpdateTwins(const Twins& twins, const Iso9660DirectoryRecord* record);
  // Moves the first `bytes` bytes of a file from one extent to another.
  bool CarryFileData(uint32_t from_extent, uint32_t to_extent, uint32_t bytes);
  // Sets the volume size of every descriptor that carries one to the disc's
  // sector count, to be written back at Umount.
  void NoteVolumeGrowth();
  // True when [extent, extent + length) lies inside the disc.
  bool ExtentInsideDisc(uint32_t extent, uint64_t length);
  void FreeDescriptor(int fd);

  // The volume descriptor set, terminator included: volume_descriptor_count_
  // sectors from sector 16. pvd_ and svd_ point into it.
  unsigned char* volume_descriptors_;
  unsigned volume_descriptor_count_;
  unsigned char* pvd_;
  unsigned char* svd_;
  bool dirty_;
  Descriptor* descriptors_;
};

#endif
