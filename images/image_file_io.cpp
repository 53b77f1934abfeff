#include "images/image_file_io.h"

#include <cstdio>

#include "iso/filesystem.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

bool OpenedIsoFile::open(const char* iso, const char* path, int mode) {
  if (!iso_.mount(iso, mode == kOpenRead)) return false;
  fd_.reset(iso_.fs(), open_iso_file(iso_.fs(), path, mode));
  return fd_.valid();
}

bool OpenedIsoFile::finish() {
  fd_.close();
  return iso_.finish();
}

int open_iso_file(Iso9660Filesystem* fs, const char* path, int mode) {
  const int fd = fs->Open(path, mode);
  if (fd < 0) std::fprintf(stderr, "\"%s\" was not found in the iso.\n", path);
  return fd;
}

unsigned char* read_whole_iso_file(Iso9660Filesystem* fs, int fd, const char* path,
                                   unsigned int* size, const char* read_failed_format) {
  const long long length = fs->Seek(fd, 0, 2);
  // A file in the image is at most 4 GiB - 1 bytes; the buffer must also be
  // addressable as an int-sized count by the callers' conversions.
  if (length < 0 || length > 0x7FFFFFFFLL || fs->Seek(fd, 0, 0) != 0) {
    std::fprintf(stderr, read_failed_format, path);
    return nullptr;
  }
  talvo::MallocBuffer data = talvo::malloc_buffer(static_cast<size_t>(length));
  if (!data) {
    std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(length));
    return nullptr;
  }
  if (fs->Read(fd, data.get(), length) != length) {
    std::fprintf(stderr, read_failed_format, path);
    return nullptr;
  }
  *size = static_cast<unsigned int>(length);
  return data.release();
}

bool write_back_iso_file(Iso9660Filesystem* fs, int fd, const char* path, unsigned int old_size,
                         const unsigned char* data, unsigned int size,
                         const WriteBackMessages& messages) {
  if (fs->Seek(fd, 0, 0) != 0) {
    std::fprintf(stderr, messages.write_failed, path);
    return false;
  }
  if (old_size > size) {
    if (fs->Ftruncate(fd, size) != 0) {
      std::fprintf(stderr, messages.truncate_failed, path);
      return false;
    }
    std::printf("Info: file \"%s\" got reduced from %u to %u bytes.\n", path, old_size, size);
  } else if (old_size < size && messages.announce_growth) {
    std::printf("Info: file \"%s\" got bigger: from %u to %u bytes.\n", path, old_size, size);
  }
  // One write from position 0: a file that outgrows its sectors is moved
  // whole to the end of the image.
  if (fs->Write(fd, data, size) != static_cast<long long>(size)) {
    std::fprintf(stderr, messages.write_failed, path);
    return false;
  }
  return true;
}
