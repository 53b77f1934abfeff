#include "images/game_image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "images/bmp.h"
#include "util/byte_order.h"

using namespace talvo;

namespace {

// The image must fit; a header cut short needs at least the layout's pixel offset.
bool fits(const unsigned char* data, unsigned int size, const GameImageLayout& layout) {
  uint64_t needed = layout.pixel_offset;
  if (size >= kGameImageHeaderSize) needed = game_image_size(layout, read_be16(data + 2), read_be16(data + 4));
  if (needed > size) {
    std::fprintf(stderr, "Not enough capacity: %llu > %u\n", static_cast<unsigned long long>(needed), size);
    return false;
  }
  return true;
}

}  // namespace

uint64_t game_image_size(const GameImageLayout& layout, unsigned int width, unsigned int height) {
  return uint64_t{width} * height * layout.bits / 8 + layout.pixel_offset;
}

bool has_game_image_signature(const unsigned char* data, unsigned int size, const GameImageLayout& layout) {
  if (size < 2 || std::memcmp(data, layout.signature, 2) != 0) {
    std::fprintf(stderr, "Error: no %s signature.\n", layout.signature);
    return false;
  }
  return true;
}

bool read_game_image_header(const unsigned char* data, unsigned int size, const GameImageLayout& layout,
                            unsigned int* width, unsigned int* height) {
  if (!has_game_image_signature(data, size, layout) || !fits(data, size, layout)) return false;
  *width = read_be16(data + 2);
  *height = read_be16(data + 4);
  return true;
}

bool game_image_matches_bmp(const unsigned char* data, unsigned int size, const GameImageLayout& layout,
                            const BMP_Header& bmp, unsigned int* width, unsigned int* height) {
  if (size < kGameImageHeaderSize) return fits(data, size, layout);
  *width = read_be16(data + 2);
  *height = read_be16(data + 4);
  if (bmp.biWidth != static_cast<int32_t>(*width) || bmp.biHeight != static_cast<int32_t>(*height)) {
    std::fprintf(stderr, "Error: width/height of BMP and %s don't match: (%d, %d) != (%d, %d)\n",
                 layout.signature, bmp.biWidth, bmp.biHeight, *width, *height);
    return false;
  }
  return fits(data, size, layout);
}

unsigned char* allocate_bmp_file(uint64_t total, unsigned int width, unsigned int height) {
  unsigned char* bmp = total <= UINT32_MAX ? static_cast<unsigned char*>(std::calloc(total, 1)) : nullptr;
  if (!bmp) std::fprintf(stderr, "Memory allocation failure (width = %d, height = %d)\n", width, height);
  return bmp;
}

unsigned char* palette_image_to_bmp(const unsigned char* data, const GameImageLayout& layout, unsigned int colours,
                                    unsigned int width, unsigned int height, unsigned int* bmp_size) {
  const uint64_t row_size = bmp_row_size(width, layout.bits);
  const uint64_t offset = kBmpHeaderSize + 4 * colours;
  const uint64_t total = offset + row_size * height;
  unsigned char* bmp = allocate_bmp_file(total, width, height);
  if (!bmp) return nullptr;
  BMP_Header header;
  if (layout.bits == 8) make_bmp8_header(&header, static_cast<int>(width), static_cast<int>(height), colours);
  else make_bmp4_header(&header, static_cast<int>(width), static_cast<int>(height), colours);
  store_bmp_header(header, bmp);
  palette_to_bmp(data + kGameImageHeaderSize, colours, bmp + kBmpHeaderSize);
  const uint64_t stored_row = uint64_t{width} * layout.bits / 8;
  for (unsigned int r = 0; r < height; r++) {
    std::memcpy(bmp + offset + r * row_size, data + layout.pixel_offset + (height - 1 - r) * stored_row, stored_row);
  }
  *bmp_size = static_cast<unsigned int>(total);
  return bmp;
}
