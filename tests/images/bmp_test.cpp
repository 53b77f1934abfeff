// BMP files and the game's DC, PP and pp images in memory: the transparency repair and palette mapping
// after an editor, and refusals that leave the image alone.
#include "images/bmp.h"
#include "images/image_operations.h"

#include <gtest/gtest.h>

#include "tests/images/image_test_helpers.h"

using namespace imagetest;
using testsupport::BmpPicture;
using testsupport::build_bmp;
using testsupport::build_dc;
using testsupport::build_pp;
using testsupport::build_pp4;
using testsupport::rgb_of_555;

namespace {

// Inserts into a DC (bits 24), PP (bits 8) or pp image (bits 4).
bool insert(ImageBytes bmp, ImageBytes* image, Output* o, int bits, bool fix_transparent = true,
            bool fix_palette = false) {
  return captured(o, [&] {
    const unsigned bmp_size = static_cast<unsigned>(bmp.size()), size = static_cast<unsigned>(image->size());
    unsigned char *b = bmp.data(), *data = image->data();
    if (bits == 24) return insert_bmp_into_dc_data(b, bmp_size, data, size);
    return bits == 8 ? insert_bmp_into_pp_data(b, bmp_size, data, size, fix_transparent, fix_palette)
                     : insert_bmp_into_pp4_data(b, bmp_size, data, size, fix_transparent);
  });
}

ImageBytes patched(ImageBytes b, size_t at, const ImageBytes& bytes) {
  std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
  return b;
}

// Distinct colours with bit 15 set; entry 0, the transparent key, magenta.
const std::vector<uint16_t> kPalette = [] {
  std::vector<uint16_t> p(256);
  for (int i = 0; i < 256; i++) p[i] = static_cast<uint16_t>(0x8000 | (i * 97 + 5) % 0x8000);
  p[0] = 0xFC1F;
  return p;
}();
const std::vector<uint16_t> kPalette16(kPalette.begin(), kPalette.begin() + 16);

const ImageBytes kDc = build_dc(3, 2, {0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006}),
                 kPp = build_pp(2, 2, kPalette, {1, 2, 3, 4}), kPp4 = build_pp4(4, 2, kPalette16, {1, 2, 3, 4, 5, 6, 7, 8});

}  // namespace

// An editor that moved the transparent colour: fix_transparent swaps it back to entry 0, remapping the pixels;
// an unedited file, even with a second copy of the key, goes back unchanged.
TEST(Pp, TransparentColourMovedByAnEditorIsSwappedBack) {
  auto pal = kPalette;
  pal[200] = pal[0];
  const ImageBytes unedited = build_pp(3, 2, pal, {0, 200, 3, 0, 7, 255});
  ImageBytes copy = unedited;
  Output o;
  ASSERT_TRUE(insert(bmp_of(unedited), &copy, &o, 8, true, true)) << o.err;
  EXPECT_EQ(copy, unedited);
  auto edited = kPalette;
  std::swap(edited[0], edited[7]);
  const ImageBytes idx = {0, 7, 3, 0, 7, 7}, edited_idx = {7, 0, 3, 7, 0, 0};
  ImageBytes pp = build_pp(3, 2, kPalette, idx);
  ASSERT_TRUE(insert(bmp_of(3, 2, edited, edited_idx, 8), &pp, &o, 8));
  EXPECT_EQ(pp, build_pp(3, 2, kPalette, idx));
  // In a pp image each nibble is remapped: the editor's pixel pairs make the bytes 70 77 07 35.
  ImageBytes pp4 = build_pp4(8, 1, kPalette16, ImageBytes(8, 0));
  const std::vector<uint16_t> edited16(edited.begin(), edited.begin() + 16);
  ASSERT_TRUE(insert(bmp_of(8, 1, edited16, {7, 0, 7, 7, 0, 7, 3, 5}, 4), &pp4, &o, 4));
  EXPECT_EQ(pp4, build_pp4(8, 1, kPalette16, {0, 7, 0, 0, 7, 0, 3, 5}));
  // The key lost, in a short palette: reported, the palette kept, the entries it lacks black.
  edited.resize(16);
  edited[7] = 0x8421;
  ASSERT_TRUE(insert(bmp_of(3, 2, edited, edited_idx, 8), &pp, &o, 8));
  EXPECT_EQ(o.err, "Warning: cannot fix transparent, because old transparent colour (fc1f) was not found in new file. 82ac\n");
  edited.resize(256, 0x8000);
  EXPECT_EQ(pp, build_pp(3, 2, edited, edited_idx));
}

