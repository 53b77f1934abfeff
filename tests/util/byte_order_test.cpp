// Byte-order helpers at their edges: every width and order, both-endian ISO
// fields, and values whose high bit is set (where sign extension would bite).
#include "util/byte_order.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using namespace talvo;

TEST(ByteOrder, RoundTripsEveryWidthAndOrderAtTheEdges) {
  const uint32_t values32[] = {0u, 1u, 0x7Fu, 0x80u, 0xFFu, 0x100u, 0x7FFFu, 0x8000u,
                               0xFFFFu, 0x10000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  for (uint32_t v : values32) {
    unsigned char b[8];
    write_le32(b, v);
    EXPECT_EQ(read_le32(b), v);
    EXPECT_EQ(b[0], v & 0xFF);
    write_be32(b, v);
    EXPECT_EQ(read_be32(b), v);
    EXPECT_EQ(b[3], v & 0xFF);
    uint16_t v16 = static_cast<uint16_t>(v);
    write_le16(b, v16);
    EXPECT_EQ(read_le16(b), v16);
    EXPECT_EQ(b[0], v16 & 0xFF);
    write_be16(b, v16);
    EXPECT_EQ(read_be16(b), v16);
    EXPECT_EQ(b[1], v16 & 0xFF);
  }
}

TEST(ByteOrder, BothEndianFieldsHoldLittleThenBig) {
  unsigned char b[8];
  write_both32(b, 0x12345678u);
  const unsigned char want32[8] = {0x78, 0x56, 0x34, 0x12, 0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(std::memcmp(b, want32, 8), 0);
  EXPECT_EQ(read_both32(b), 0x12345678u);
  write_both16(b, 0xABCD);
  const unsigned char want16[4] = {0xCD, 0xAB, 0xAB, 0xCD};
  EXPECT_EQ(std::memcmp(b, want16, 4), 0);
  EXPECT_EQ(read_both16(b), 0xABCD);
}
