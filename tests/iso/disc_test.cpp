#include "iso/disc.h"

#include <gtest/gtest.h>

#include "tests/support/iso_image.h"

using namespace testsupport;

// Reads end at the last whole sector (no wrap-around); a read-only disc changes nothing.
// Growth starts at the next sector boundary, reads as zeros and is writable up to its end.
TEST(Iso, DiscExposesWholeSectorsAndGrowsFromTheNextBoundary) {
  std::string dir = make_scratch_dir("disc"), path = dir + "/partial.bin";
  write_file(path, random_bytes(5000, 1));
  Bytes want = read_file_bytes(path);
  IsoFileDisc disc(true), writable(false);
  EXPECT_EQ(disc.OpenDiscFile((dir + "/none.iso").c_str()), -1);
  ASSERT_EQ(disc.OpenDiscFile(path.c_str()), 0);
  EXPECT_EQ(disc.GetNumSectors(), 2u);
  unsigned char buffer[4096];
  EXPECT_EQ(disc.ReadBytes(4000, buffer, 96), 0);  // ends exactly at the exposed size
  EXPECT_EQ(disc.ReadBytes(4000, buffer, 97), -1);
  EXPECT_EQ(disc.ReadBytes(UINT64_MAX - 10, buffer, 20), -1);  // offset + length wraps
  ASSERT_EQ(disc.ReadSectors(1, buffer, 1), 0);
  EXPECT_TRUE(std::equal(buffer, buffer + 2048, want.begin() + 2048));
  EXPECT_EQ(disc.ReadSectors(1, buffer, 2), -1);
  EXPECT_EQ(disc.ReadSectors(UINT64_MAX / 1024, buffer, 1), -1);
  uint64_t first = 99;
  EXPECT_TRUE(disc.WriteBytes(0, buffer, 10) == -1 && disc.WriteSectors(0, buffer, 1) == -1);
  EXPECT_TRUE(disc.Extend(1, &first) == -1 && first == 99u);
  disc.CloseFile();
  EXPECT_EQ(read_file_bytes(path), want);

  ASSERT_EQ(writable.OpenDiscFile(path.c_str()), 0);
  ASSERT_EQ(writable.Extend(1, &first), 0);  // the partial sector is completed first
  EXPECT_TRUE(first == 3u && writable.GetNumSectors() == 4u);
  ASSERT_EQ(writable.Extend(0, &first), 0);
  EXPECT_TRUE(first == 4u && writable.GetNumSectors() == 4u);
  const unsigned char patch[5] = {0xAB, 0xAB, 0xAB, 0xAB, 0xAB};
  EXPECT_EQ(writable.WriteBytes(8192 - 5, patch, 5), 0);
  EXPECT_EQ(writable.WriteBytes(8192 - 4, patch, 5), -1);
  writable.CloseFile();
  want.resize(8192, 0);
  std::fill(want.end() - 5, want.end(), 0xAB);
  EXPECT_TRUE(read_file_bytes(path) == want);
}
