// The colour rules every image format shares, and the run-length coded BMP
// rows that image editors write for palette pictures.
#include "images/bmp.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/bmp_builders.h"

using testsupport::ImageBytes;

TEST(Bmp, FifteenBitColoursRoundTripForEveryValue) {
  for (unsigned v = 0; v < 0x10000; v++) {
    unsigned char b, g, r;
    rgb_from_555(static_cast<unsigned short>(v), &b, &g, &r);
    ASSERT_EQ(b, ((v >> 10) & 31) * 8);
    ASSERT_EQ(g, ((v >> 5) & 31) * 8);
    ASSERT_EQ(r, (v & 31) * 8);
    ASSERT_EQ(rgb_to_555(b, g, r), v | 0x8000) << v;
    // The low three bits of each channel are truncated, never rounded.
    ASSERT_EQ(rgb_to_555(b | 7, g | 7, r | 7), v | 0x8000) << v;
  }
  EXPECT_EQ(rgb_to_555(0x07, 0x08, 0xFF), 0x803F);
}

TEST(Bmp, PaletteEntryRulesFollowUsedAndImportantCounts) {
  struct Case {
    uint32_t used, important;
    int entries256, entries16;
  } cases[] = {
      {256, 0, 256, 16},  {256, 256, 256, -1}, {256, 16, -1, -1}, {0, 0, 256, 16},
      {16, 16, 16, 16},   {16, 0, 16, 16},     {20, 0, 20, 16},   {20, 20, 20, -1},
      {20, 21, -1, -1},   {5, 5, 5, 5},        {300, 0, 256, 16}, {257, 257, -1, -1},
  };
  for (const Case& c : cases) {
    BMP_Header h{};
    h.biClrUsed = c.used;
    h.biClrImportant = c.important;
    EXPECT_EQ(bmp_palette_entries(h, 256), c.entries256) << c.used << "/" << c.important;
    EXPECT_EQ(bmp_palette_entries(h, 16), c.entries16) << c.used << "/" << c.important;
  }
}

namespace {

// An RLE-coded BMP of the given bits with the stream appended as is.
ImageBytes rle_bmp(int bits, int width, int height, const ImageBytes& stream) {
  testsupport::BmpSpec spec;
  spec.width = width;
  spec.height = height;
  spec.bits = bits;
  spec.palette.assign(bits == 8 ? 256 : 16, 0);
  spec.pixels.assign(static_cast<size_t>(width) * height, 0);
  ImageBytes b = testsupport::build_bmp(spec);
  b.resize(14 + 40 + spec.palette.size() * 4);
  b[30] = bits == 8 ? 1 : 2;  // biCompression
  b[34] = static_cast<unsigned char>(stream.size());
  b[35] = b[36] = b[37] = 0;
  b.insert(b.end(), stream.begin(), stream.end());
  return b;
}

ImageBytes rows_of(const ImageBytes& bmp, int bits, int width, int height) {
  BMP_Header h;
  EXPECT_TRUE(load_bmp_header(bmp.data(), bmp.size(), &h));
  EXPECT_TRUE(bmp_check_pixel_data(h, static_cast<unsigned>(bmp.size()), bits));
  talvo::MallocBuffer decoded;
  const unsigned char* rows = bmp_pixel_rows(bmp.data(), static_cast<unsigned>(bmp.size()), h, bits, &decoded);
  const size_t n = bmp_row_size(width, bits) * height;
  return ImageBytes(rows, rows + n);
}

}  // namespace

TEST(Bmp, RunLengthCodedRowsExpandWithRunsDeltasAndAbsoluteRuns) {
  // 6 x 3, 8 bits. Bottom row: run of 3 x 7, absolute 1 2 3 (padded), end of
  // line. Middle row: delta (2, 0), run 2 x 9, end of line. Top row: a run
  // longer than the row, whose excess is dropped, then end of bitmap.
  const ImageBytes stream8 = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 0, 2, 9, 0, 0, 9, 5, 0, 1};
  const ImageBytes rows8 = rows_of(rle_bmp(8, 6, 3, stream8), 8, 6, 3);
  const ImageBytes expected8 = {7, 7, 7, 1, 2, 3, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0, 5, 5, 5, 5, 5, 5, 0, 0};
  EXPECT_EQ(rows8, expected8);

  // 4 bits, 5 x 2: run of 5 alternating nibbles 1,2; end of line; absolute
  // run of 3 nibbles 3,4,5 (two bytes, already word aligned).
  const ImageBytes stream4 = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1};
  const ImageBytes rows4 = rows_of(rle_bmp(4, 5, 2, stream4), 4, 5, 2);
  const ImageBytes expected4 = {0x12, 0x12, 0x10, 0, 0x34, 0x50, 0, 0};
  EXPECT_EQ(rows4, expected4);
}

TEST(Bmp, TruncatedOrHostileRunLengthStreamsStayInsideTheirBuffers) {
  // Absolute runs that claim more bytes than remain, deltas far outside the
  // picture and a stream cut in the middle of a pair.
  const ImageBytes streams[] = {{0, 200, 1, 2}, {0, 2, 255, 255, 5, 1}, {0, 2}, {4}, {0, 3, 1}};
  for (const ImageBytes& s : streams) {
    rows_of(rle_bmp(8, 4, 4, s), 8, 4, 4);
    rows_of(rle_bmp(4, 4, 4, s), 4, 4, 4);
  }
}

TEST(Bmp, OtherCompressionsAreRefused) {
  testsupport::BmpSpec spec;
  spec.width = 2;
  spec.height = 2;
  spec.pixels.assign(4, 0);
  ImageBytes b = testsupport::build_bmp(spec);
  b[30] = 3;  // bit fields
  BMP_Header h;
  ASSERT_TRUE(load_bmp_header(b.data(), b.size(), &h));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(bmp_check_pixel_data(h, static_cast<unsigned>(b.size()), 24));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("compressed"), std::string::npos);
  b[30] = 1;  // RLE8 only goes with 8 bits
  ASSERT_TRUE(load_bmp_header(b.data(), b.size(), &h));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(bmp_check_pixel_data(h, static_cast<unsigned>(b.size()), 24));
  testing::internal::GetCapturedStderr();
}
