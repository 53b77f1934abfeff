// The POSIX-like file interface over a mounted disc: integer descriptors
// 0 to 511, signed 64-bit positions, `struct stat` records, and -1 or null
// results with the reason in errno. Iso9660Filesystem (iso9660_filesystem.h)
// is the implementation; the path functions here are shared helpers.
#ifndef TALVO_ISO_FILESYSTEM_H
#define TALVO_ISO_FILESYSTEM_H

#include <sys/stat.h>

#include <cstdint>

#include "iso/disc.h"

// One entry of a directory listing, as returned by ReadDir.
struct DirEntry {
  uint32_t extent;
  uint32_t size;  // data length in bytes
  uint8_t type;   // 1 directory, 2 file
  char name[259];
};

enum : uint8_t { kDirEntryDirectory = 1, kDirEntryFile = 2 };

// Access modes of Open (the platform's O_RDONLY, O_WRONLY, O_RDWR values).
enum { kOpenRead = 0, kOpenWrite = 1, kOpenReadWrite = 2 };

// The virtual slot order is fixed: keep new operations after the destructor.
class Filesystem {
 public:
  Filesystem() : disc_(nullptr), read_only_(false) {}
  Filesystem(const Filesystem&) = delete;
  Filesystem& operator=(const Filesystem&) = delete;

  // Base behaviour, extended by subclasses that call it first: -1 with EBUSY
  // when a disc is already mounted, -1 with EPERM for a writable mount of a
  // read-only disc, else 0. The disc is not owned.
  virtual int Mount(Disc* disc, bool read_only);
  // -1 with ENOENT when nothing is mounted, else 0. The flag has no effect.
  virtual int Umount(bool flag);
  // flags: 0 read, 1 write, 2 read and write. Returns a descriptor or -1.
  virtual int Open(const char* path, int flags) = 0;
  virtual int Close(int fd) = 0;
  // whence: 0 start, 1 current, 2 end. Returns the new position or -1.
  virtual long long Seek(int fd, long long offset, int whence) = 0;
  virtual long long Read(int fd, void* buffer, long long size) = 0;
  virtual long long Write(int fd, const void* buffer, long long size) = 0;
  virtual int OpenDir(const char* path) = 0;
  virtual int CloseDir(int fd) = 0;
  // The next entry, in a buffer owned by the descriptor; null at the end
  // (errno untouched) or on failure (errno set).
  virtual DirEntry* ReadDir(int fd) = 0;
  virtual int Stat(const char* path, struct stat* st) = 0;
  virtual int Fstat(int fd, struct stat* st) = 0;
  virtual int Rename(const char* old_path, const char* new_path) = 0;
  virtual int Truncate(const char* path, unsigned long long size) = 0;
  virtual int Ftruncate(int fd, unsigned long long size) = 0;
  virtual ~Filesystem() {}

  // Writes an absolute form of in to out: a leading '/', single '/'
  // separators ('\\' counts as one), no trailing separator. The leading '/'
  // is not merged with a separator at the start of in ("/A/" gives "//A").
  // "." and ".." are plain names. False when out_size is too small.
  static bool NormalizePath(const char* in, char* out, unsigned out_size);

  // Copies the component starting at or after path[*position] to out and
  // moves *position to the character that ended it; *is_last (when not null)
  // tells whether that was the end of the string. False, leaving *position
  // and *is_last unchanged, when no component is left or it does not fit.
  static bool ExtractNextPathComponent(const char* path, char* out, unsigned out_size,
                                       unsigned* position, bool* is_last);

 protected:
  Disc* disc_;
  bool read_only_;
};

#endif
