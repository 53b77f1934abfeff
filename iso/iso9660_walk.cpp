// Reading the tree in one pass: a directory's sectors in runs, its records
// handed out where they lie, and files read by their records.
#include <cerrno>
#include <cstring>

#include "iso/iso9660_filesystem.h"

const Iso9660DirectoryRecord* Iso9660Filesystem::RootRecord() const {
  const unsigned char* descriptor = svd_ ? svd_ : pvd_;
  if (!disc_ || !descriptor) return nullptr;
  return reinterpret_cast<const Iso9660DirectoryRecord*>(descriptor + kIsoRootRecordOffset);
}

bool Iso9660Filesystem::StartDirectoryRun(const Iso9660DirectoryRecord* directory,
                                          DirectoryRun* run) {
  if (!disc_) {
    errno = ENOENT;
    return false;
  }
  if (!directory->IsDirectory()) {
    errno = EPERM;
    return false;
  }
  run->extent = directory->Extent();
  run->length = directory->DataLength();
  run->position = 0;
  run->count = 0;
  if (!ExtentInsideDisc(run->extent, run->length)) {
    errno = EIO;
    return false;
  }
  // A small directory gets a buffer of its own size, not a whole run.
  const uint64_t sectors = (static_cast<uint64_t>(run->length) + kIsoSectorSize - 1) / kIsoSectorSize;
  const uint32_t wanted = sectors < kIsoDirectoryRunSectors ? static_cast<uint32_t>(sectors)
                                                            : kIsoDirectoryRunSectors;
  if (!run->data || run->capacity < wanted) {
    run->data = talvo::malloc_buffer(static_cast<size_t>(wanted > 0 ? wanted : 1) * kIsoSectorSize);
    run->capacity = run->data ? wanted : 0;
    if (!run->data) {
      errno = ENOMEM;
      return false;
    }
  }
  return true;
}

const Iso9660DirectoryRecord* Iso9660Filesystem::NextInRun(DirectoryRun* run, bool* damaged) {
  *damaged = false;
  const uint64_t end_sector =
      run->extent + (static_cast<uint64_t>(run->length) + kIsoSectorSize - 1) / kIsoSectorSize;
  while (run->position < run->length) {
    const uint64_t sector = run->extent + run->position / kIsoSectorSize;
    if (run->count == 0 || sector < run->first || sector - run->first >= run->count) {
      const uint64_t left = end_sector - sector;
      const uint32_t n = left < run->capacity ? static_cast<uint32_t>(left) : run->capacity;
      if (disc_->ReadSectors(sector, run->data.get(), n) != 0) break;
      run->first = sector;
      run->count = n;
    }
    const unsigned char* data = run->data.get() + (sector - run->first) * kIsoSectorSize;
    const unsigned offset = static_cast<unsigned>(run->position % kIsoSectorSize);
    const Iso9660DirectoryRecord* record = reinterpret_cast<const Iso9660DirectoryRecord*>(data + offset);
    // A record needs its length byte and the fixed part inside the sector;
    // anything shorter is the padding that ends a sector.
    if (offset + kIsoRecordFixedSize >= kIsoSectorSize || record->length <= kIsoRecordFixedSize) {
      run->position = (sector - run->extent + 1) * kIsoSectorSize;
      continue;
    }
    if (offset + record->length > kIsoSectorSize ||
        kIsoRecordFixedSize + static_cast<unsigned>(record->identifier_length) > record->length) {
      break;
    }
    run->position += record->length;
    return record;
  }
  *damaged = run->position < run->length;
  return nullptr;
}

long long Iso9660Filesystem::ReadFileStart(const Iso9660DirectoryRecord* record, void* buffer,
                                           long long size) {
  if (!disc_) {
    errno = ENOENT;
    return -1;
  }
  if (record->IsDirectory()) {
    errno = EPERM;
    return -1;
  }
  const uint32_t length = record->DataLength();
  if (!ExtentInsideDisc(record->Extent(), length)) {
    errno = EIO;
    return -1;
  }
  const long long n = size < static_cast<long long>(length) ? size : static_cast<long long>(length);
  if (n <= 0) return 0;
  const uint64_t offset = static_cast<uint64_t>(record->Extent()) * kIsoSectorSize;
  if (disc_->ReadBytes(offset, buffer, static_cast<uint64_t>(n)) != 0) {
    errno = EIO;
    return -1;
  }
  return n;
}

void Iso9660Filesystem::RecordName(const Iso9660DirectoryRecord* record, char* name) const {
  const unsigned char* id = reinterpret_cast<const unsigned char*>(record->Identifier());
  const unsigned n = record->identifier_length;
  size_t name_length = 0;
  if (svd_) {
    // Joliet names keep the low byte of each UCS-2 character.
    for (unsigned i = 0; i + 1 < n; i += 2) name[name_length++] = static_cast<char>(id[i + 1]);
  } else {
    memcpy(name, id, n);
    name_length = n;
  }
  name[name_length] = '\0';
  if (n == 1 && id[0] == 0) {
    strcpy(name, ".");
  } else if (n == 1 && id[0] == 1) {
    strcpy(name, "..");
  } else if (name_length > 1 && name[name_length - 2] == ';' && name[name_length - 1] == '1') {
    name[name_length - 2] = '\0';
  }
}
