// PP images to 8-bit BMP files and back: the transparency repair after an
// editor reordered the palette, the mapping onto the stored palette, short
// palettes, and refusals.
#include "images/pp.h"

#include <gtest/gtest.h>

#include "tests/images/image_test_helpers.h"

using namespace imagetest;
using testsupport::BmpSpec;
using testsupport::build_bmp;
using testsupport::build_pp;
using testsupport::rgb_of_555;

namespace {

ImageBytes to_bmp(ImageBytes pp, Output* o) {
  unsigned int size = 0;
  unsigned char* bmp = captured(o, [&] { return pp_to_bmp(pp.data(), static_cast<unsigned>(pp.size()), &size); });
  return take(bmp, size);
}

bool insert(ImageBytes bmp, ImageBytes* pp, Output* o, bool fix_transparent, bool fix_palette) {
  return captured(o, [&] {
    return insert_bmp_into_pp(bmp.data(), static_cast<unsigned>(bmp.size()), pp->data(),
                              static_cast<unsigned>(pp->size()), fix_transparent, fix_palette);
  });
}

// Distinct colours with bit 15 set; entry 0, the transparent key, magenta.
std::vector<uint16_t> palette() {
  std::vector<uint16_t> p(256);
  for (int i = 0; i < 256; i++) p[i] = static_cast<uint16_t>(0x8000 | (i * 97 + 5) % 0x8000);
  p[0] = 0xFC1F;
  return p;
}

BmpSpec spec_of(int w, int h, const std::vector<uint16_t>& pal, const ImageBytes& idx) {
  BmpSpec s{w, h, 8, {}, std::vector<uint32_t>(idx.begin(), idx.end())};
  for (uint16_t c : pal) s.palette.push_back(rgb_of_555(c));
  return s;
}

}  // namespace

TEST(Pp, UneditedBmpGoesBackUnchangedEvenWithADuplicateKeyColour) {
  auto pal = palette();
  pal[200] = pal[0];  // a second copy of the key must not be swapped in
  ImageBytes idx;
  for (int i = 0; i < 15; i++) idx.push_back(static_cast<unsigned char>(i * 17));
  const ImageBytes pp = build_pp(5, 3, pal, idx);
  for (int flags = 0; flags < 4; flags++) {
    Output o;
    ImageBytes copy = pp;
    ASSERT_TRUE(insert(to_bmp(pp, &o), &copy, &o, flags & 1, flags & 2)) << o.err;
    EXPECT_EQ(copy, pp) << flags;
    EXPECT_EQ(o.out, flags & 1 ? "Info: transparency fix wasn't needed because estimated transparent colour is already: FC1F\n" : "");
  }
}

TEST(Pp, TransparentColourMovedByAnEditorIsSwappedBack) {
  const auto pal = palette();
  auto edited = pal;
  std::swap(edited[0], edited[7]);
  const ImageBytes idx = {0, 7, 3, 0, 7, 7}, edited_idx = {7, 0, 3, 7, 0, 0};
  ImageBytes pp = build_pp(3, 2, pal, idx);
  Output o;
  ASSERT_TRUE(insert(build_bmp(spec_of(3, 2, edited, edited_idx)), &pp, &o, true, false));
  EXPECT_EQ(o.out, "Info: transparency fixed to colour fc1f\n");
  EXPECT_EQ(pp, build_pp(3, 2, pal, idx));
  // Without the fix the editor's order is kept; a lost key is reported.
  ASSERT_TRUE(insert(build_bmp(spec_of(3, 2, edited, edited_idx)), &pp, &o, false, false));
  EXPECT_EQ(pp, build_pp(3, 2, edited, edited_idx));
  edited[7] = 0x8421;
  pp = build_pp(3, 2, pal, idx);
  ASSERT_TRUE(insert(build_bmp(spec_of(3, 2, edited, edited_idx)), &pp, &o, true, false));
  char want[128];
  std::snprintf(want, sizeof want, "Warning: cannot fix transparent, because old transparent colour (fc1f) was not found in new file. %04x\n", edited[0]);
  EXPECT_EQ(o.err, want);
  EXPECT_EQ(pp, build_pp(3, 2, edited, edited_idx));
}

