// PP images to 8-bit BMP files and back: palettes, the transparency repair
// after an editor reordered the palette, and the mapping onto the stored
// palette.
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
  unsigned char* bmp =
      captured(o, [&] { return pp_to_bmp(pp.data(), static_cast<unsigned>(pp.size()), &size); });
  return take(bmp, size);
}

bool insert(ImageBytes bmp, ImageBytes* pp, Output* o, bool fix_transparent, bool fix_palette) {
  return captured(o, [&] {
    return insert_bmp_into_pp(bmp.data(), static_cast<unsigned>(bmp.size()), pp->data(),
                              static_cast<unsigned>(pp->size()), fix_transparent, fix_palette);
  });
}

// A palette of distinct colours with bit 15 set, entry 0 a magenta key.
std::vector<uint16_t> distinct_palette() {
  std::vector<uint16_t> p(256);
  for (int i = 0; i < 256; i++) p[i] = static_cast<uint16_t>(0x8000 | (i * 97 + 5) % 0x8000);
  p[0] = 0xFC1F;
  return p;
}

uint16_t entry(const ImageBytes& pp, int i) { return static_cast<uint16_t>(pp[6 + 2 * i] << 8 | pp[7 + 2 * i]); }

// The BMP an editor would write for the PP image: same palette and indices.
BmpSpec spec_of(int w, int h, const std::vector<uint16_t>& palette, const ImageBytes& idx) {
  BmpSpec s;
  s.width = w;
  s.height = h;
  s.bits = 8;
  for (uint16_t c : palette) s.palette.push_back(rgb_of_555(c));
  s.pixels.assign(idx.begin(), idx.end());
  return s;
}

}  // namespace

TEST(Pp, FourByTwoImageExtractsBottomRowFirstWithItsPalette) {
  const auto pal = distinct_palette();
  const ImageBytes idx = {1, 2, 3, 4, 5, 6, 7, 8};
  ImageBytes pp = build_pp(4, 2, pal, idx);
  pp.push_back(0xEE);  // trailing data is not part of the image
  Output o;
  ImageBytes bmp = to_bmp(pp, &o);
  ASSERT_EQ(bmp.size(), 1078u + 8);
  EXPECT_EQ(ImageBytes(bmp.begin() + 1078, bmp.end()), (ImageBytes{5, 6, 7, 8, 1, 2, 3, 4}));
  EXPECT_EQ(bmp[28], 8);
  EXPECT_EQ(bmp[46], 0);  // biClrUsed = 256
  EXPECT_EQ(bmp[47], 1);
  for (int i = 0; i < 256; i++) {
    const uint32_t c = rgb_of_555(pal[i]);
    ASSERT_EQ(bmp[54 + 4 * i], c & 0xFF);
    ASSERT_EQ(bmp[55 + 4 * i], (c >> 8) & 0xFF);
    ASSERT_EQ(bmp[56 + 4 * i], c >> 16);
    ASSERT_EQ(bmp[57 + 4 * i], 0);
  }
}

TEST(Pp, UneditedBmpGoesBackUnchangedWithEveryFlagCombination) {
  auto pal = distinct_palette();
  pal[200] = pal[0];  // a second copy of the key colour must not trigger a swap
  ImageBytes idx;
  for (int i = 0; i < 15; i++) idx.push_back(static_cast<unsigned char>(i * 17));
  const ImageBytes pp = build_pp(5, 3, pal, idx);
  for (int flags = 0; flags < 4; flags++) {
    Output o;
    ImageBytes bmp = to_bmp(pp, &o);
    ImageBytes copy = pp;
    ASSERT_TRUE(insert(bmp, &copy, &o, flags & 1, flags & 2)) << o.err;
    EXPECT_EQ(copy, pp) << flags;
    if (flags & 1) {
      EXPECT_EQ(o.out,
                "Info: transparency fix wasn't needed because estimated transparent colour is "
                "already: FC1F\n");
    }
  }
}

TEST(Pp, TransparentColourMovedByAnEditorIsSwappedBack) {
  const auto pal = distinct_palette();
  const ImageBytes idx = {0, 7, 3, 0, 7, 7};
  ImageBytes pp = build_pp(3, 2, pal, idx);
  // The editor exchanged entries 0 and 7 and renumbered the pixels.
  auto edited = pal;
  std::swap(edited[0], edited[7]);
  const ImageBytes edited_idx = {7, 0, 3, 7, 0, 0};
  Output o;
  ASSERT_TRUE(insert(build_bmp(spec_of(3, 2, edited, edited_idx)), &pp, &o, true, false));
  EXPECT_EQ(o.out, "Info: transparency fixed to colour fc1f\n");
  EXPECT_EQ(pp, build_pp(3, 2, pal, idx));

  // Without the fix the editor's order is stored as it is.
  ImageBytes plain = build_pp(3, 2, pal, idx);
  ASSERT_TRUE(insert(build_bmp(spec_of(3, 2, edited, edited_idx)), &plain, &o, false, false));
  EXPECT_EQ(plain, build_pp(3, 2, edited, edited_idx));

  // A key colour that is gone entirely is reported and nothing is swapped.
  auto lost = edited;
  lost[7] = 0x8421;
  ImageBytes pp2 = build_pp(3, 2, pal, idx);
  ASSERT_TRUE(insert(build_bmp(spec_of(3, 2, lost, edited_idx)), &pp2, &o, true, false));
  EXPECT_TRUE(contains(o.err, "Warning: cannot fix transparent, because old transparent colour (fc1f)"));
  EXPECT_EQ(pp2, build_pp(3, 2, lost, edited_idx));
}

