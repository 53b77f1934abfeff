// Iso9660Filesystem, descriptors: the table of 512 open files and
// directories, and opening, closing, seeking in and reading a file.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "iso/iso9660_internal.h"

int Iso9660Filesystem::GetFreeDescriptor() const {
  if (!descriptors_) return -1;
  for (int fd = 0; fd < kIsoMaxDescriptors; ++fd) {
    if (!descriptors_[fd].record) return fd;
  }
  return -1;
}

bool Iso9660Filesystem::ValidDescriptor(int fd) const {
  return descriptors_ && fd >= 0 && fd < kIsoMaxDescriptors && descriptors_[fd].record;
}

Iso9660Filesystem::Descriptor* Iso9660Filesystem::InUse(int fd, int denied_flags) {
  if (!disc_) {
    errno = ENOENT;
    return nullptr;
  }
  if (!ValidDescriptor(fd)) {
    errno = EBADF;
    return nullptr;
  }
  Descriptor* d = &descriptors_[fd];
  if (denied_flags != kAnyUse && (d->record->IsDirectory() || d->flags == denied_flags)) {
    errno = EPERM;
    return nullptr;
  }
  return d;
}

bool Iso9660Filesystem::UsablePath(const char* path) const {
  if (!disc_) {
    errno = ENOENT;
    return false;
  }
  if (!path) {
    errno = EINVAL;
    return false;
  }
  return true;
}

int Iso9660Filesystem::AttachDescriptor(const char* path, int flags, bool directory) {
  int fd = GetFreeDescriptor();
  if (fd < 0) {
    errno = EMFILE;
    return -1;
  }
  // Nothing is reserved until the lookup has succeeded.
  Iso9660DirectoryRecord* record = FindFile(svd_ != nullptr, path, directory, false);
  if (!record) {
    errno = ENOENT;
    return -1;
  }
  // A file said to run past the image would be read from, and written over,
  // whatever follows its extent.
  if (!directory && !ExtentInsideDisc(record->Extent(), record->DataLength())) {
    fprintf(stderr, "Error: the record of %s reaches past the end of the image.\n", path);
    free(record);
    errno = EIO;
    return -1;
  }
  Descriptor& d = descriptors_[fd];
  d.record = record;
  d.flags = flags;
  d.position = 0;
  d.path = strdup(path);
  if (directory) d.entry = static_cast<DirEntry*>(calloc(1, sizeof(DirEntry)));
  if (!d.path || (directory && !d.entry)) {
    FreeDescriptor(fd);
    errno = ENOMEM;
    return -1;
  }
  return fd;
}

void Iso9660Filesystem::FreeDescriptor(int fd) {
  Descriptor& d = descriptors_[fd];
  free(d.record);
  free(d.entry);
  free(d.path);
  d = Descriptor{};
}

int Iso9660Filesystem::Open(const char* path, int flags) {
  if (!UsablePath(path)) return -1;
  if (flags != kOpenRead && flags != kOpenWrite && flags != kOpenReadWrite) {
    errno = EINVAL;
    return -1;
  }
  if (read_only_ && flags != kOpenRead) {
    errno = EROFS;
    return -1;
  }
  return AttachDescriptor(path, flags, false);
}

int Iso9660Filesystem::Close(int fd) {
  if (!InUse(fd, kAnyUse)) return -1;
  FreeDescriptor(fd);
  return 0;
}

int Iso9660Filesystem::CloseDir(int fd) { return Close(fd); }

long long Iso9660Filesystem::Seek(int fd, long long offset, int whence) {
  Descriptor* file = InUse(fd, kAnyFileUse);
  if (!file) return -1;
  Descriptor& d = *file;
  long long base;
  switch (whence) {
    case 0: base = 0; break;
    case 1: base = d.position; break;
    case 2: base = d.record->DataLength(); break;
    default: errno = EINVAL; return -1;
  }
  if ((offset > 0 && base > LLONG_MAX - offset) || base + offset < 0) {
    errno = EINVAL;
    return -1;
  }
  d.position = base + offset;
  return d.position;
}

long long Iso9660Filesystem::Read(int fd, void* buffer, long long size) {
  Descriptor* file = InUse(fd, kOpenWrite);
  if (!file) return -1;
  Descriptor& d = *file;
  if (size < 0) {
    errno = EINVAL;
    return -1;
  }
  long long remaining = static_cast<long long>(d.record->DataLength()) - d.position;
  long long n = size < remaining ? size : remaining;
  if (n <= 0) return 0;
  uint64_t offset = static_cast<uint64_t>(d.record->Extent()) * kIsoSectorSize +
                    static_cast<uint64_t>(d.position);
  if (disc_->ReadBytes(offset, buffer, static_cast<uint64_t>(n)) != 0) {
    errno = EIO;
    return -1;
  }
  d.position += n;
  return n;
}
