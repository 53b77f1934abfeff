#include "images/dc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "images/bmp.h"
#include "util/byte_order.h"

using namespace talvo;

namespace {

const unsigned int kDcHeaderSize = 6;

bool has_dc_signature(const unsigned char* dc, unsigned int dc_size) {
  if (dc_size < 2 || std::memcmp(dc, "DC", 2) != 0) {
    std::fprintf(stderr, "Error: no DC signature.\n");
    return false;
  }
  return true;
}

// The header's width and height when the whole image lies inside dc_size.
bool dc_fits(const unsigned char* dc, unsigned int dc_size, unsigned int* width, unsigned int* height) {
  uint64_t needed = kDcHeaderSize;
  if (dc_size >= kDcHeaderSize) {
    *width = read_be16(dc + 2);
    *height = read_be16(dc + 4);
    needed = dc_needed_size(*width, *height);
  }
  if (needed > dc_size) {
    std::fprintf(stderr, "Not enough capacity: %llu > %u\n", static_cast<unsigned long long>(needed),
                 dc_size);
    return false;
  }
  return true;
}

}  // namespace

uint64_t dc_needed_size(unsigned int width, unsigned int height) {
  return uint64_t{width} * height * 2 + kDcHeaderSize;
}

unsigned char* dc_to_bmp(unsigned char* dc, unsigned int dc_size, unsigned int* bmp_size) {
  unsigned int width = 0, height = 0;
  if (!has_dc_signature(dc, dc_size) || !dc_fits(dc, dc_size, &width, &height)) return nullptr;
  const uint64_t row_size = bmp_row_size(width, 24);
  const uint64_t total = kBmpHeaderSize + row_size * height;
  unsigned char* bmp = total <= UINT32_MAX ? static_cast<unsigned char*>(std::calloc(total, 1)) : nullptr;
  if (!bmp) {
    std::fprintf(stderr, "Memory allocation failure (width = %d, height = %d)\n", width, height);
    return nullptr;
  }
  BMP_Header header;
  make_bmp_header(&header, static_cast<int>(width), static_cast<int>(height));
  store_bmp_header(header, bmp);
  for (unsigned int r = 0; r < height; r++) {
    const unsigned char* src = dc + kDcHeaderSize + uint64_t{height - 1 - r} * width * 2;
    unsigned char* dst = bmp + kBmpHeaderSize + r * row_size;
    for (unsigned int x = 0; x < width; x++) {
      rgb_from_555(read_be16(src + 2 * x), &dst[3 * x], &dst[3 * x + 1], &dst[3 * x + 2]);
    }
  }
  *bmp_size = static_cast<unsigned int>(total);
  return bmp;
}

bool insert_bmp_into_dc(unsigned char* bmp, unsigned int bmp_size, unsigned char* dc,
                        unsigned int dc_size) {
  BMP_Header h;
  if (!has_dc_signature(dc, dc_size) || !read_bmp_for_insert(bmp, bmp_size, &h)) return false;
  if (h.biBitCount != 24) {
    std::fprintf(stderr, "Unsupported type of BMP. Must be 24 bits.\n");
    return false;
  }
  if (!bmp_check_pixel_data(h, bmp_size, 24)) return false;
  if (dc_size < kDcHeaderSize) {
    unsigned int w, hh;
    return dc_fits(dc, dc_size, &w, &hh);
  }
  const unsigned int width = read_be16(dc + 2);
  const unsigned int height = read_be16(dc + 4);
  if (h.biWidth != static_cast<int32_t>(width) || h.biHeight != static_cast<int32_t>(height)) {
    std::fprintf(stderr, "Error: width/height of BMP and DC don't match: (%d, %d) != (%d, %d)\n",
                 h.biWidth, h.biHeight, width, height);
    return false;
  }
  unsigned int w, hh;
  if (!dc_fits(dc, dc_size, &w, &hh)) return false;
  MallocBuffer decoded;
  const unsigned char* rows = bmp_pixel_rows(bmp, bmp_size, h, 24, &decoded);
  if (!rows) return false;
  const uint64_t row_size = bmp_row_size(width, 24);
  for (unsigned int r = 0; r < height; r++) {
    const unsigned char* src = rows + r * row_size;
    unsigned char* dst = dc + kDcHeaderSize + uint64_t{height - 1 - r} * width * 2;
    for (unsigned int x = 0; x < width; x++) {
      write_be16(dst + 2 * x, rgb_to_555(src[3 * x], src[3 * x + 1], src[3 * x + 2]));
    }
  }
  return true;
}
