// pp (16-colour) images to 4-bit BMP files and back, including the nibble
// remapping of the transparency repair and the refusal of odd widths.
#include "images/pp4.h"

#include <gtest/gtest.h>

#include "tests/images/image_test_helpers.h"

using namespace imagetest;
using testsupport::BmpSpec;
using testsupport::build_bmp;
using testsupport::build_pp4;
using testsupport::rgb_of_555;

namespace {

ImageBytes to_bmp(ImageBytes pp, Output* o) {
  unsigned int size = 0;
  unsigned char* bmp =
      captured(o, [&] { return pp4_to_bmp(pp.data(), static_cast<unsigned>(pp.size()), &size); });
  return take(bmp, size);
}

bool insert(ImageBytes bmp, ImageBytes* pp, Output* o, bool fix_transparent) {
  return captured(o, [&] {
    return insert_bmp_into_pp4(bmp.data(), static_cast<unsigned>(bmp.size()), pp->data(),
                               static_cast<unsigned>(pp->size()), fix_transparent);
  });
}

std::vector<uint16_t> palette16() {
  std::vector<uint16_t> p;
  for (int i = 0; i < 16; i++) p.push_back(static_cast<uint16_t>(0x8000 | (i * 0x0843 + 1)));
  return p;
}

BmpSpec spec_of(int w, int h, const std::vector<uint16_t>& pal, const ImageBytes& idx) {
  BmpSpec s;
  s.width = w;
  s.height = h;
  s.bits = 4;
  for (uint16_t c : pal) s.palette.push_back(rgb_of_555(c));
  s.pixels.assign(idx.begin(), idx.end());
  return s;
}

}  // namespace

TEST(Pp4, EightByTwoImageExtractsWithoutPaddingAndRoundTrips) {
  const ImageBytes idx = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0};
  const ImageBytes pp = build_pp4(8, 2, palette16(), idx);
  Output o;
  ImageBytes bmp = to_bmp(pp, &o);
  ASSERT_EQ(bmp.size(), 118u + 8);
  EXPECT_EQ(ImageBytes(bmp.begin() + 118, bmp.end()),
            (ImageBytes{0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(bmp[28], 4);
  EXPECT_EQ(bmp[46], 16);
  EXPECT_EQ(bmp[50], 16);
  ImageBytes copy = pp;
  ASSERT_TRUE(insert(bmp, &copy, &o, true));
  EXPECT_EQ(copy, pp);
  // Widths whose rows need padding in the BMP.
  for (int w : {2, 6, 10}) {
    ImageBytes px(w * 3);
    for (size_t i = 0; i < px.size(); i++) px[i] = static_cast<unsigned char>(i * 5 % 16);
    const ImageBytes image = build_pp4(w, 3, palette16(), px);
    ImageBytes back = image;
    ASSERT_TRUE(insert(to_bmp(image, &o), &back, &o, false));
    EXPECT_EQ(back, image) << w;
  }
}

TEST(Pp4, TransparencyFixRemapsEachNibble) {
  auto pal = palette16();
  auto edited = pal;
  std::swap(edited[0], edited[7]);
  // Pixel pairs giving the bytes 0x70, 0x77, 0x07, 0x35 in the editor's order.
  const ImageBytes edited_idx = {7, 0, 7, 7, 0, 7, 3, 5};
  ImageBytes pp = build_pp4(8, 1, pal, ImageBytes(8, 0));
  Output o;
  ASSERT_TRUE(insert(build_bmp(spec_of(8, 1, edited, edited_idx)), &pp, &o, true));
  EXPECT_EQ(ImageBytes(pp.begin() + 38, pp.end()), (ImageBytes{0x07, 0x00, 0x70, 0x35}));
  const ImageBytes header = build_pp4(8, 1, pal, {});
  EXPECT_EQ(ImageBytes(pp.begin(), pp.begin() + 38), header);
  char expected[64];
  std::snprintf(expected, sizeof expected, "Info: transparency fixed to colour %04x\n", pal[0]);
  EXPECT_EQ(o.out, expected);
}

TEST(Pp4, RefusalsLeaveTheImageUntouched) {
  const ImageBytes original = build_pp4(4, 2, palette16(), {1, 2, 3, 4, 5, 6, 7, 8});
  BmpSpec eight = spec_of(4, 2, palette16(), {1, 2, 3, 4, 5, 6, 7, 8});
  eight.bits = 8;
  BmpSpec odd_count = spec_of(4, 2, palette16(), {1, 2, 3, 4, 5, 6, 7, 8});
  odd_count.clr_important = 8;
  ImageBytes cut = build_bmp(spec_of(4, 2, palette16(), {1, 2, 3, 4, 5, 6, 7, 8}));
  cut.resize(cut.size() - 1);
  const std::pair<ImageBytes, std::string> cases[] = {
      {build_bmp(eight), "Unsupported type of BMP. It must be 4 bits with 16 colours palette.\n"},
      {build_bmp(odd_count), "Unsupported type of BMP. It must be 4 bits with 16 colours palette.\n"},
      {build_bmp(spec_of(2, 4, palette16(), {1, 2, 3, 4, 5, 6, 7, 8})),
       "Error: width/height of BMP and pp don't match: (2, 4) != (4, 2)\n"},
      {cut, "Not enough capacity (BMP).\n"},
  };
  for (const auto& c : cases) {
    ImageBytes pp = original;
    Output o;
    EXPECT_FALSE(insert(c.first, &pp, &o, true));
    EXPECT_EQ(o.err, c.second);
    EXPECT_EQ(pp, original);
  }
  // Upper-case PP data is not a pp image.
  ImageBytes upper = original;
  upper[0] = upper[1] = 'P';
  Output o;
  EXPECT_FALSE(insert(build_bmp(spec_of(4, 2, palette16(), {1, 2, 3, 4, 5, 6, 7, 8})), &upper, &o, true));
  EXPECT_EQ(o.err, "Error: no pp signature.\n");
  EXPECT_TRUE(to_bmp(upper, &o).empty());
  EXPECT_EQ(o.err, "Error: no pp signature.\n");
}

TEST(Pp4, OddWidthsAreRefusedBothWays) {
  const ImageBytes odd = build_pp4(3, 2, palette16(), {1, 2, 3, 4, 5, 6});
  Output o;
  EXPECT_TRUE(to_bmp(odd, &o).empty());
  EXPECT_EQ(o.err, "Error: odd width pp images are not supported (width = 3).\n");
  ImageBytes copy = odd;
  EXPECT_FALSE(insert(build_bmp(spec_of(3, 2, palette16(), {1, 2, 3, 4, 5, 6})), &copy, &o, true));
  EXPECT_EQ(o.err, "Error: odd width pp images are not supported (width = 3).\n");
  EXPECT_EQ(copy, odd);
}
