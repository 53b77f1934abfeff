#include "images/dc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "images/bmp.h"
#include "images/game_image.h"
#include "util/byte_order.h"

using namespace talvo;

namespace {

const GameImageLayout kDc = {"DC", kGameImageHeaderSize, 16};

}  // namespace

uint64_t dc_needed_size(unsigned int width, unsigned int height) {
  return game_image_size(kDc, width, height);
}

unsigned char* dc_to_bmp(unsigned char* dc, unsigned int dc_size, unsigned int* bmp_size) {
  unsigned int width = 0, height = 0;
  if (!read_game_image_header(dc, dc_size, kDc, &width, &height)) return nullptr;
  const uint64_t row_size = bmp_row_size(width, 24);
  const uint64_t total = kBmpHeaderSize + row_size * height;
  unsigned char* bmp = allocate_bmp_file(total, width, height);
  if (!bmp) return nullptr;
  BMP_Header header;
  make_bmp_header(&header, static_cast<int>(width), static_cast<int>(height));
  store_bmp_header(header, bmp);
  for (unsigned int r = 0; r < height; r++) {
    const unsigned char* src = dc + kGameImageHeaderSize + uint64_t{height - 1 - r} * width * 2;
    unsigned char* dst = bmp + kBmpHeaderSize + r * row_size;
    for (unsigned int x = 0; x < width; x++) {
      rgb_from_555(read_be16(src + 2 * x), &dst[3 * x], &dst[3 * x + 1], &dst[3 * x + 2]);
    }
  }
  *bmp_size = static_cast<unsigned int>(total);
  return bmp;
}

bool insert_bmp_into_dc_data(unsigned char* bmp, unsigned int bmp_size, unsigned char* dc,
                        unsigned int dc_size) {
  BMP_Header h;
  if (!has_game_image_signature(dc, dc_size, kDc) || !read_bmp_for_insert(bmp, bmp_size, &h)) return false;
  if (h.biBitCount != 24) {
    std::fprintf(stderr, "Unsupported type of BMP. Must be 24 bits.\n");
    return false;
  }
  if (!bmp_check_pixel_data(h, bmp_size, 24)) return false;
  unsigned int width = 0, height = 0;
  if (!game_image_matches_bmp(dc, dc_size, kDc, h, &width, &height)) return false;
  MallocBuffer decoded;
  const unsigned char* rows = bmp_pixel_rows(bmp, bmp_size, h, 24, &decoded);
  if (!rows) return false;
  const uint64_t row_size = bmp_row_size(width, 24);
  for (unsigned int r = 0; r < height; r++) {
    const unsigned char* src = rows + r * row_size;
    unsigned char* dst = dc + kGameImageHeaderSize + uint64_t{height - 1 - r} * width * 2;
    for (unsigned int x = 0; x < width; x++) {
      write_be16(dst + 2 * x, rgb_to_555(src[3 * x], src[3 * x + 1], src[3 * x + 2]));
    }
  }
  return true;
}
