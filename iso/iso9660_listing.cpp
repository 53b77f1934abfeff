// Iso9660Filesystem, listing: a directory read one entry per call through
// its descriptor, and the stat of a record.
#include <cerrno>
#include <cstring>
#include <ctime>

#include "iso/iso9660_internal.h"

using iso9660_internal::RecordPtr;
using talvo::MallocBuffer;

int Iso9660Filesystem::OpenDir(const char* path) {
  if (!UsablePath(path)) return -1;
  return AttachDescriptor(path, kOpenRead, true);
}

DirEntry* Iso9660Filesystem::ReadDir(int fd) {
  Descriptor* dir = InUse(fd, kAnyUse);
  if (!dir) return nullptr;
  Descriptor& d = *dir;
  if (!d.record->IsDirectory() || !d.entry) {
    errno = EPERM;
    return nullptr;
  }
  Scan scan{d.record->Extent(), d.record->DataLength(), static_cast<uint64_t>(d.position),
            UINT64_MAX, nullptr};
  if (scan.position >= scan.length) return nullptr;
  if (!ExtentInsideDisc(scan.extent, scan.length)) {
    errno = EIO;
    return nullptr;
  }
  MallocBuffer buffer = talvo::malloc_buffer(kIsoSectorSize);
  if (!buffer) {
    errno = ENOMEM;
    return nullptr;
  }
  scan.data = buffer.get();
  bool damaged = false;
  const Iso9660DirectoryRecord* record = NextRecord(&scan, &damaged);
  if (!record) {
    if (damaged) {
      errno = EIO;
    } else {
      d.position = static_cast<long long>(scan.position);
    }
    return nullptr;
  }
  DirEntry* entry = d.entry;
  entry->extent = record->Extent();
  entry->size = record->DataLength();
  entry->type = record->IsDirectory() ? kDirEntryDirectory : kDirEntryFile;
  RecordName(record, entry->name);
  d.position = static_cast<long long>(scan.position + record->length);
  return entry;
}

void Iso9660Filesystem::DirectoryRecordToStat(const Iso9660DirectoryRecord* record,
                                              struct stat* st) {
  memset(st, 0, sizeof *st);
  st->st_dev = 0;
  st->st_ino = record->Extent();
  st->st_mode = (record->IsDirectory() ? S_IFDIR : S_IFREG) | 0700;
  st->st_nlink = 0;
  st->st_uid = 0;
  st->st_gid = 0;
  st->st_rdev = 0;
  st->st_size = record->DataLength();
  time_t t = DirectoryRecordTime(record);
  st->st_atime = t;
  st->st_mtime = t;
  st->st_ctime = t;
}

time_t Iso9660Filesystem::DirectoryRecordTime(const Iso9660DirectoryRecord* record) {
  struct tm tm;
  memset(&tm, 0, sizeof tm);
  tm.tm_year = record->time[0];
  tm.tm_mon = record->time[1] - 1;
  tm.tm_mday = record->time[2];
  tm.tm_hour = record->time[3];
  tm.tm_min = record->time[4];
  tm.tm_sec = record->time[5];
  tm.tm_isdst = -1;
  return mktime(&tm);
}

int Iso9660Filesystem::Stat(const char* path, struct stat* st) {
  if (!UsablePath(path)) return -1;
  RecordPtr record(FindFile(svd_ != nullptr, path, true, true));
  if (!record) {
    errno = ENOENT;
    return -1;
  }
  DirectoryRecordToStat(record.get(), st);
  return 0;
}

int Iso9660Filesystem::Fstat(int fd, struct stat* st) {
  Descriptor* d = InUse(fd, kAnyUse);
  if (!d) return -1;
  DirectoryRecordToStat(d->record, st);
  return 0;
}
