#include "images/pp4.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "images/bmp.h"
#include "util/byte_order.h"

using namespace talvo;

namespace {

const unsigned int kPaletteOffset = 6;
const unsigned int kPixelOffset = 38;
const unsigned int kColours = 16;

bool has_pp4_signature(const unsigned char* pp, unsigned int pp_size) {
  if (pp_size < 2 || std::memcmp(pp, "pp", 2) != 0) {
    std::fprintf(stderr, "Error: no pp signature.\n");
    return false;
  }
  return true;
}

bool pp4_fits(const unsigned char* pp, unsigned int pp_size) {
  uint64_t needed = kPixelOffset;
  if (pp_size >= 6) needed = pp4_needed_size(read_be16(pp + 2), read_be16(pp + 4));
  if (needed > pp_size) {
    std::fprintf(stderr, "Not enough capacity: %llu > %u\n", static_cast<unsigned long long>(needed),
                 pp_size);
    return false;
  }
  return true;
}

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
  return uint64_t{width} * height / 2 + kPixelOffset;
}

unsigned char* pp4_to_bmp(unsigned char* pp, unsigned int pp_size, unsigned int* bmp_size) {
  if (!has_pp4_signature(pp, pp_size) || !pp4_fits(pp, pp_size)) return nullptr;
  const unsigned int width = read_be16(pp + 2);
  const unsigned int height = read_be16(pp + 4);
  if (!even_width(width)) return nullptr;
  const uint64_t row_size = bmp_row_size(width, 4);
  const uint64_t offset = kBmpHeaderSize + 4 * kColours;
  const uint64_t total = offset + row_size * height;
  unsigned char* bmp = total <= UINT32_MAX ? static_cast<unsigned char*>(std::calloc(total, 1)) : nullptr;
  if (!bmp) {
    std::fprintf(stderr, "Memory allocation failure (width = %d, height = %d)\n", width, height);
    return nullptr;
  }
  BMP_Header header;
  make_bmp4_header(&header, static_cast<int>(width), static_cast<int>(height), kColours);
  store_bmp_header(header, bmp);
  palette_to_bmp(pp + kPaletteOffset, kColours, bmp + kBmpHeaderSize);
  const unsigned int stored_row = width / 2;
  for (unsigned int r = 0; r < height; r++) {
    std::memcpy(bmp + offset + r * row_size, pp + kPixelOffset + uint64_t{height - 1 - r} * stored_row,
                stored_row);
  }
  *bmp_size = static_cast<unsigned int>(total);
  return bmp;
}

bool insert_bmp_into_pp4(unsigned char* bmp, unsigned int bmp_size, unsigned char* pp,
                         unsigned int pp_size, bool fix_transparent) {
  BMP_Header h;
  if (!has_pp4_signature(pp, pp_size) || !read_bmp_for_insert(bmp, bmp_size, &h)) return false;
  if (h.biBitCount != 4 || bmp_palette_entries(h, kColours) < 0) {
    std::fprintf(stderr, "Unsupported type of BMP. It must be 4 bits with 16 colours palette.\n");
    return false;
  }
  if (!bmp_check_pixel_data(h, bmp_size, 4)) return false;
  unsigned char palette[4 * kColours];
  if (!load_bmp_palette(bmp, bmp_size, h, kColours, palette)) {
    std::fprintf(stderr, "Not enough capacity (BMP).\n");
    return false;
  }
  if (pp_size < 6) return pp4_fits(pp, pp_size);
  const unsigned int width = read_be16(pp + 2);
  const unsigned int height = read_be16(pp + 4);
  if (h.biWidth != static_cast<int32_t>(width) || h.biHeight != static_cast<int32_t>(height)) {
    std::fprintf(stderr, "Error: width/height of BMP and pp don't match: (%d, %d) != (%d, %d)\n",
                 h.biWidth, h.biHeight, width, height);
    return false;
  }
  if (!pp4_fits(pp, pp_size) || !even_width(width)) return false;

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
