// A Disc held in memory, for tests where a host file adds nothing: mount
// rules, descriptor tables, and counting which sectors a filesystem writes.
#ifndef TALVO_TESTS_ISO_MEMORY_DISC_H
#define TALVO_TESTS_ISO_MEMORY_DISC_H

#include <set>
#include <vector>

#include "iso/disc.h"

class MemoryDisc : public Disc {
 public:
  MemoryDisc(std::vector<unsigned char> data, bool read_only, uint32_t sector_size = 2048)
      : data_(std::move(data)), read_only_(read_only), sector_size_(sector_size) {}
  uint32_t GetSectorSize() override { return sector_size_; }
  uint64_t GetNumSectors() override { return data_.size() / sector_size_; }
  bool IsReadOnly() override { return read_only_; }
  int ReadSectors(uint64_t first, void* buffer, uint32_t count) override {
    return ReadBytes(first * sector_size_, buffer, uint64_t(count) * sector_size_);
  }
  int ReadBytes(uint64_t offset, void* buffer, uint64_t length) override {
    if (length > data_.size() || offset > data_.size() - length) return -1;
    std::copy(data_.begin() + offset, data_.begin() + offset + length,
              static_cast<unsigned char*>(buffer));
    return 0;
  }
  int WriteSectors(uint64_t first, const void* buffer, uint32_t count) override {
    return WriteBytes(first * sector_size_, buffer, uint64_t(count) * sector_size_);
  }
  int WriteBytes(uint64_t offset, const void* buffer, uint64_t length) override {
    if (read_only_ || length > data_.size() || offset > data_.size() - length) return -1;
    const unsigned char* b = static_cast<const unsigned char*>(buffer);
    std::copy(b, b + length, data_.begin() + offset);
    for (uint64_t s = offset / sector_size_; s * sector_size_ < offset + length; ++s) {
      written_sectors.insert(s);
    }
    return 0;
  }
  bool CanExtend() override { return !read_only_; }
  int Extend(uint64_t sectors, uint64_t* first) override {
    if (read_only_) return -1;
    if (first) *first = GetNumSectors();
    data_.resize(data_.size() + sectors * sector_size_, 0);
    return 0;
  }

  const std::vector<unsigned char>& data() const { return data_; }
  std::set<uint64_t> written_sectors;

 private:
  std::vector<unsigned char> data_;
  bool read_only_;
  uint32_t sector_size_;
};

#endif
