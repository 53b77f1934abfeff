#include "images/pp4.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "images/bmp.h"
#include "images/game_image.h"
#include "util/byte_order.h"

using namespace talvo;

namespace {

const unsigned int kPaletteOffset = 6;
const unsigned int kPixelOffset = 38;
const unsigned int kColours = 16;

const GameImageLayout kPp4 = {"pp", kPixelOffset, 4};

bool even_width(unsigned int width) {
  if (width % 2 != 0) {
    std::fprintf(stderr, "Error: odd width pp images are not supported (width = %d).\n", width);
    return false;
  }
  return true;
}

unsigned char swap_index(unsigned char nibble, unsigned int t) {
  if (nibble == 0) return static_cast<unsigned char>(t);
  if (nibble == t) return 0;
  return nibble;
}

}  // namespace

uint64_t pp4_needed_size(unsigned int width, unsigned int height) {
  return game_image_size(kPp4, width, height);
}

unsigned char* pp4_to_bmp(unsigned char* pp, unsigned int pp_size, unsigned int* bmp_size) {
  unsigned int width = 0, height = 0;
  if (!read_game_image_header(pp, pp_size, kPp4, &width, &height)) return nullptr;
  if (!even_width(width)) return nullptr;
  return palette_image_to_bmp(pp, kPp4, kColours, width, height, bmp_size);
}

bool insert_bmp_into_pp4_data(unsigned char* bmp, unsigned int bmp_size, unsigned char* pp,
                         unsigned int pp_size, bool fix_transparent) {
  BMP_Header h;
  unsigned char palette[4 * kColours];
  if (!has_game_image_signature(pp, pp_size, kPp4) ||
      !read_palette_bmp_for_insert(bmp, bmp_size, 4, kColours,
                                   "Unsupported type of BMP. It must be 4 bits with 16 colours palette.\n", &h,
                                   palette)) {
    return false;
  }
  unsigned int width = 0, height = 0;
  if (!game_image_matches_bmp(pp, pp_size, kPp4, h, &width, &height)) return false;
  if (!even_width(width)) return false;

  MallocBuffer decoded;
  const unsigned char* rows = bmp_pixel_rows(bmp, bmp_size, h, 4, &decoded);
  if (!rows) return false;
  const int t = store_game_palette(palette, kColours, pp + kPaletteOffset, fix_transparent);
  const uint64_t row_size = bmp_row_size(width, 4);
  const unsigned int stored_row = width / 2;
  for (unsigned int r = 0; r < height; r++) {
    const unsigned char* src = rows + r * row_size;
    unsigned char* dst = pp + kPixelOffset + uint64_t{height - 1 - r} * stored_row;
    for (unsigned int x = 0; x < stored_row; x++) {
      unsigned char b = src[x];
      if (t > 0) b = static_cast<unsigned char>((swap_index(b >> 4, t) << 4) | swap_index(b & 15, t));
      dst[x] = b;
    }
  }
  return true;
}
