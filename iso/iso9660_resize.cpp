// Iso9660Filesystem, writing and resizing: a directory record rewritten in
// place, a file grown in its last sector or moved to new sectors at the end
// of the image (its bytes carried along), and Write, Truncate and Rename on
// top of that.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "iso/iso9660_internal.h"

using iso9660_internal::RecordPtr;
using talvo::MallocBuffer;

namespace {

const uint32_t kMaxFileLength = 0xFFFFFFFFu;
// Relocation carries a file's bytes in blocks of this size.
const uint32_t kCarryBlockSize = 1u << 20;

}  // namespace

bool Iso9660Filesystem::UpdateDirectoryRecord(bool joliet, const Iso9660DirectoryRecord* directory,
                                              const char* name,
                                              const Iso9660DirectoryRecord* new_record,
                                              bool allow_dir, bool allow_any) {
  MallocBuffer buffer = talvo::malloc_buffer(kIsoSectorSize);
  if (!buffer) return false;
  Scan scan{0, 0, 0, UINT64_MAX, buffer.get()};
  Iso9660DirectoryRecord* record =
      LocateRecord(joliet, directory, name, allow_dir, allow_any, &scan);
  // The new record was built from a copy of this one; if the image changed
  // under us and it no longer fits, refuse rather than spill over.
  if (!record || new_record->length > record->length) return false;
  memcpy(record, new_record, new_record->length);
  return disc_->WriteSectors(scan.loaded, scan.data, 1) == 0;
}

bool Iso9660Filesystem::UpdateFile(bool joliet, const char* path,
                                   const Iso9660DirectoryRecord* new_record, bool allow_dir,
                                   bool allow_any) {
  char name[kIsoComponentBufferSize];
  bool is_root = false;
  RecordPtr parent(ParentDirectory(joliet, path, name, &is_root));
  if (!parent) return false;
  if (is_root) {
    fprintf(stderr, "Update of root directory not implemented.\n");
    return false;
  }
  return UpdateDirectoryRecord(joliet, parent.get(), name, new_record, allow_dir, allow_any);
}

bool Iso9660Filesystem::CarryFileData(uint32_t from_extent, uint32_t to_extent, uint32_t bytes) {
  if (bytes == 0) return true;
  uint32_t block = bytes < kCarryBlockSize ? bytes : kCarryBlockSize;
  MallocBuffer buffer = talvo::malloc_buffer(block);
  if (!buffer) return false;
  uint64_t from = static_cast<uint64_t>(from_extent) * kIsoSectorSize;
  uint64_t to = static_cast<uint64_t>(to_extent) * kIsoSectorSize;
  for (uint64_t done = 0; done < bytes;) {
    uint64_t n = bytes - done < block ? bytes - done : block;
    if (disc_->ReadBytes(from + done, buffer.get(), n) != 0) return false;
    if (disc_->WriteBytes(to + done, buffer.get(), n) != 0) return false;
    done += n;
  }
  return true;
}

bool Iso9660Filesystem::ChangeFileSize(bool joliet, const char* path,
                                       Iso9660DirectoryRecord* record, uint32_t new_size,
                                       bool* not_found, bool allow_dir, bool allow_any) {
  *not_found = false;
  if (read_only_ || !disc_) return false;
  const uint32_t old_size = record->DataLength();
  if (new_size == old_size) return true;
  const uint64_t allocation =
      (static_cast<uint64_t>(old_size) + kIsoSectorSize - 1) / kIsoSectorSize * kIsoSectorSize;
  const uint64_t old_offset = static_cast<uint64_t>(record->Extent()) * kIsoSectorSize;
  if (new_size <= allocation) {
    if (new_size > old_size) {
      // The tail of the last sector may hold bytes of an earlier, longer
      // version of the file; a grown file reads zeros there.
      char zeros[kIsoSectorSize] = {0};
      if (disc_->WriteBytes(old_offset + old_size, zeros, new_size - old_size) != 0) return false;
    }
    record->SetDataLength(new_size);
  } else {
    if (!disc_->CanExtend()) return false;
    uint64_t sectors = (static_cast<uint64_t>(new_size) + kIsoSectorSize - 1) / kIsoSectorSize;
    // Extents are 32-bit sector numbers: refused before the image grows
    // (the new sectors start at most one past the current end).
    if (disc_->GetNumSectors() + 1 + sectors > UINT32_MAX) return false;
    uint64_t first = 0;
    if (disc_->Extend(sectors, &first) != 0) return false;
    if (first + sectors > UINT32_MAX) return false;
    // The file's bytes move with it, so that a write that does not start at
    // position 0 (or a later chunk of a long write) keeps what came before.
    if (!CarryFileData(record->Extent(), static_cast<uint32_t>(first), old_size)) return false;
    record->SetDataLength(new_size);
    record->SetExtent(static_cast<uint32_t>(first));
    NoteVolumeGrowth();
  }
  if (UpdateFile(joliet, path, record, allow_dir, allow_any)) return true;
  *not_found = true;
  return false;
}