TEST(Pp, FixPaletteMapsPixelsOntoTheStoredPalette) {
  const auto pal = distinct_palette();
  ImageBytes pp = build_pp(4, 1, pal, {0, 1, 2, 3});
  // The editor rebuilt the palette: stored colours 9 and 4 at indices 0 and 1,
  // and a colour the stored palette does not hold at index 2.
  BmpSpec s;
  s.width = 4;
  s.height = 1;
  s.bits = 8;
  s.palette = {rgb_of_555(pal[9]) | 0x070707, rgb_of_555(pal[4]), rgb_of_555(pal[30]) ^ 0x080000};
  s.pixels = {0, 1, 2, 1};
  // Nearest stored colour to palette entry 2, by the sum of channel differences.
  const uint32_t c = s.palette[2];
  int best = -1, best_d = 1 << 30;
  for (int d = 0; d < 256; d++) {
    const uint32_t e = rgb_of_555(pal[d]);
    int dist = 0;
    for (int shift : {0, 8, 16}) dist += std::abs(int((c >> shift) & 0xFF) - int((e >> shift) & 0xFF));
    if (dist < best_d) best_d = dist, best = d;
  }
  Output o;
  ASSERT_TRUE(insert(build_bmp(s), &pp, &o, false, true));
  EXPECT_EQ(pp, build_pp(4, 1, pal, {9, 4, static_cast<unsigned char>(best), 4}));
  char expected[160];
  std::snprintf(expected, sizeof expected,
                "BIG Warning: Couldn't find colour index: %06X. This image will be corrupted "
                "*cough*\nUsing closer color instead: %06X\n",
                c, rgb_of_555(pal[best]));
  EXPECT_EQ(o.err, expected);
}

TEST(Pp, PalettesWithFewerEntriesAreAcceptedAndPaddedWithBlack) {
  const auto pal = distinct_palette();
  ImageBytes pp = build_pp(2, 2, pal, {0, 1, 2, 3});
  BmpSpec s;
  s.width = 2;
  s.height = 2;
  s.bits = 8;
  for (int i = 0; i < 16; i++) s.palette.push_back(0x100000u * i + 0x0808);
  s.pixels = {15, 1, 2, 3};
  for (int64_t important : {16, 0}) {
    s.clr_important = important;
    ImageBytes copy = pp;
    Output o;
    ASSERT_TRUE(insert(build_bmp(s), &copy, &o, false, false)) << o.err;
    for (int i = 0; i < 256; i++) {
      const uint16_t want = i < 16 ? static_cast<uint16_t>(0x8000 | (2 * i) | (1 << 5) | (1 << 10)) : 0x8000;
      ASSERT_EQ(entry(copy, i), want) << i;
    }
  }
}

TEST(Pp, RefusedBmpFilesLeaveTheImageUntouched) {
  const auto pal = distinct_palette();
  const ImageBytes original = build_pp(2, 2, pal, {1, 2, 3, 4});
  auto spec = [&] { return spec_of(2, 2, pal, {1, 2, 3, 4}); };
  std::vector<std::pair<ImageBytes, std::string>> cases;
  BmpSpec rgb;
  rgb.width = 2;
  rgb.height = 2;
  rgb.pixels = {1, 2, 3, 4};
  for (int64_t used : {0, 256}) {
    rgb.clr_used = used;
    cases.push_back({build_bmp(rgb), "Unsupported type of BMP. It must be 8 bits with 256 colours palette.\n"});
  }
  BmpSpec bad_important = spec();
  bad_important.clr_important = 16;
  cases.push_back({build_bmp(bad_important), "Unsupported type of BMP. It must be 8 bits with 256 colours palette.\n"});
  BmpSpec other = spec();
  other.height = 3;
  other.pixels.resize(6);
  cases.push_back({build_bmp(other), "Error: width/height of BMP and PP don't match: (2, 3) != (2, 2)\n"});
  ImageBytes short_palette = build_bmp(spec());
  short_palette.resize(54 + 512);
  short_palette[10] = 54;  // rows claimed inside the header
  short_palette[11] = 0;
  short_palette[34] = 0;
  cases.push_back({short_palette, "Not enough capacity (BMP).\n"});
  for (const auto& c : cases) {
    for (int flags = 0; flags < 4; flags++) {
      ImageBytes pp = original;
      Output o;
      EXPECT_FALSE(insert(c.first, &pp, &o, flags & 1, flags & 2));
      EXPECT_EQ(o.err, c.second);
      EXPECT_EQ(pp, original);
    }
  }
  Output o;
  ImageBytes big = build_pp(300, 200, pal, {1, 2});
  EXPECT_TRUE(to_bmp(big, &o).empty());
  EXPECT_EQ(o.err, "Not enough capacity: 60518 > 520\n");
  EXPECT_TRUE(to_bmp({'p', 'p', 0, 1, 0, 1}, &o).empty());
  EXPECT_EQ(o.err, "Error: no PP signature.\n");
}
