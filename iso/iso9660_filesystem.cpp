#include "iso/iso9660_filesystem.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/byte_order.h"
#include "util/guards.h"

using talvo::MallocBuffer;
using talvo::read_be16;
using talvo::read_le32;
using talvo::write_both32;

static_assert(sizeof(Iso9660DirectoryRecord) == kIsoRootRecordSize,
              "the record struct mirrors the on-disc fixed part plus one identifier byte");

namespace {

const uint32_t kMaxFileLength = 0xFFFFFFFFu;
const unsigned kPathBufferSize = 2048;
// Relocation carries a file's bytes in blocks of this size.
const uint32_t kCarryBlockSize = 1u << 20;

// Owns a record copy until it is handed on.
using RecordPtr = std::unique_ptr<Iso9660DirectoryRecord, talvo::FreeDeleter>;

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

bool is_volume_descriptor(const unsigned char* d, unsigned char type) {
  return d[0] == type && memcmp(d + 1, "CD001", 5) == 0;
}

const unsigned char kSetTerminator = 255;
const unsigned kEscapeSequencesOffset = 88;
const unsigned kEscapeSequencesSize = 32;

// A supplementary descriptor (version 1; version 2 is the enhanced one) whose
// escape sequences name one of the three UCS-2 levels.
bool is_joliet_descriptor(const unsigned char* d) {
  if (!is_volume_descriptor(d, 2) || d[6] != 1) return false;
  const unsigned char* escapes = d + kEscapeSequencesOffset;
  for (unsigned i = 0; i + 3 <= kEscapeSequencesSize; ++i) {
    if (escapes[i] == '%' && escapes[i + 1] == '/' &&
        (escapes[i + 2] == '@' || escapes[i + 2] == 'C' || escapes[i + 2] == 'E')) {
      return true;
    }
  }
  return false;
}

// Primary, supplementary and enhanced descriptors hold a volume space size
// and a root directory; boot records, partition descriptors and the
// terminator do not.
bool carries_volume_space(const unsigned char* d) {
  return is_volume_descriptor(d, 1) || is_volume_descriptor(d, 2);
}

uint32_t root_extent(const unsigned char* d) {
  return read_le32(d + kIsoRootRecordOffset + 2);
}

// Whether the extended area that may follow the set from sector `first`
// (BEA01 ... TEA01) announces a UDF file system (NSR02 or NSR03).
bool holds_udf(Disc* disc, uint64_t first) {
  unsigned char sector[kIsoSectorSize];
  bool in_area = false;
  for (unsigned i = 0; i < kIsoMaxVolumeDescriptors; ++i) {
    if (disc->ReadSectors(first + i, sector, 1) != 0) return false;
    const char* id = reinterpret_cast<const char*>(sector + 1);
    if (memcmp(id, "BEA01", 5) == 0) {
      in_area = true;
    } else if (in_area && (memcmp(id, "NSR02", 5) == 0 || memcmp(id, "NSR03", 5) == 0)) {
      return true;
    } else if (memcmp(id, "TEA01", 5) == 0 || (memcmp(id, "BOOT2", 5) != 0 &&
                                                memcmp(id, "CDW02", 5) != 0)) {
      return false;
    }
  }
  return false;
}

unsigned char fold(unsigned c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

}  // namespace

uint32_t Iso9660DirectoryRecord::Extent() const { return read_le32(extent); }
uint32_t Iso9660DirectoryRecord::DataLength() const { return read_le32(data_length); }
void Iso9660DirectoryRecord::SetExtent(uint32_t sector) { write_both32(extent, sector); }
void Iso9660DirectoryRecord::SetDataLength(uint32_t bytes) { write_both32(data_length, bytes); }

Iso9660Filesystem::Iso9660Filesystem()
    : volume_descriptors_(nullptr),
      volume_descriptor_count_(0),
      pvd_(nullptr),
      svd_(nullptr),
      dirty_(false),
      descriptors_(nullptr) {}

Iso9660Filesystem::~Iso9660Filesystem() {
  int saved = errno;
  Umount(false);
  errno = saved;
}

// ---------------------------------------------------------------------------
// Mounting

int Iso9660Filesystem::Mount(Disc* disc, bool read_only) {
  if (Filesystem::Mount(disc, read_only) != 0) return -1;
  dirty_ = false;
  auto fail = [this](int code) {
    Umount(false);
    errno = code;
    return -1;
  };
  if (disc_->GetSectorSize() != kIsoSectorSize) return fail(EPERM);
  volume_descriptors_ =
      static_cast<unsigned char*>(malloc(kIsoMaxVolumeDescriptors * kIsoSectorSize));
  if (!volume_descriptors_) return fail(ENOMEM);
  bool terminated = false;
  for (unsigned i = 0; i < kIsoMaxVolumeDescriptors && !terminated; ++i) {
    unsigned char* d = volume_descriptors_ + i * kIsoSectorSize;
    if (disc_->ReadSectors(kIsoFirstVolumeDescriptor + i, d, 1) != 0) return fail(EIO);
    if (i == 0 && !is_volume_descriptor(d, 1)) return fail(EPERM);
    if (memcmp(d + 1, "CD001", 5) != 0) return fail(EIO);
    volume_descriptor_count_ = i + 1;
    terminated = d[0] == kSetTerminator;
    if (!svd_ && is_joliet_descriptor(d)) svd_ = d;
  }
  if (!terminated) return fail(EIO);
  pvd_ = volume_descriptors_;
  // Every lookup goes through the Joliet root: one outside the image would
  // leave the image readable through neither tree the tool keeps in step.
  if (svd_) {
    const Iso9660DirectoryRecord* root =
        reinterpret_cast<const Iso9660DirectoryRecord*>(svd_ + kIsoRootRecordOffset);
    if (root->length < kIsoRootRecordSize || !root->IsDirectory() ||
        !ExtentInsideDisc(root->Extent(), root->DataLength())) {
      return fail(EIO);
    }
  }
  // Its tree would keep describing the old files: such an image is only read.
  if (!read_only && holds_udf(disc_, kIsoFirstVolumeDescriptor + volume_descriptor_count_)) {
    return fail(EROFS);
  }
  descriptors_ = static_cast<Descriptor*>(calloc(kIsoMaxDescriptors, sizeof(Descriptor)));
  if (!descriptors_) return fail(ENOMEM);
  return 0;
}

int Iso9660Filesystem::Umount(bool flag) {
  int err = 0;
  if (dirty_ && disc_) {
    for (unsigned i = 0; i < volume_descriptor_count_; ++i) {
      const unsigned char* d = volume_descriptors_ + i * kIsoSectorSize;
      if (carries_volume_space(d) &&
          disc_->WriteSectors(kIsoFirstVolumeDescriptor + i, d, 1) != 0) {
        err = EIO;
      }
    }
  }
  dirty_ = false;
  free(volume_descriptors_);
  volume_descriptors_ = nullptr;
  volume_descriptor_count_ = 0;
  pvd_ = nullptr;
  svd_ = nullptr;
  if (descriptors_) {
    for (int fd = 0; fd < kIsoMaxDescriptors; ++fd) FreeDescriptor(fd);
    free(descriptors_);
    descriptors_ = nullptr;
  }
  if (err == 0) return Filesystem::Umount(flag);
  Filesystem::Umount(false);
  errno = err;
  return -1;
}

// ---------------------------------------------------------------------------
// Lookup

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

// ---------------------------------------------------------------------------
// Descriptors

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

// ---------------------------------------------------------------------------
// Listing and stat

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

// ---------------------------------------------------------------------------
// Writing and resizing

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
    uint64_t total = disc_->GetNumSectors();
    uint32_t volume = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
    for (unsigned i = 0; i < volume_descriptor_count_; ++i) {
      unsigned char* d = volume_descriptors_ + i * kIsoSectorSize;
      if (carries_volume_space(d)) write_both32(d + kIsoVolumeSpaceOffset, volume);
    }
    dirty_ = true;
  }
  if (UpdateFile(joliet, path, record, allow_dir, allow_any)) return true;
  *not_found = true;
  return false;
}

