// Iso9660Filesystem, mounting: the volume descriptor set read at Mount, the
// volume size it records kept in step when the image grows, and written back
// at Umount. Lookup, descriptors, listing, resizing and the other trees'
// records live in the other iso9660_*.cpp files of the class.
#include "iso/iso9660_filesystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "iso/iso9660_internal.h"
#include "util/byte_order.h"

using iso9660_internal::carries_volume_space;
using iso9660_internal::is_joliet_descriptor;
using iso9660_internal::is_volume_descriptor;
using talvo::read_le32;
using talvo::write_both32;

static_assert(sizeof(Iso9660DirectoryRecord) == kIsoRootRecordSize,
              "the record struct mirrors the on-disc fixed part plus one identifier byte");

namespace {

const unsigned char kSetTerminator = 255;

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

void Iso9660Filesystem::NoteVolumeGrowth() {
  uint64_t total = disc_->GetNumSectors();
  uint32_t volume = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
  for (unsigned i = 0; i < volume_descriptor_count_; ++i) {
    unsigned char* d = volume_descriptors_ + i * kIsoSectorSize;
    if (carries_volume_space(d)) write_both32(d + kIsoVolumeSpaceOffset, volume);
  }
  dirty_ = true;
}
