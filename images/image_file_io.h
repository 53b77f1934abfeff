// Moving one whole file between a mounted disc image and memory for the image
// operations: open it with the "not found" message, read it whole, and write
// a new version back from its first byte, shortening the file first when the
// new version is smaller. Every operation that rewrites a (usually LZSS
// compressed) file inside the image uses write_back_iso_file; the messages
// that differ between operations are passed in.
#ifndef TALVO_IMAGES_IMAGE_FILE_IO_H
#define TALVO_IMAGES_IMAGE_FILE_IO_H

#include "cli/image_files.h"

class Iso9660Filesystem;

// A disc image mounted with one file inside it open: the start of every
// image operation. The file is closed, then the image unmounted, on scope exit.
class OpenedIsoFile {
 public:
  // Mounts iso (read-only unless mode writes) and opens path with mode;
  // false after printing why.
  bool open(const char* iso, const char* path, int mode);
  Iso9660Filesystem* fs() const { return iso_.fs(); }
  int fd() const { return fd_.get(); }
  // Closes the file and ends the change (MountedIso::finish): until then a
  // writable image is put back as it was on every path out. False after
  // printing why.
  bool finish();

 private:
  MountedIso iso_;
  IsoDescriptor fd_{nullptr};
};

// Opens path inside the image with mode (0 read, 1 write, 2 read and write).
// Returns the descriptor, or -1 after printing "\"%s\" was not found in the
// iso.\n" with the path.
int open_iso_file(Iso9660Filesystem* fs, const char* path, int mode);

// Reads the whole file behind fd, from position 0, into a new buffer the
// caller releases with free(); its length in *size. Null after printing
// "Memory allocation error: %d\n" or read_failed_format (a printf format
// taking the path) on a short read.
// REQUIRES: fd was opened for reading.
unsigned char* read_whole_iso_file(Iso9660Filesystem* fs, int fd, const char* path,
                                   unsigned int* size, const char* read_failed_format);

// The messages of write_back_iso_file that differ between operations. Each
// format takes the path inside the image.
struct WriteBackMessages {
  const char* truncate_failed;  // e.g. "Error truncating \"%s\""
  bool announce_growth;         // print "Info: file ... got bigger: ..." when the file grows
  const char* write_failed;     // e.g. "Error while writing to \"%s\""
};

// Replaces the contents of the file behind fd (old_size bytes long) with size
// bytes of data: when the file shrinks, it is truncated first (saying "Info:
// file \"%s\" got reduced from %u to %u bytes.\n"); when it grows, the one
// write from position 0 relocates it inside the image. Returns true when the
// whole file was written; false after printing the matching message. Prints
// no success message: that is the caller's.
// REQUIRES: fd was opened for writing.
bool write_back_iso_file(Iso9660Filesystem* fs, int fd, const char* path, unsigned int old_size,
                         const unsigned char* data, unsigned int size,
                         const WriteBackMessages& messages);

#endif
