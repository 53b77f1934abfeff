#include "iso/disc.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/iso_image.h"

using namespace testsupport;

namespace {

std::string host_file(const std::string& name, size_t size) {
  std::string path = make_scratch_dir("disc") + "/" + name;
  write_file(path, random_bytes(size, static_cast<uint32_t>(size)));
  return path;
}

}  // namespace

TEST(Iso, DiscExposesWholeSectorsAndRefusesRangesPastThem) {
  IsoFileDisc disc(true);
  EXPECT_EQ(disc.OpenDiscFile((make_scratch_dir("disc_missing") + "/none.iso").c_str()), -1);
  std::string path = host_file("partial.bin", 5000);
  Bytes original = read_file_bytes(path);
  ASSERT_EQ(disc.OpenDiscFile(path.c_str()), 0);
  EXPECT_EQ(disc.GetNumSectors(), 2u);
  unsigned char buffer[4096];
  EXPECT_EQ(disc.ReadBytes(4000, buffer, 96), 0);  // ends exactly at the exposed size
  EXPECT_EQ(disc.ReadBytes(4000, buffer, 97), -1);
  EXPECT_EQ(disc.ReadBytes(UINT64_MAX - 10, buffer, 20), -1);  // offset + length wraps
  ASSERT_EQ(disc.ReadSectors(1, buffer, 1), 0);
  EXPECT_TRUE(std::equal(buffer, buffer + 2048, original.begin() + 2048));
  EXPECT_EQ(disc.ReadSectors(1, buffer, 2), -1);
  EXPECT_EQ(disc.ReadSectors(UINT64_MAX / 1024, buffer, 1), -1);
  // Read-only: every change is refused.
  uint64_t first = 99;
  EXPECT_EQ(disc.WriteBytes(0, buffer, 10), -1);
  EXPECT_EQ(disc.WriteSectors(0, buffer, 1), -1);
  EXPECT_EQ(disc.Extend(1, &first), -1);
  EXPECT_EQ(first, 99u);
  disc.CloseFile();
  EXPECT_EQ(read_file_bytes(path), original);
}

TEST(Iso, ExtendAppendsZeroSectorsAtTheNextBoundary) {
  struct Case {
    size_t host_size;
    uint64_t sectors;
    uint64_t expected_first;
    size_t expected_host_size;
  } cases[] = {
      {5000, 1, 3, 8192},  // partial last sector: start at the next boundary
      {4096, 2, 2, 8192},
      {4096, 0, 2, 4096},  // nothing asked, nothing changed
      {0, 1, 0, 2048},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host_size);
    std::string path = host_file("grow.bin", c.host_size);
    Bytes original = read_file_bytes(path);
    IsoFileDisc disc(false);
    ASSERT_EQ(disc.OpenDiscFile(path.c_str()), 0);
    uint64_t first = 0;
    ASSERT_EQ(disc.Extend(c.sectors, &first), 0);
    EXPECT_EQ(first, c.expected_first);
    EXPECT_EQ(disc.GetNumSectors(), c.expected_host_size / 2048);
    // The new sectors are usable at once; writes are byte-exact.
    const unsigned char patch[5] = {0xAB, 0xAB, 0xAB, 0xAB, 0xAB};
    unsigned char back[5];
    EXPECT_EQ(disc.WriteBytes(c.expected_host_size - 5, patch, 5), 0);
    EXPECT_EQ(disc.ReadBytes(c.expected_host_size - 5, back, 5), 0);
    EXPECT_EQ(memcmp(back, patch, 5), 0);
    EXPECT_EQ(disc.WriteBytes(c.expected_host_size - 4, patch, 5), -1);
    disc.CloseFile();
    Bytes want = original;  // zeros after the old bytes, the patch at the end
    want.resize(c.expected_host_size, 0);
    std::fill(want.end() - 5, want.end(), 0xAB);
    EXPECT_TRUE(read_file_bytes(path) == want);
  }
}
