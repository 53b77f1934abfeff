// pp (16-colour) images and 4-bit BMP files: the nibble remapping of the
// transparency repair and the refusals, odd widths among them.
#include "images/pp4.h"

#include <gtest/gtest.h>

#include "tests/images/image_test_helpers.h"

using namespace imagetest;
using testsupport::build_pp4;

namespace {

bool insert(ImageBytes bmp, ImageBytes* pp, Output* o) {
  return captured(o, [&] {
    return insert_bmp_into_pp4_data(bmp.data(), static_cast<unsigned>(bmp.size()), pp->data(), static_cast<unsigned>(pp->size()), true);
  });
}

const std::vector<uint16_t> kPalette = [] {
  std::vector<uint16_t> p;
  for (int i = 0; i < 16; i++) p.push_back(static_cast<uint16_t>(0x8000 | (i * 0x0843 + 1)));
  return p;
}();


}  // namespace

TEST(Pp4, TransparencyFixRemapsEachNibble) {
  auto edited = kPalette;
  std::swap(edited[0], edited[7]);
  // The editor's pixel pairs make the bytes 70 77 07 35.
  ImageBytes pp = build_pp4(8, 1, kPalette, ImageBytes(8, 0));
  Output o;
  ASSERT_TRUE(insert(bmp_of(8, 1, edited, {7, 0, 7, 7, 0, 7, 3, 5}, 4), &pp, &o));
  EXPECT_EQ(pp, build_pp4(8, 1, kPalette, {0, 7, 0, 0, 7, 0, 3, 5}));
  EXPECT_EQ(o.out, "Info: transparency fixed to colour 8001\n");
}

TEST(Pp4, RefusalsLeaveTheImageUntouched) {
  const ImageBytes idx = {1, 2, 3, 4, 5, 6, 7, 8}, original = build_pp4(4, 2, kPalette, idx);
  ImageBytes upper = original;
  upper[0] = upper[1] = 'P';
  const ImageBytes odd = build_pp4(3, 2, kPalette, {1, 2, 3, 4, 5, 6});
  const std::string odd_width = "Error: odd width pp images are not supported (width = 3).\n";
  const struct { ImageBytes bmp, image; std::string message; } cases[] = {
      {bmp_of(4, 2, kPalette, idx, 8), original, "Unsupported type of BMP. It must be 4 bits with 16 colours palette.\n"},
      {bmp_of(2, 4, kPalette, idx, 4), original, "Error: width/height of BMP and pp don't match: (2, 4) != (4, 2)\n"},
      {bmp_of(4, 2, kPalette, idx, 4), upper, "Error: no pp signature.\n"},
      {bmp_of(3, 2, kPalette, {1, 2, 3, 4, 5, 6}, 4), odd, odd_width},
  };
  for (const auto& c : cases) {
    ImageBytes image = c.image;
    Output o;
    EXPECT_FALSE(insert(c.bmp, &image, &o));
    EXPECT_EQ(o.err, c.message);
    EXPECT_EQ(image, c.image);
  }
  // Extraction refuses odd widths too rather than guess a layout.
  Output o;
  EXPECT_TRUE(captured(&o, [&] { return bmp_of(odd); }).empty());
  EXPECT_EQ(o.err, odd_width);
}
