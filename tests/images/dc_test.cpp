// DC images to 24-bit BMP files and back, in memory: exact bytes, and refusals that leave the DC data as it was.
#include "images/dc.h"

#include <gtest/gtest.h>

#include "tests/images/image_test_helpers.h"

using namespace imagetest;
using testsupport::BmpPicture;
using testsupport::build_bmp;
using testsupport::build_dc;

namespace {

ImageBytes to_bmp(ImageBytes dc, Output* o) {
  unsigned int size = 0;
  unsigned char* bmp = captured(o, [&] { return dc_to_bmp(dc.data(), static_cast<unsigned>(dc.size()), &size); });
  return take(bmp, size);
}

bool insert(ImageBytes bmp, ImageBytes* dc, Output* o) {
  return captured(o, [&] {
    return insert_bmp_into_dc_data(bmp.data(), static_cast<unsigned>(bmp.size()), dc->data(), static_cast<unsigned>(dc->size()));
  });
}

BmpPicture rgb(int w, int h) { return BmpPicture{w, h, 24, {}, std::vector<uint32_t>(static_cast<size_t>(w) * h, 0x123456)}; }

ImageBytes patched(ImageBytes b, size_t at, const ImageBytes& bytes) {
  for (size_t i = 0; i < bytes.size(); i++) b.at(at + i) = bytes[i];
  return b;
}

}  // namespace

TEST(Dc, TwoPixelImageGivesTheExactBmpFileAndRoundTrips) {
  Output o;
  const ImageBytes want = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 1,
                           0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0x12, 0x0B, 0, 0, 0x12, 0x0B,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0xF8, 0xF8, 0, 0, 0xF8, 0, 0};
  EXPECT_EQ(to_bmp(build_dc(2, 1, {0xFFFF, 0x801F}), &o), want);
  // Rows are bottom-up and padded; odd widths and a tail behind the pixels.
  std::vector<uint16_t> px;
  for (int i = 0; i < 21; i++) px.push_back(static_cast<uint16_t>(0x8000 | i * 0x1357));
  ImageBytes image = build_dc(3, 7, px);
  image.push_back(0xAB);
  ImageBytes copy = patched(image, 6, ImageBytes(2 * 21, 0));
  ASSERT_TRUE(insert(to_bmp(image, &o), &copy, &o)) << o.err;
  EXPECT_EQ(copy, image);
}

TEST(Dc, RefusalsLeaveTheImageUntouched) {
  const ImageBytes original = build_dc(3, 2, {1, 2, 3, 4, 5, 6});
  // The wrong bit depth and width are refused on the disc in ImageOperations.
  BmpPicture top_down = rgb(3, 2);
  top_down.height = -2;
  const ImageBytes good = build_bmp(rgb(3, 2));
  const std::pair<ImageBytes, std::string> cases[] = {
      {build_bmp(top_down), "Error: width/height of BMP and DC don't match: (3, -2) != (3, 2)\n"},
      {ImageBytes(good.begin(), good.end() - 1), "Not enough capacity (BMP).\n"},
      {patched(good, 10, {0xFF, 0xFF, 0xFF, 0xFF}), "Not enough capacity (BMP).\n"},  // offset wraps 32 bits
      {patched(good, 22, {0, 0xFF, 0xFF, 0x7F}), "Not enough capacity (BMP).\n"},     // absurd height
      {patched(good, 30, {3}), "Unsupported type of BMP: compressed pixel data (biCompression = 3).\n"},
      {patched(good, 1, {'A'}), "Invalid BMP file.\n"},
      {ImageBytes{'B', 'M', 0, 0}, "Invalid BMP file.\n"},
  };
  for (const auto& c : cases) {
    ImageBytes dc = original;
    Output o;
    EXPECT_FALSE(insert(c.first, &dc, &o));
    EXPECT_EQ(o.err, c.second);
    EXPECT_EQ(dc, original);
  }
  // Headers promising more than the buffer holds; 65535 * 65535 * 2 + 6 does not fit 32 bits.
  const std::pair<ImageBytes, std::string> images[] = {
      {build_dc(0xFFFF, 0xFFFF, {1, 2, 3}), "Not enough capacity: 8589672456 > 12\n"},
      {{'D', 'C', 0}, "Not enough capacity: 6 > 3\n"},
      {{'X', 'C', 0, 1, 0, 1, 0, 0}, "Error: no DC signature.\n"},
  };
  for (const auto& c : images) {
    Output o;
    EXPECT_TRUE(to_bmp(c.first, &o).empty());
    EXPECT_EQ(o.err, c.second);
  }
  ImageBytes short_dc = build_dc(2, 2, {1, 2, 3});
  const ImageBytes before = short_dc;
  Output o;
  EXPECT_FALSE(insert(build_bmp(rgb(2, 2)), &short_dc, &o));
  EXPECT_EQ(o.err, "Not enough capacity: 14 > 12\n");
  EXPECT_EQ(short_dc, before);
}