// What FindTwinIn looks for in a directory: a file record with the extent
// (the record of the same name in the same directory) or with the extent
// and the data length (any other), each counted.
struct Iso9660Filesystem::TwinSearch {
  uint32_t extent;
  uint32_t data_length;
  unsigned named;
  RecordPlace named_place;
  unsigned same_data;
  RecordPlace same_data_place;
};

// The directories of one tree met so far, each listed once however many
// records point at it (a directory that contains itself ends the walk).
struct Iso9660Filesystem::DirectoryList {
  struct Entry {
    uint32_t extent;
    uint32_t length;
  };
  Entry* entries = nullptr;
  unsigned count = 0;
  unsigned capacity = 0;
  ~DirectoryList() { free(entries); }
  bool Add(uint32_t extent, uint32_t length) {
    for (unsigned i = 0; i < count; ++i) {
      if (entries[i].extent == extent) return true;
    }
    if (count == capacity) {
      unsigned grown = capacity ? capacity * 2 : 64;
      Entry* bigger = static_cast<Entry*>(realloc(entries, grown * sizeof(Entry)));
      if (!bigger) return false;
      entries = bigger;
      capacity = grown;
    }
    entries[count++] = Entry{extent, length};
    return true;
  }
};

bool Iso9660Filesystem::ScanForTwin(uint32_t extent, uint32_t length, bool joliet,
                                    const char* name, TwinSearch* search, DirectoryList* list) {
  if (!ExtentInsideDisc(extent, length)) return false;
  MallocBuffer buffer = talvo::malloc_buffer(kIsoSectorSize);
  if (!buffer) return false;
  Scan scan{extent, length, 0, UINT64_MAX, buffer.get()};
  bool damaged = false;
  while (const Iso9660DirectoryRecord* record = NextRecord(&scan, &damaged)) {
    const unsigned char* id = reinterpret_cast<const unsigned char*>(record->Identifier());
    bool dots = record->identifier_length == 1 && id[0] <= 1;
    RecordPlace place{scan.loaded, static_cast<unsigned>(scan.position % kIsoSectorSize)};
    if (record->IsDirectory()) {
      if (list && !dots && !list->Add(record->Extent(), record->DataLength())) return false;
    } else if (record->Extent() == search->extent) {
      if (name && CompareName(joliet, name, record->Identifier(), record->identifier_length)) {
        if (search->named++ == 0) search->named_place = place;
      }
      if (record->DataLength() == search->data_length && search->same_data++ == 0) {
        search->same_data_place = place;
      }
    }
    scan.position += record->length;
  }
  return !damaged;
}

