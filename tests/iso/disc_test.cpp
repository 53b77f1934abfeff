#include "iso/disc.h"

#include <gtest/gtest.h>

#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"

using namespace testsupport;

namespace {

std::string host_file(const std::string& name, size_t size) {
  std::string path = make_scratch_dir("disc") + "/" + name;
  write_file(path, random_bytes(size, static_cast<uint32_t>(size)));
  return path;
}

}  // namespace

TEST(Iso, DiscExposesWholeSectorsAndRefusesRangesPastThem) {
  std::string path = host_file("partial.bin", 5000);
  Bytes original = read_file_bytes(path);
  IsoFileDisc disc(true);
  ASSERT_EQ(disc.OpenDiscFile(path.c_str()), 0);
  EXPECT_EQ(disc.GetSectorSize(), 2048u);
  EXPECT_EQ(disc.GetNumSectors(), 2u);
  unsigned char buffer[4096];
  EXPECT_EQ(disc.ReadBytes(4000, buffer, 100), -1);
  EXPECT_EQ(disc.ReadBytes(4000, buffer, 96), 0);  // ends exactly at the exposed size
  EXPECT_EQ(disc.ReadBytes(4000, buffer, 97), -1);
  EXPECT_EQ(disc.ReadBytes(UINT64_MAX - 10, buffer, 20), -1);  // offset + length wraps
  ASSERT_EQ(disc.ReadSectors(1, buffer, 1), 0);
  EXPECT_TRUE(std::equal(buffer, buffer + 2048, original.begin() + 2048));
  EXPECT_EQ(disc.ReadSectors(1, buffer, 2), -1);
  EXPECT_EQ(disc.ReadSectors(UINT64_MAX / 1024, buffer, 1), -1);
}

TEST(Iso, ReadOnlyDiscRefusesEveryChange) {
  std::string path = host_file("ro.bin", 4096);
  Bytes original = read_file_bytes(path);
  IsoFileDisc disc(true);
  ASSERT_EQ(disc.OpenDiscFile(path.c_str()), 0);
  unsigned char zeros[2048] = {0};
  uint64_t first = 99;
  EXPECT_EQ(disc.WriteBytes(0, zeros, 10), -1);
  EXPECT_EQ(disc.WriteSectors(0, zeros, 1), -1);
  EXPECT_FALSE(disc.CanExtend());
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
      {5000, 1, 3, 8192},   // partial last sector: start at the next boundary
      {4096, 2, 2, 8192},   // aligned
      {4096, 0, 2, 4096},   // nothing asked, nothing changed
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
    // The new sectors are usable at once.
    if (c.sectors) {
      unsigned char sector[2048];
      EXPECT_EQ(disc.ReadSectors(first, sector, 1), 0);
      std::fill(sector, sector + 2048, 0xAB);
      EXPECT_EQ(disc.WriteSectors(first + c.sectors - 1, sector, 1), 0);
    }
    disc.CloseFile();
    Bytes grown = read_file_bytes(path);
    ASSERT_EQ(grown.size(), c.expected_host_size);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), grown.begin()));
    size_t last_start = c.sectors ? c.expected_host_size - 2048 : grown.size();
    for (size_t i = original.size(); i < last_start; ++i) ASSERT_EQ(grown[i], 0) << i;
  }
}

TEST(Iso, DiscWritesAreByteExactAndAlternateWithReads) {
  std::string path = host_file("rw.bin", 8192);
  Bytes expected = read_file_bytes(path);
  IsoFileDisc disc(false);
  ASSERT_EQ(disc.OpenDiscFile(path.c_str()), 0);
  const unsigned char patch[5] = {1, 2, 3, 4, 5};
  unsigned char back[5];
  for (uint64_t offset : {0u, 2046u, 8187u}) {
    ASSERT_EQ(disc.WriteBytes(offset, patch, 5), 0);
    ASSERT_EQ(disc.ReadBytes(offset, back, 5), 0);
    EXPECT_EQ(0, memcmp(back, patch, 5));
    std::copy(patch, patch + 5, expected.begin() + offset);
  }
  EXPECT_EQ(disc.WriteBytes(8188, patch, 5), -1);
  disc.CloseFile();
  EXPECT_EQ(read_file_bytes(path), expected);
}

TEST(Iso, OpeningAMissingFileFailsAndReopeningSwitchesFiles) {
  IsoFileDisc disc(true);
  std::string dir = make_scratch_dir("disc_missing");
  EXPECT_EQ(disc.OpenDiscFile((dir + "/none.iso").c_str()), -1);
  unsigned char b[1];
  EXPECT_EQ(disc.ReadBytes(0, b, 1), -1);
  std::string small = host_file("a.bin", 2048), big = host_file("b.bin", 6144);
  ASSERT_EQ(disc.OpenDiscFile(small.c_str()), 0);
  EXPECT_EQ(disc.GetNumSectors(), 1u);
  ASSERT_EQ(disc.OpenDiscFile(big.c_str()), 0);
  EXPECT_EQ(disc.GetNumSectors(), 3u);
}
