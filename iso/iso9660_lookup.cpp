// Iso9660Filesystem, lookup: names compared as each tree writes them, the
// records of one directory stepped through a sector at a time, and paths
// resolved component by component. Every extent is checked against the
// image before a sector of it is read.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "iso/iso9660_internal.h"

using iso9660_internal::RecordPtr;
using talvo::MallocBuffer;
using talvo::read_be16;

namespace {

const unsigned kPathBufferSize = 2048;

// A malloc'd copy of a record of `length` bytes (at least the fixed 34, so
// that every field of the struct is inside the block).
Iso9660DirectoryRecord* copy_record(const void* source, unsigned length) {
  unsigned alloc = length < kIsoRootRecordSize ? kIsoRootRecordSize : length;
  void* copy = malloc(alloc);
  if (!copy) return nullptr;
  memset(copy, 0, alloc);
  memcpy(copy, source, length < alloc ? length : alloc);
  return static_cast<Iso9660DirectoryRecord*>(copy);
}

// Whether the record at `offset` of a sector lies wholly inside the sector and
// its identifier inside the record. REQUIRES: record length above 33.
bool record_fits(const unsigned char* sector, unsigned offset, unsigned sector_size) {
  const Iso9660DirectoryRecord* r = reinterpret_cast<const Iso9660DirectoryRecord*>(sector + offset);
  if (offset + r->length > sector_size) return false;
  return kIsoRecordFixedSize + static_cast<unsigned>(r->identifier_length) <= r->length;
}

unsigned char fold(unsigned c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

}  // namespace

bool Iso9660Filesystem::CompareName(bool joliet, const char* name, const char* identifier,
                                    unsigned n) {
  const unsigned char* id = reinterpret_cast<const unsigned char*>(identifier);
  const unsigned char* nm = reinterpret_cast<const unsigned char*>(name);
  size_t len = strlen(name);
  if (n == 1 && (id[0] == 0 || id[0] == 1)) {
    if (strcmp(name, id[0] == 0 ? "." : "..") == 0) return true;
  }
  if (joliet) {
    if (n % 2 != 0) return false;
    size_t chars = n / 2;
    bool length_match = chars == len || (chars == len + 2 && read_be16(id + 2 * len) == ';' &&
                                         read_be16(id + 2 * len + 2) == '1');
    if (!length_match) return false;
    for (size_t i = 0; i < len; ++i) {
      if (nm[i] >= 128) {
        fprintf(stderr,
                "Error: no support for non-ansi characters atm.\n, character giving error: "
                "0x%02x\n",
                nm[i]);
        return false;
      }
      unsigned c = read_be16(id + 2 * i);
      if (c >= 128 || fold(c) != fold(nm[i])) return false;
    }
    return true;
  }
  bool length_match =
      n == len || (n == len + 2 && id[len] == ';' && id[len + 1] == '1');
  if (!length_match) return false;
  for (size_t i = 0; i < len; ++i) {
    if (fold(id[i]) != fold(nm[i])) return false;
  }
  return true;
}

bool Iso9660Filesystem::ExtentInsideDisc(uint32_t extent, uint64_t length) {
  uint64_t sectors = length / kIsoSectorSize + (length % kIsoSectorSize ? 1 : 0);
  uint64_t total = disc_->GetNumSectors();
  return extent <= total && sectors <= total - extent;
}

Iso9660DirectoryRecord* Iso9660Filesystem::NextRecord(Scan* scan, bool* damaged) {
  *damaged = false;
  while (scan->position < scan->length) {
    uint64_t sector = scan->extent + scan->position / kIsoSectorSize;
    if (sector != scan->loaded) {
      if (disc_->ReadSectors(sector, scan->data, 1) != 0) break;
      scan->loaded = sector;
    }
    unsigned offset = static_cast<unsigned>(scan->position % kIsoSectorSize);
    Iso9660DirectoryRecord* record = reinterpret_cast<Iso9660DirectoryRecord*>(scan->data + offset);
    // A record needs its length byte and the fixed part inside the sector;
    // anything shorter is the padding that ends a sector.
    if (offset + kIsoRecordFixedSize >= kIsoSectorSize || record->length <= kIsoRecordFixedSize) {
      scan->position = (sector - scan->extent + 1) * kIsoSectorSize;
      continue;
    }
    if (!record_fits(scan->data, offset, kIsoSectorSize)) break;
    return record;
  }
  *damaged = scan->position < scan->length;
  return nullptr;
}

Iso9660DirectoryRecord* Iso9660Filesystem::LocateRecord(bool joliet,
                                                        const Iso9660DirectoryRecord* directory,
                                                        const char* name, bool allow_dir,
                                                        bool allow_any, Scan* scan) {
  if (!disc_ || directory->length <= kIsoRecordFixedSize || !directory->IsDirectory()) {
    return nullptr;
  }
  scan->extent = directory->Extent();
  scan->length = directory->DataLength();
  scan->position = 0;
  scan->loaded = UINT64_MAX;
  // A directory said to run past the image is damage, not a place to scan.
  if (!ExtentInsideDisc(scan->extent, scan->length)) return nullptr;
  bool damaged = false;
  while (Iso9660DirectoryRecord* record = NextRecord(scan, &damaged)) {
    if (CompareName(joliet, name, record->Identifier(), record->identifier_length)) {
      return (record->IsDirectory() && !allow_dir && !allow_any) ? nullptr : record;
    }
    scan->position += record->length;
  }
  return nullptr;
}

Iso9660DirectoryRecord* Iso9660Filesystem::FindDirectoryRecord(
    bool joliet, const Iso9660DirectoryRecord* directory, const char* name, bool allow_dir,
    bool allow_any) {
  MallocBuffer buffer = talvo::malloc_buffer(kIsoSectorSize);
  if (!buffer) return nullptr;
  Scan scan{0, 0, 0, UINT64_MAX, buffer.get()};
  const Iso9660DirectoryRecord* record =
      LocateRecord(joliet, directory, name, allow_dir, allow_any, &scan);
  return record ? copy_record(record, record->length) : nullptr;
}

Iso9660DirectoryRecord* Iso9660Filesystem::ParentDirectory(bool joliet, const char* path,
                                                           char* name, bool* is_root) {
  if (joliet && !svd_) {
    fprintf(stderr,
            "Joliet mode specified but this disc didn't have joliet PVD.\nThis should be "
            "considered a bug in this class.\n");
    return nullptr;
  }
  return ParentDirectoryIn(joliet ? svd_ : pvd_, joliet, path, name, is_root);
}

Iso9660DirectoryRecord* Iso9660Filesystem::ParentDirectoryIn(const unsigned char* descriptor,
                                                             bool joliet, const char* path,
                                                             char* name, bool* is_root) {
  if (!disc_ || !path || !descriptor) return nullptr;
  char normalized[kPathBufferSize];
  if (!NormalizePath(path, normalized, sizeof normalized)) return nullptr;
  const unsigned char* root = descriptor + kIsoRootRecordOffset;
  RecordPtr current(copy_record(root, root[0] > kIsoRootRecordSize ? root[0] : kIsoRootRecordSize));
  if (!current) return nullptr;
  *is_root = strcmp(normalized, "/") == 0;
  if (*is_root) return current.release();
  unsigned position = 0;
  bool is_last = false;
  for (;;) {
    if (!ExtractNextPathComponent(normalized, name, kIsoComponentBufferSize, &position,
                                  &is_last)) {
      return nullptr;
    }
    if (is_last) return current.release();
    RecordPtr next(FindDirectoryRecord(joliet, current.get(), name, true, false));
    if (!next) return nullptr;
    current = std::move(next);
  }
}

Iso9660DirectoryRecord* Iso9660Filesystem::FindFile(bool joliet, const char* path, bool allow_dir,
                                                    bool allow_any) {
  char name[kIsoComponentBufferSize];
  bool is_root = false;
  RecordPtr parent(ParentDirectory(joliet, path, name, &is_root));
  if (!parent) return nullptr;
  if (is_root) return (allow_any || allow_dir) ? parent.release() : nullptr;
  return FindDirectoryRecord(joliet, parent.get(), name, allow_dir, allow_any);
}
