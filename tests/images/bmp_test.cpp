// The colour and palette rules every image format shares, and the
// run-length coded rows that image editors write for palette pictures.
#include "images/bmp.h"

#include <gtest/gtest.h>

#include "tests/support/bmp_builders.h"

using testsupport::ImageBytes;

TEST(Bmp, FifteenBitColoursRoundTripForEveryValueAndTruncate) {
  for (unsigned v = 0; v < 0x10000; v++) {
    unsigned char b, g, r;
    rgb_from_555(static_cast<unsigned short>(v), &b, &g, &r);
    ASSERT_EQ(testsupport::rgb_of_555(static_cast<uint16_t>(v)), (r << 16u) | (g << 8u) | b);
    ASSERT_EQ(rgb_to_555(b | 7, g | 7, r | 7), v | 0x8000) << v;  // never rounded up
  }
  EXPECT_EQ(rgb_to_555(0x07, 0x08, 0xFF), 0x803F);
}

TEST(Bmp, PaletteEntryCountFollowsUsedAndImportant) {
  // used, important, entries of an 8-bit file, entries of a 4-bit file (-1: refused)
  const int cases[][4] = {{256, 0, 256, 16}, {256, 256, 256, -1}, {256, 16, -1, -1}, {0, 0, 256, 16},
                          {16, 16, 16, 16},  {20, 0, 20, 16},     {20, 20, 20, -1},  {20, 21, -1, -1},
                          {5, 5, 5, 5},      {300, 0, 256, 16},   {257, 257, -1, -1}};
  for (const auto& c : cases) {
    BMP_Header h{};
    h.biClrUsed = c[0];
    h.biClrImportant = c[1];
    EXPECT_EQ(bmp_palette_entries(h, 256), c[2]) << c[0] << "/" << c[1];
    EXPECT_EQ(bmp_palette_entries(h, 16), c[3]) << c[0] << "/" << c[1];
  }
}

namespace {

ImageBytes expand(int bits, int width, int height, const ImageBytes& stream) {
  testsupport::BmpPicture picture{width, height, bits, std::vector<uint32_t>(bits == 8 ? 256 : 16, 0),
                            std::vector<uint32_t>(static_cast<size_t>(width) * height, 0)};
  ImageBytes b = testsupport::build_bmp(picture);
  b.resize(54 + picture.palette.size() * 4);
  b[30] = bits == 8 ? 1 : 2;  // RLE8 / RLE4
  b[34] = b[35] = b[36] = b[37] = 0;
  b.insert(b.end(), stream.begin(), stream.end());
  BMP_Header h;
  EXPECT_TRUE(load_bmp_header(b.data(), b.size(), &h));
  EXPECT_TRUE(bmp_check_pixel_data(h, static_cast<unsigned>(b.size()), bits));
  talvo::MallocBuffer decoded;
  const unsigned char* rows = bmp_pixel_rows(b.data(), static_cast<unsigned>(b.size()), h, bits, &decoded);
  return ImageBytes(rows, rows + bmp_row_size(width, bits) * height);
}

}  // namespace

TEST(Bmp, RunLengthCodedRowsExpandWithRunsDeltasAndAbsoluteRuns) {
  // 6 x 3: a run of three 7s, an absolute run 1 2 3 (padded to a word), end
  // of line; a delta of two, a run of two 9s, end of line; a run of nine 5s
  // whose excess past the row is dropped; end of picture.
  EXPECT_EQ(expand(8, 6, 3, {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 0, 2, 9, 0, 0, 9, 5, 0, 1}),
            (ImageBytes{7, 7, 7, 1, 2, 3, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0, 5, 5, 5, 5, 5, 5, 0, 0}));
  // 4 bits, 5 x 2: five alternating nibbles 1 2; an absolute run of 3 4 5.
  EXPECT_EQ(expand(4, 5, 2, {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1}),
            (ImageBytes{0x12, 0x12, 0x10, 0, 0x34, 0x50, 0, 0}));
  // Streams that end mid-pair or claim more than is left stop quietly.
  EXPECT_EQ(expand(8, 2, 2, {0, 200, 1, 2}), ImageBytes(8, 0));
  EXPECT_EQ(expand(4, 2, 2, {0, 2, 255}), ImageBytes(8, 0));
}
