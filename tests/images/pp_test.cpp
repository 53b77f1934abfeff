// PP images to 8-bit BMP files and back: the transparency repair after an editor reordered the palette,
// the mapping onto the stored palette, short palettes, and refusals.
#include "images/pp.h"

#include <gtest/gtest.h>

#include "tests/images/image_test_helpers.h"

using namespace imagetest;
using testsupport::BmpPicture;
using testsupport::build_bmp;
using testsupport::build_pp;
using testsupport::rgb_of_555;

namespace {

bool insert(ImageBytes bmp, ImageBytes* pp, Output* o, bool fix_transparent, bool fix_palette) {
  return captured(o, [&] {
    return insert_bmp_into_pp_data(bmp.data(), static_cast<unsigned>(bmp.size()), pp->data(),
                              static_cast<unsigned>(pp->size()), fix_transparent, fix_palette);
  });
}

// Distinct colours with bit 15 set; entry 0, the transparent key, magenta.
const std::vector<uint16_t> kPalette = [] {
  std::vector<uint16_t> p(256);
  for (int i = 0; i < 256; i++) p[i] = static_cast<uint16_t>(0x8000 | (i * 97 + 5) % 0x8000);
  p[0] = 0xFC1F;
  return p;
}();


}  // namespace

TEST(Pp, TransparentColourMovedByAnEditorIsSwappedBackAndUneditedFilesGoBackUnchanged) {
  auto pal = kPalette;
  pal[200] = pal[0];  // a second copy of the key must not be swapped in
  ImageBytes idx15;
  for (int i = 0; i < 15; i++) idx15.push_back(static_cast<unsigned char>(i * 17));
  const ImageBytes unedited = build_pp(5, 3, pal, idx15);
  Output o;
  for (int flags = 0; flags < 4; flags++) {
    ImageBytes copy = unedited;
    ASSERT_TRUE(insert(bmp_of(unedited), &copy, &o, flags & 1, flags & 2)) << o.err;
    EXPECT_EQ(copy, unedited) << flags;
    EXPECT_EQ(o.out, flags & 1 ? "Info: transparency fix wasn't needed because estimated transparent colour is already: FC1F\n" : "");
  }
  auto edited = kPalette;
  std::swap(edited[0], edited[7]);
  const ImageBytes idx = {0, 7, 3, 0, 7, 7}, edited_idx = {7, 0, 3, 7, 0, 0};
  ImageBytes pp = build_pp(3, 2, kPalette, idx);
  ASSERT_TRUE(insert(bmp_of(3, 2, edited, edited_idx, 8), &pp, &o, true, false));
  EXPECT_EQ(o.out, "Info: transparency fixed to colour fc1f\n");
  EXPECT_EQ(pp, build_pp(3, 2, kPalette, idx));
  // Without the fix the editor's order is kept; a lost key is reported.
  ASSERT_TRUE(insert(bmp_of(3, 2, edited, edited_idx, 8), &pp, &o, false, false));
  EXPECT_EQ(pp, build_pp(3, 2, edited, edited_idx));
  edited[7] = 0x8421;
  pp = build_pp(3, 2, kPalette, idx);
  ASSERT_TRUE(insert(bmp_of(3, 2, edited, edited_idx, 8), &pp, &o, true, false));
  EXPECT_EQ(o.err, "Warning: cannot fix transparent, because old transparent colour (fc1f) was not found in new file. 82ac\n");
  EXPECT_EQ(pp, build_pp(3, 2, edited, edited_idx));
}

TEST(Pp, FixPaletteMapsPixelsOntoTheStoredPaletteAndWarnsForMissingColours) {
  ImageBytes pp = build_pp(4, 1, kPalette, {0, 1, 2, 3});
  // Stored colours 9 (low bits set) and 4, and one the stored palette lacks.
  const uint32_t missing = rgb_of_555(kPalette[30]) ^ 0x080000;
  const BmpPicture picture{4, 1, 8, {rgb_of_555(kPalette[9]) | 0x070707, rgb_of_555(kPalette[4]), missing}, {0, 2, 1, 2}};
  int best = -1, best_d = 1 << 30;
  for (int d = 0; d < 256; d++) {
    int dist = 0;
    for (int shift : {0, 8, 16}) dist += std::abs(int((missing >> shift) & 255) - int((rgb_of_555(kPalette[d]) >> shift) & 255));
    if (dist < best_d) best_d = dist, best = d;
  }
  Output o;
  ASSERT_TRUE(insert(build_bmp(picture), &pp, &o, false, true));
  const unsigned char b = static_cast<unsigned char>(best);
  EXPECT_EQ(pp, build_pp(4, 1, kPalette, {9, b, 4, b}));
  char want[160];
  std::snprintf(want, sizeof want,
                "BIG Warning: Couldn't find colour index: %06X. This image will be corrupted *cough*\n"
                "Using closer color instead: %06X\n", missing, rgb_of_555(kPalette[best]));
  EXPECT_EQ(o.err, std::string(want) + want);  // once for each pixel of that colour
}

TEST(Pp, ShortPalettesArePaddedWithBlackAndBadOnesRefused) {
  const ImageBytes original = build_pp(2, 2, kPalette, {1, 2, 3, 4});
  BmpPicture picture{2, 2, 8, {}, {15, 1, 2, 3}};
  for (int i = 0; i < 16; i++) picture.palette.push_back(0x100000u * i + 0x0808);
  for (int64_t important : {16, 0}) {
    picture.clr_important = important;
    ImageBytes pp = original;
    Output o;
    ASSERT_TRUE(insert(build_bmp(picture), &pp, &o, false, false)) << o.err;
    for (int i = 0; i < 256; i++) {
      ASSERT_EQ(pp[6 + 2 * i] << 8 | pp[7 + 2 * i], i < 16 ? 0x8000 | 2 * i | 1 << 5 | 1 << 10 : 0x8000) << i;
    }
  }
  ImageBytes bad_important = bmp_of(2, 2, kPalette, {1, 2, 3, 4}, 8), cut_palette = bad_important;
  bad_important[50] = 16, bad_important[51] = 0;  // biClrImportant
  cut_palette.resize(54 + 512);
  cut_palette[10] = 54, cut_palette[11] = 0, cut_palette[34] = 0;  // rows inside the header
  const std::string wrong_type = "Unsupported type of BMP. It must be 8 bits with 256 colours palette.\n";
  const std::pair<ImageBytes, std::string> cases[] = {
      {build_bmp(BmpPicture{2, 2, 24, {}, {1, 2, 3, 4}, 256}), wrong_type},
      {bad_important, wrong_type},
      {bmp_of(2, 3, kPalette, {1, 2, 3, 4, 5, 6}, 8), "Error: width/height of BMP and PP don't match: (2, 3) != (2, 2)\n"},
      {cut_palette, "Not enough capacity (BMP).\n"},
  };
  for (const auto& c : cases) {
    ImageBytes pp = original;
    Output o;
    EXPECT_FALSE(insert(c.first, &pp, &o, true, true));
    EXPECT_EQ(o.err, c.second);
    EXPECT_EQ(pp, original);
  }
  Output o;
  EXPECT_TRUE(captured(&o, [&] { return bmp_of(build_pp(300, 200, kPalette, {1, 2})); }).empty());
  EXPECT_EQ(o.err, "Not enough capacity: 60518 > 520\n");
}
