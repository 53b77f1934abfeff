// Byte-order helpers at their edges: each width and order with the high bit
// set (where sign extension would bite), and both-endian ISO fields.
#include "util/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace talvo;

TEST(ByteOrder, EveryWidthAndOrderWithTheHighBitSet) {
  unsigned char b[8];
  write_le32(b, 0x80FF7F01u);
  EXPECT_EQ(std::memcmp(b, "\x01\x7F\xFF\x80", 4), 0);
  EXPECT_EQ(read_le32(b), 0x80FF7F01u);
  EXPECT_EQ(read_be32(b), 0x017FFF80u);
  write_be16(b, 0x80FF);
  EXPECT_EQ(read_be16(b), 0x80FF);
  EXPECT_EQ(read_le16(b), 0xFF80);
  write_le16(b, 0xFF80);
  EXPECT_EQ(read_be16(b), 0x80FF);
  write_be32(b, 0xFFFFFFFEu);
  EXPECT_EQ(read_le32(b), 0xFEFFFFFFu);
  write_both32(b, 0x12345678u);
  EXPECT_EQ(std::memcmp(b, "\x78\x56\x34\x12\x12\x34\x56\x78", 8), 0);
  EXPECT_EQ(read_both32(b), 0x12345678u);
  write_both16(b, 0xABCD);
  EXPECT_EQ(std::memcmp(b, "\xCD\xAB\xAB\xCD", 4), 0);
  EXPECT_EQ(read_both16(b), 0xABCD);
}
