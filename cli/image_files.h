// Opening disc images and moving whole files between the image, memory and
// the host. Every operation that touches a disc image goes through these; each
// function reports its own failure on stderr and returns a plain result.
#ifndef TALVO_CLI_IMAGE_FILES_H
#define TALVO_CLI_IMAGE_FILES_H

class IsoFileDisc;
class Iso9660Filesystem;

// Opens iso_path as a disc ("rb" when read_only, "r+b" otherwise) and mounts
// its ISO 9660 filesystem. Returns true and stores both objects, which the
// caller releases with umount_iso; false after printing why (a writable
// mount of an image that also holds a UDF file system is refused, naming it).
// The image stays locked until then. A journaled writable image keeps its
// changes only when finish_iso is called before umount_iso (an image nobody
// else has seen yet, such as a fresh copy that is deleted on failure, needs
// no journal).
bool mount_iso(IsoFileDisc** disc, Iso9660Filesystem** fs, const char* iso_path, bool read_only,
               bool journaled = true);

// Unmounts fs, so that a failure to write back the volume descriptors is
// reported rather than lost in a destructor, and commits the changes of
// disc. Returns false after printing "Error while writing to ISO.\n"; the
// changes are then undone by umount_iso.
bool finish_iso(IsoFileDisc* disc, Iso9660Filesystem* fs);

// Deletes fs (its unmount writes back changed volume descriptors), then disc
// (undoing uncommitted changes). Either may be null.
void umount_iso(IsoFileDisc* disc, Iso9660Filesystem* fs);

// Makes the device mount_iso opens images on; tests hand in one that fails on
// purpose. Returns the maker in use before; null restores the plain device.
using DiscMaker = IsoFileDisc* (*)(bool read_only, bool journaled);
DiscMaker set_disc_maker(DiscMaker maker);

// Owns a mounted image for one scope: unmounts on every path out.
class MountedIso {
 public:
  MountedIso() = default;
  ~MountedIso() { umount_iso(disc_, fs_); }
  MountedIso(const MountedIso&) = delete;
  MountedIso& operator=(const MountedIso&) = delete;
  bool mount(const char* iso_path, bool read_only, bool journaled = true) {
    return mount_iso(&disc_, &fs_, iso_path, read_only, journaled);
  }
  // See finish_iso.
  bool finish() { return finish_iso(disc_, fs_); }
  Iso9660Filesystem* fs() const { return fs_; }

 private:
  IsoFileDisc* disc_ = nullptr;
  Iso9660Filesystem* fs_ = nullptr;
};

// An open descriptor of a file inside the image, closed on scope exit.
class IsoDescriptor {
 public:
  explicit IsoDescriptor(Iso9660Filesystem* fs, int fd = -1) : fs_(fs), fd_(fd) {}
  ~IsoDescriptor() { close(); }
  IsoDescriptor(const IsoDescriptor&) = delete;
  IsoDescriptor& operator=(const IsoDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the descriptor now; returns the result of Close (0 when none was open).
  int close();
  // Closes the current descriptor and takes fd of fs instead.
  void reset(Iso9660Filesystem* fs, int fd) {
    close();
    fs_ = fs;
    fd_ = fd;
  }

 private:
  Iso9660Filesystem* fs_;
  int fd_;
};

// The whole contents of a file in the image, in a buffer the caller releases
// with free(); its length in *size. Null after printing why.
unsigned char* read_iso_file(Iso9660Filesystem* fs, const char* path, int* size);

// Overwrites the image file from its first byte with size bytes, growing it
// when needed. A longer file keeps its tail and length (shorten it with
// Truncate). Returns false after printing why.
bool write_iso_file(Iso9660Filesystem* fs, const char* path, const void* data, int size);

// The whole contents of a host file, in a buffer the caller releases with
// free(); its length in *size. Null after printing why.
unsigned char* read_file(const char* path, int* size);

// Copies a host file, creating or truncating the destination. Refuses a
// destination that is the source itself. Returns false after printing why.
bool copy_file(const char* source, const char* destination);

// The replace_file operation: the image file becomes exactly the local file.
// Returns true when the file was replaced.
bool replace_file(const char* inout_iso, const char* iso_file_path, const char* local_file);

// True when output_path may be created or truncated by an operation working on
// iso_path; false, after printing "Error: output file is the disc image
// itself: ...", when it names the same host file as the image.
bool output_is_not_image(const char* output_path, const char* iso_path);

#endif