// fix_palette maps colours onto the stored palette; one it lacks goes to the nearest, warned for each pixel.
TEST(Pp, FixPaletteMapsPixelsOntoTheStoredPaletteAndWarnsForMissingColours) {
  ImageBytes pp = build_pp(4, 1, kPalette, {0, 1, 2, 3});
  // Stored colours 9 (low bits set) and 4, and entry 30 one step of red away, nearer than any other.
  const uint32_t missing = rgb_of_555(kPalette[30]) ^ 0x080000;
  const BmpPicture picture{4, 1, 8, {rgb_of_555(kPalette[9]) | 0x070707, rgb_of_555(kPalette[4]), missing}, {0, 2, 1, 2}};
  Output o;
  ASSERT_TRUE(insert(build_bmp(picture), &pp, &o, 8, false, true));
  EXPECT_EQ(pp, build_pp(4, 1, kPalette, {9, 30, 4, 30}));
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 4) << o.err;  // two lines for each such pixel
}

// Every size and type a BMP header promises is checked before a pixel is read; the image stays as it was.
TEST(Bmp, RefusalsLeaveTheImageUntouched) {
  BmpPicture picture{3, 2, 24, {}, std::vector<uint32_t>(6, 0x123456)};
  const ImageBytes good = build_bmp(picture);
  picture.height = -2;
  ImageBytes bad_important = bmp_of(kPp), cut_palette = bad_important;
  bad_important[50] = 16, bad_important[51] = 0;  // biClrImportant
  cut_palette.resize(54 + 512);
  cut_palette[10] = 54, cut_palette[11] = 0, cut_palette[34] = 0;  // rows inside the header
  const ImageBytes odd = build_pp4(3, 2, kPalette16, {1, 2, 3, 4, 5, 6});
  const std::string capacity = "Not enough capacity (BMP).\n", invalid = "Invalid BMP file.\n";
  const std::string wrong_type = "Unsupported type of BMP. It must be 8 bits with 256 colours palette.\n";
  const std::string odd_width = "Error: odd width pp images are not supported (width = 3).\n";
  const struct { int bits; ImageBytes bmp, image; std::string message; } cases[] = {
      {24, build_bmp(picture), kDc, "Error: width/height of BMP and DC don't match: (3, -2) != (3, 2)\n"},
      {24, ImageBytes(good.begin(), good.end() - 1), kDc, capacity},
      {24, patched(good, 10, {0xFF, 0xFF, 0xFF, 0xFF}), kDc, capacity},  // offset wraps 32 bits
      {24, patched(good, 30, {3}), kDc, "Unsupported type of BMP: compressed pixel data (biCompression = 3).\n"},
      {24, patched(good, 1, {'A'}), kDc, invalid},
      {24, ImageBytes{'B', 'M', 0, 0}, kDc, invalid},
      {24, patched(good, 18, {2}), build_dc(2, 2, {1, 2, 3}), "Not enough capacity: 14 > 12\n"},  // header promises more
      {8, build_bmp(BmpPicture{2, 2, 24, {}, {1, 2, 3, 4}, 256}), kPp, wrong_type},
      {8, bad_important, kPp, wrong_type},
      {8, cut_palette, kPp, capacity},
      {4, bmp_of(4, 2, kPalette16, {1, 2, 3, 4, 5, 6, 7, 8}, 8), kPp4,
       "Unsupported type of BMP. It must be 4 bits with 16 colours palette.\n"},
      {4, bmp_of(3, 2, kPalette16, {1, 2, 3, 4, 5, 6}, 4), odd, odd_width},
  };
  for (const auto& c : cases) {
    ImageBytes image = c.image;
    Output o;
    EXPECT_FALSE(insert(c.bmp, &image, &o, c.bits, true, true));
    EXPECT_EQ(o.err, c.message);
    EXPECT_EQ(image, c.image);
  }
  // Image headers promising more than the buffer holds (65535 * 65535 * 2 + 6 does not fit 32 bits), no
  // signature, or an odd pp width: no BMP file.
  const std::pair<ImageBytes, std::string> images[] = {
      {build_dc(0xFFFF, 0xFFFF, {1, 2, 3}), "Not enough capacity: 8589672456 > 12\n"},
      {{'D', 'X', 0, 1, 0, 1, 0, 0}, "Error: no DC signature.\n"},
      {odd, odd_width},
  };
  for (const auto& c : images) {
    Output o;
    EXPECT_TRUE(captured(&o, [&] { return bmp_of(c.first); }).empty());
    EXPECT_EQ(o.err, c.second);
  }
}
