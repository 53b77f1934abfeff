#include "files/image_files.h"

#include <cstdio>

#include "files/mounted_image.h"
#include "iso/filesystem.h"
#include "iso/iso9660_filesystem.h"

WholeFile read_image_file(Iso9660Filesystem* fs, int fd, unsigned int offset) {
  const long long end = fs->Seek(fd, 0, 2);
  const long long length = end < 0 ? -1 : end - offset;
  return read_whole(length, kMaxWholeFile, [&](unsigned char* buffer, long long n) {
    return fs->Seek(fd, offset, 0) == offset && fs->Read(fd, buffer, n) == n;
  });
}

WholeFile read_image_record(Iso9660Filesystem* fs, const Iso9660DirectoryRecord* record) {
  return read_whole(record->DataLength(), kMaxWholeFile, [&](unsigned char* buffer, long long n) {
    return fs->ReadFileStart(record, buffer, n) == n;
  });
}

unsigned char* read_iso_file(Iso9660Filesystem* fs, const char* path, int* size) {
  IsoDescriptor fd(fs, fs->Open(path, kOpenRead));
  if (fd.get() < 0) {
    fprintf(stderr, "Cannot open %s\n", path);
    return nullptr;
  }
  WholeFile file = read_image_file(fs, fd.get());
  if (file.failure == ReadFailure::kMemory) {
    fprintf(stderr, "Out of memory.\n");
    return nullptr;
  }
  if (!file) {
    fprintf(stderr, "Error while reading %s\n", path);
    return nullptr;
  }
  *size = static_cast<int>(file.size);
  return file.data.release();
}

bool write_iso_file(Iso9660Filesystem* fs, const char* path, const void* data, int size) {
  IsoDescriptor fd(fs, fs->Open(path, kOpenWrite));
  if (fd.get() < 0) {
    fprintf(stderr, "Cannot open %s\n", path);
    return false;
  }
  // A negative size would "succeed": Write's -1 equals it.
  if (size < 0 || fs->Write(fd.get(), data, size) != size) {
    fprintf(stderr, "Error while writing %s\n", path);
    return false;
  }
  return true;
}

WriteBack write_back_iso_file(Iso9660Filesystem* fs, int fd, const char* path, unsigned int old_size,
                              const unsigned char* data, unsigned int size, bool announce_growth) {
  if (fs->Seek(fd, 0, 0) != 0) return WriteBack::kWriteFailed;
  if (old_size > size) {
    if (fs->Ftruncate(fd, size) != 0) return WriteBack::kTruncateFailed;
    printf("Info: file \"%s\" got reduced from %u to %u bytes.\n", path, old_size, size);
  } else if (old_size < size && announce_growth) {
    printf("Info: file \"%s\" got bigger: from %u to %u bytes.\n", path, old_size, size);
  }
  // One write from position 0: a file that outgrows its sectors is moved
  // whole to the end of the image.
  if (fs->Write(fd, data, size) != static_cast<long long>(size)) return WriteBack::kWriteFailed;
  return WriteBack::kDone;
}