bool Iso9660Filesystem::FindTwinIn(const unsigned char* descriptor, const char* path,
                                   const Iso9660DirectoryRecord* record, RecordPlace* place) {
  bool joliet = is_joliet_descriptor(descriptor);
  TwinSearch search{record->Extent(), record->DataLength(), 0, {}, 0, {}};
  char name[kIsoComponentBufferSize];
  bool is_root = false;
  RecordPtr parent(ParentDirectoryIn(descriptor, joliet, path, name, &is_root));
  if (parent && !is_root && parent->IsDirectory()) {
    if (!ScanForTwin(parent->Extent(), parent->DataLength(), joliet, name, &search, nullptr)) {
      return false;
    }
    if (search.named == 1) {
      *place = search.named_place;
      return true;
    }
    if (search.same_data == 1) {
      *place = search.same_data_place;
      return true;
    }
    if (search.named > 1 || search.same_data > 1) return false;
  }
  // The names differ from this tree's (a long name, or a directory on the
  // way with one): the file is wherever its data is.
  const Iso9660DirectoryRecord* root =
      reinterpret_cast<const Iso9660DirectoryRecord*>(descriptor + kIsoRootRecordOffset);
  DirectoryList list;
  if (!list.Add(root->Extent(), root->DataLength())) return false;
  search = TwinSearch{record->Extent(), record->DataLength(), 0, {}, 0, {}};
  for (unsigned i = 0; i < list.count && search.same_data <= 1; ++i) {
    if (!ScanForTwin(list.entries[i].extent, list.entries[i].length, joliet, nullptr, &search,
                     &list)) {
      return false;
    }
  }
  if (search.same_data != 1) return false;
  *place = search.same_data_place;
  return true;
}

bool Iso9660Filesystem::FindTwins(const char* path, const Iso9660DirectoryRecord* record,
                                  Twins* twins) {
  twins->extent = record->Extent();
  twins->data_length = record->DataLength();
  twins->count = 0;
  const unsigned char* lookup = svd_ ? svd_ : pvd_;
  for (unsigned i = 0; i < volume_descriptor_count_; ++i) {
    const unsigned char* d = volume_descriptors_ + i * kIsoSectorSize;
    if (!carries_volume_space(d) || root_extent(d) == root_extent(lookup)) continue;
    // Descriptors that share a root (an enhanced descriptor over the
    // primary tree) share its records too.
    bool seen = false;
    for (unsigned j = 0; j < i && !seen; ++j) {
      const unsigned char* e = volume_descriptors_ + j * kIsoSectorSize;
      seen = carries_volume_space(e) && root_extent(e) == root_extent(d);
    }
    if (seen) continue;
    if (!FindTwinIn(d, path, record, &twins->places[twins->count])) {
      fprintf(stderr,
              "Warning: record was updated for joliet fs, but similar record couldn't be found "
              "in iso fs. There are inconsistencies between them.\n");
      return false;
    }
    ++twins->count;
  }
  return true;
}

bool Iso9660Filesystem::UpdateTwins(const Twins& twins, const Iso9660DirectoryRecord* record) {
  bool all_done = true;
  MallocBuffer buffer = talvo::malloc_buffer(kIsoSectorSize);
  for (unsigned i = 0; i < twins.count; ++i) {
    const RecordPlace& place = twins.places[i];
    bool done = false;
    // Read again: two twins may share a sector, and the image must still
    // hold at that place the record that was found.
    if (buffer && disc_->ReadSectors(place.sector, buffer.get(), 1) == 0) {
      Iso9660DirectoryRecord* twin =
          reinterpret_cast<Iso9660DirectoryRecord*>(buffer.get() + place.offset);
      if (twin->Extent() == twins.extent) {
        twin->SetExtent(record->Extent());
        twin->SetDataLength(record->DataLength());
        done = disc_->WriteSectors(place.sector, buffer.get(), 1) == 0;
      }
    }
    if (!done) {
      fprintf(stderr,
              "Warning: record was updated for joliet fs, but cannot update the record that was "
              "found in iso fs. There will be inconsitencies between them.\n");
      all_done = false;
    }
  }
  return all_done;
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