TEST(Pp, FixPaletteMapsPixelsOntoTheStoredPalette) {
  const auto pal = palette();
  ImageBytes pp = build_pp(4, 1, pal, {0, 1, 2, 3});
  // Stored colours 9 (low bits set) and 4, and one the stored palette lacks.
  BmpSpec s{4, 1, 8, {rgb_of_555(pal[9]) | 0x070707, rgb_of_555(pal[4]), rgb_of_555(pal[30]) ^ 0x080000}, {0, 2, 1, 2}};
  const uint32_t c = s.palette[2];
  int best = -1, best_d = 1 << 30;
  for (int d = 0; d < 256; d++) {
    int dist = 0;
    for (int shift : {0, 8, 16}) dist += std::abs(int((c >> shift) & 255) - int((rgb_of_555(pal[d]) >> shift) & 255));
    if (dist < best_d) best_d = dist, best = d;
  }
  Output o;
  ASSERT_TRUE(insert(build_bmp(s), &pp, &o, false, true));
  const unsigned char b = static_cast<unsigned char>(best);
  EXPECT_EQ(pp, build_pp(4, 1, pal, {9, b, 4, b}));
  char want[160];
  std::snprintf(want, sizeof want,
                "BIG Warning: Couldn't find colour index: %06X. This image will be corrupted *cough*\n"
                "Using closer color instead: %06X\n", c, rgb_of_555(pal[best]));
  EXPECT_EQ(o.err, std::string(want) + want);  // once for each pixel of that colour
}

TEST(Pp, ShortPalettesArePaddedWithBlackAndBadOnesRefused) {
  const auto pal = palette();
  const ImageBytes original = build_pp(2, 2, pal, {1, 2, 3, 4});
  BmpSpec s{2, 2, 8, {}, {15, 1, 2, 3}};
  for (int i = 0; i < 16; i++) s.palette.push_back(0x100000u * i + 0x0808);
  for (int64_t important : {16, 0}) {
    s.clr_important = important;
    ImageBytes pp = original;
    Output o;
    ASSERT_TRUE(insert(build_bmp(s), &pp, &o, false, false)) << o.err;
    for (int i = 0; i < 256; i++) {
      ASSERT_EQ(pp[6 + 2 * i] << 8 | pp[7 + 2 * i], i < 16 ? 0x8000 | 2 * i | 1 << 5 | 1 << 10 : 0x8000) << i;
    }
  }
  BmpSpec bad_important = spec_of(2, 2, pal, {1, 2, 3, 4}), taller = spec_of(2, 3, pal, {1, 2, 3, 4, 5, 6});
  bad_important.clr_important = 16;
  ImageBytes cut_palette = build_bmp(spec_of(2, 2, pal, {1, 2, 3, 4}));
  cut_palette.resize(54 + 512);
  cut_palette[10] = 54, cut_palette[11] = 0, cut_palette[34] = 0;  // rows inside the header
  const std::pair<ImageBytes, std::string> cases[] = {
      {build_bmp(BmpSpec{2, 2, 24, {}, {1, 2, 3, 4}, 256}), "Unsupported type of BMP. It must be 8 bits with 256 colours palette.\n"},
      {build_bmp(bad_important), "Unsupported type of BMP. It must be 8 bits with 256 colours palette.\n"},
      {build_bmp(taller), "Error: width/height of BMP and PP don't match: (2, 3) != (2, 2)\n"},
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
  EXPECT_TRUE(to_bmp(build_pp(300, 200, pal, {1, 2}), &o).empty());
  EXPECT_EQ(o.err, "Not enough capacity: 60518 > 520\n");
}
