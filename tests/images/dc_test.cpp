// DC images to 24-bit BMP files and back, in memory: exact bytes where the
// format fixes them, and refusals that leave the DC data as it was.
#include "images/dc.h"

#include <gtest/gtest.h>

#include "tests/images/image_test_helpers.h"

using namespace imagetest;
using testsupport::BmpSpec;
using testsupport::build_bmp;
using testsupport::build_dc;

namespace {

ImageBytes to_bmp(ImageBytes dc, Output* o) {
  unsigned int size = 0;
  unsigned char* bmp =
      captured(o, [&] { return dc_to_bmp(dc.data(), static_cast<unsigned>(dc.size()), &size); });
  return take(bmp, size);
}

bool insert(ImageBytes bmp, ImageBytes* dc, Output* o) {
  return captured(o, [&] {
    return insert_bmp_into_dc(bmp.data(), static_cast<unsigned>(bmp.size()), dc->data(),
                              static_cast<unsigned>(dc->size()));
  });
}

BmpSpec rgb_spec(int w, int h) {
  BmpSpec s;
  s.width = w;
  s.height = h;
  s.bits = 24;
  for (int i = 0; i < w * h; i++) s.pixels.push_back(0x102030u * static_cast<uint32_t>(i + 1) & 0xFFFFFF);
  return s;
}

}  // namespace

TEST(Dc, TwoPixelImageGivesTheExactBmpFile) {
  Output o;
  ImageBytes bmp = to_bmp(build_dc(2, 1, {0xFFFF, 0x801F}), &o);
  ASSERT_EQ(bmp.size(), 62u);
  const ImageBytes header = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                             2,   0,   0,  0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0,
                             0,   0,   0x12, 0x0B, 0, 0, 0x12, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(ImageBytes(bmp.begin(), bmp.begin() + 54), header);
  const ImageBytes row = {0xF8, 0xF8, 0xF8, 0x00, 0x00, 0xF8, 0, 0};
  EXPECT_EQ(ImageBytes(bmp.begin() + 54, bmp.end()), row);
}

TEST(Dc, RowsAreStoredBottomUpAndRoundTripWithBit15Set) {
  // Odd widths exercise the row padding; the tail after the pixels must stay.
  for (int w : {1, 2, 3, 5, 8}) {
    for (int h : {1, 2, 7}) {
      std::vector<uint16_t> px;
      for (int i = 0; i < w * h; i++) px.push_back(static_cast<uint16_t>(0x8000 | (i * 0x1357)));
      ImageBytes dc = build_dc(w, h, px);
      dc.push_back(0xAB);
      Output o;
      ImageBytes bmp = to_bmp(dc, &o);
      ASSERT_FALSE(bmp.empty());
      const size_t row = (w * 3 + 3) / 4 * 4;
      ASSERT_EQ(bmp.size(), 54 + row * h);
      // Top-left DC pixel is the first pixel of the last BMP row.
      const unsigned char* tl = bmp.data() + 54 + row * (h - 1);
      EXPECT_EQ(tl[2], (px[0] & 31) * 8);
      ImageBytes copy = dc;
      std::fill(copy.begin() + 6, copy.end() - 1, 0);
      ASSERT_TRUE(insert(bmp, &copy, &o)) << o.err;
      EXPECT_EQ(copy, dc) << w << "x" << h;
    }
  }
}

TEST(Dc, InsertTruncatesChannelsToFiveBits) {
  BmpSpec s;
  s.width = 1;
  s.height = 1;
  s.pixels = {0xFF0807};  // red FF, green 08, blue 07
  ImageBytes dc = build_dc(1, 1, {0});
  Output o;
  ASSERT_TRUE(insert(build_bmp(s), &dc, &o));
  EXPECT_EQ(dc[6], 0x80);
  EXPECT_EQ(dc[7], 0x3F);
}

TEST(Dc, RefusedBmpFilesLeaveTheImageUntouched) {
  const ImageBytes original = build_dc(3, 2, {1, 2, 3, 4, 5, 6});
  struct Case {
    const char* name;
    ImageBytes bmp;
    const char* message;
  };
  std::vector<Case> cases;
  BmpSpec s8 = rgb_spec(3, 2);
  s8.bits = 8;
  s8.palette.assign(256, 0);
  for (auto& p : s8.pixels) p &= 0xFF;
  cases.push_back({"8-bit", build_bmp(s8), "Unsupported type of BMP. Must be 24 bits.\n"});
  cases.push_back({"wider", build_bmp(rgb_spec(4, 2)),
                   "Error: width/height of BMP and DC don't match: (4, 2) != (3, 2)\n"});
  BmpSpec top_down = rgb_spec(3, 2);
  top_down.height = -2;
  cases.push_back({"top-down", build_bmp(top_down),
                   "Error: width/height of BMP and DC don't match: (3, -2) != (3, 2)\n"});
  ImageBytes cut = build_bmp(rgb_spec(3, 2));
  cut.pop_back();
  cases.push_back({"rows past end", cut, "Not enough capacity (BMP).\n"});
  ImageBytes far = build_bmp(rgb_spec(3, 2));
  far[10] = far[11] = far[12] = 0xFF;  // bfOffBits near 4 GiB must not wrap around
  cases.push_back({"offset past end", far, "Not enough capacity (BMP).\n"});
  ImageBytes huge = build_bmp(rgb_spec(3, 2));
  huge[22] = 0;  // biHeight = 0x7FFFFF00 rows
  huge[23] = 0xFF;
  huge[24] = 0xFF;
  huge[25] = 0x7F;
  cases.push_back({"absurd height", huge, "Not enough capacity (BMP).\n"});
  ImageBytes not_bm = build_bmp(rgb_spec(3, 2));
  not_bm[1] = 'A';
  cases.push_back({"not BM", not_bm, "Invalid BMP file.\n"});
  cases.push_back({"short", ImageBytes{'B', 'M', 0, 0}, "Invalid BMP file.\n"});
  for (const Case& c : cases) {
    ImageBytes dc = original;
    Output o;
    EXPECT_FALSE(insert(c.bmp, &dc, &o)) << c.name;
    EXPECT_EQ(o.err, c.message) << c.name;
    EXPECT_EQ(dc, original) << c.name;
  }
}

TEST(Dc, HeadersThatPromiseMorePixelsThanTheBufferHoldsAreRefused) {
  Output o;
  ImageBytes dc = build_dc(0xFFFF, 0xFFFF, {1, 2, 3});
  EXPECT_TRUE(to_bmp(dc, &o).empty());
  // 65535 * 65535 * 2 + 6 does not fit 32 bits; the message must still be right.
  EXPECT_EQ(o.err, "Not enough capacity: 8589672456 > 12\n");

  const ImageBytes short_dc = {'D', 'C', 0};
  EXPECT_TRUE(to_bmp(short_dc, &o).empty());
  EXPECT_EQ(o.err, "Not enough capacity: 6 > 3\n");
  EXPECT_TRUE(to_bmp({'X', 'C', 0, 1, 0, 1, 0, 0}, &o).empty());
  EXPECT_EQ(o.err, "Error: no DC signature.\n");

  ImageBytes target = build_dc(2, 2, {1, 2, 3});  // one pixel short
  const ImageBytes before = target;
  EXPECT_FALSE(insert(build_bmp(rgb_spec(2, 2)), &target, &o));
  EXPECT_EQ(o.err, "Not enough capacity: 14 > 12\n");
  EXPECT_EQ(target, before);
}