long long Iso9660Filesystem::Write(int fd, const void* buffer, long long size) {
  Descriptor* file = InUse(fd, kOpenRead);
  if (!file) return -1;
  Descriptor& d = *file;
  if (size < 0) {
    errno = EINVAL;
    return -1;
  }
  if (size == 0) return 0;
  if (d.position > static_cast<long long>(kMaxFileLength) ||
      size > static_cast<long long>(kMaxFileLength) - d.position) {
    errno = EFBIG;
    return -1;
  }
  long long end = d.position + size;
  if (end > static_cast<long long>(d.record->DataLength())) {
    bool not_found = false;
    Twins twins{};
    if (!read_only_ && !FindTwins(d.path, d.record, &twins)) {
      errno = EIO;
      return -1;
    }
    if (ChangeFileSize(svd_ != nullptr, d.path, d.record, static_cast<uint32_t>(end), &not_found,
                       false, false)) {
      // A tree left pointing at the old extent is a failed write, not a
      // success to build on.
      if (!UpdateTwins(twins, d.record)) {
        errno = EIO;
        return -1;
      }
    } else if (not_found) {
      fprintf(stderr,
              "File was not found while updating. Invalidating descriptor.\nThis usually happens "
              "if an external program modified the disc.\n");
      FreeDescriptor(fd);
      errno = EIO;
      return -1;
    } else {
      size = static_cast<long long>(d.record->DataLength()) - d.position;
      if (size <= 0) {
        errno = EPERM;
        return -1;
      }
    }
  }
  uint64_t offset = static_cast<uint64_t>(d.record->Extent()) * kIsoSectorSize +
                    static_cast<uint64_t>(d.position);
  if (disc_->WriteBytes(offset, buffer, static_cast<uint64_t>(size)) != 0) {
    errno = EIO;
    return -1;
  }
  d.position += size;
  return size;
}

int Iso9660Filesystem::TruncateCommon(const char* path, Iso9660DirectoryRecord* record,
                                      unsigned long long size) {
  if (size > kMaxFileLength) {
    errno = EFBIG;
    return -1;
  }
  // The other trees' records are found first: a file missing from one of
  // them is refused before anything is written.
  Twins twins{};
  if (!read_only_ && size != record->DataLength() && !FindTwins(path, record, &twins)) {
    errno = EIO;
    return -1;
  }
  bool not_found = false;
  if (!ChangeFileSize(svd_ != nullptr, path, record, static_cast<uint32_t>(size), &not_found,
                      false, false)) {
    errno = EIO;
    return -1;
  }
  // The extent goes along too: a truncation that grows a file past its
  // allocation relocates it.
  if (!UpdateTwins(twins, record)) {
    errno = EIO;
    return -1;
  }
  return 0;
}

int Iso9660Filesystem::Ftruncate(int fd, unsigned long long size) {
  Descriptor* d = InUse(fd, kOpenRead);
  return d ? TruncateCommon(d->path, d->record, size) : -1;
}

int Iso9660Filesystem::Truncate(const char* path, unsigned long long size) {
  if (!UsablePath(path)) return -1;
  RecordPtr record(FindFile(svd_ != nullptr, path, false, false));
  if (!record) {
    errno = ENOENT;
    return -1;
  }
  if (!ExtentInsideDisc(record->Extent(), record->DataLength())) {
    errno = EIO;
    return -1;
  }
  return TruncateCommon(path, record.get(), size);
}

int Iso9660Filesystem::Rename(const char* old_path, const char* new_name) {
  if (!UsablePath(old_path) || !UsablePath(new_name)) return -1;
  if (svd_) {
    fprintf(stderr, "Error, rename not implemented yet for joliet.\n");
    errno = EPERM;
    return -1;
  }
  if (read_only_) {
    errno = EROFS;
    return -1;
  }
  // A bare name: a separator would make an identifier no lookup can reach.
  if (new_name[0] == '\0' || strchr(new_name, '/') || strchr(new_name, '\\')) {
    errno = EINVAL;
    return -1;
  }
  RecordPtr record(FindFile(false, old_path, true, true));
  if (!record) {
    errno = ENOENT;
    return -1;
  }
  unsigned n = record->identifier_length;
  if (kIsoRecordFixedSize + n > record->length) {
    errno = EIO;
    return -1;
  }
  char* id = record->Identifier();
  bool versioned = n > 1 && id[n - 2] == ';' && id[n - 1] == '1';
  size_t room = versioned ? n - 2 : n;
  size_t name_length = strlen(new_name);
  if (name_length > room) {
    fprintf(stderr, "Rename to bigger file name size is currently not implemented.\n");
    errno = EPERM;
    return -1;
  }
  memcpy(id, new_name, name_length);
  if (versioned) memcpy(id + name_length, ";1", 2);
  record->identifier_length = static_cast<uint8_t>(name_length + (versioned ? 2 : 0));
  if (!UpdateFile(false, old_path, record.get(), true, true)) {
    errno = EPERM;
    return -1;
  }
  return 0;
}
