#include "images/pp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "images/bmp.h"
#include "images/game_image.h"
#include "util/byte_order.h"

using namespace talvo;

namespace {

const unsigned int kPpPaletteOffset = 6;
const unsigned int kPpPixelOffset = 518;
const unsigned int kColours = 256;

const GameImageLayout kPp = {"PP", kPpPixelOffset, 8};

unsigned int rgb_of(const unsigned char* entry) {
  return (unsigned{entry[2]} << 16) | (unsigned{entry[1]} << 8) | entry[0];
}

int channel_distance(const unsigned char* a, const unsigned char* b) {
  return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

}  // namespace

uint64_t pp_needed_size(unsigned int width, unsigned int height) {
  return game_image_size(kPp, width, height);
}

unsigned char* pp_to_bmp(unsigned char* pp, unsigned int pp_size, unsigned int* bmp_size) {
  unsigned int width = 0, height = 0;
  if (!read_game_image_header(pp, pp_size, kPp, &width, &height)) return nullptr;
  return palette_image_to_bmp(pp, kPp, kColours, width, height, bmp_size);
}

void translate_to_new_palette(const unsigned char* stored, unsigned char* palette,
                              const unsigned char* rows, unsigned int width, unsigned int height,
                              uint64_t row_size, unsigned char* map) {
  unsigned char target[4 * kColours];
  palette_to_bmp(stored, kColours, target);
  for (unsigned int i = 0; i < kColours; i++) map[i] = static_cast<unsigned char>(i);
  if (std::memcmp(target, palette, sizeof target) == 0) return;
  // Each working entry is searched once; the warnings still name every
  // pixel whose colour the stored palette lacks, in file order.
  enum { kUnknown, kFound, kMissing };
  unsigned char state[kColours] = {};
  for (unsigned int r = 0; r < height; r++) {
    for (unsigned int x = 0; x < width; x++) {
      const unsigned char i = rows[r * row_size + x];
      const unsigned char* c = palette + 4 * i;
      if (state[i] == kUnknown) {
        state[i] = kMissing;
        for (unsigned int d = 0; d < kColours && state[i] == kMissing; d++) {
          const unsigned char* e = target + 4 * d;
          if ((e[0] >> 3) == (c[0] >> 3) && (e[1] >> 3) == (c[1] >> 3) && (e[2] >> 3) == (c[2] >> 3)) {
            state[i] = kFound;
            map[i] = static_cast<unsigned char>(d);
          }
        }
        int best = 0x7FFFFFFF;
        for (unsigned int d = 0; d < kColours && state[i] == kMissing; d++) {
          const int distance = channel_distance(c, target + 4 * d);
          if (distance < best) {
            best = distance;
            map[i] = static_cast<unsigned char>(d);
          }
        }
      }
      if (state[i] == kMissing) {
        std::fprintf(stderr,
                     "BIG Warning: Couldn't find colour index: %06X. This image will be corrupted "
                     "*cough*\n",
                     rgb_of(c));
        std::fprintf(stderr, "Using closer color instead: %06X\n", rgb_of(target + 4 * map[i]));
      }
    }
  }
  std::memcpy(palette, target, sizeof target);
}

bool insert_bmp_into_pp_data(unsigned char* bmp, unsigned int bmp_size, unsigned char* pp,
                        unsigned int pp_size, bool fix_transparent, bool fix_palette) {
  BMP_Header h;
  unsigned char palette[4 * kColours];
  if (!has_game_image_signature(pp, pp_size, kPp) ||
      !read_palette_bmp_for_insert(bmp, bmp_size, 8, kColours,
                                   "Unsupported type of BMP. It must be 8 bits with 256 colours palette.\n", &h,
                                   palette)) {
    return false;
  }
  unsigned int width = 0, height = 0;
  if (!game_image_matches_bmp(pp, pp_size, kPp, h, &width, &height)) return false;

  const uint64_t row_size = bmp_row_size(width, 8);
  MallocBuffer decoded;
  const unsigned char* rows = bmp_pixel_rows(bmp, bmp_size, h, 8, &decoded);
  if (!rows) return false;
  unsigned char map[kColours];
  for (unsigned int i = 0; i < kColours; i++) map[i] = static_cast<unsigned char>(i);
  if (fix_palette) translate_to_new_palette(pp + kPpPaletteOffset, palette, rows, width, height, row_size, map);
  const int t = store_game_palette(palette, kColours, pp + kPpPaletteOffset, fix_transparent);
  if (t > 0) {
    for (unsigned int i = 0; i < kColours; i++) {
      if (map[i] == 0) map[i] = static_cast<unsigned char>(t);
      else if (map[i] == t) map[i] = 0;
    }
  }
  for (unsigned int r = 0; r < height; r++) {
    const unsigned char* src = rows + r * row_size;
    unsigned char* dst = pp + kPpPixelOffset + uint64_t{height - 1 - r} * width;
    for (unsigned int x = 0; x < width; x++) dst[x] = map[src[x]];
  }
  return true;
}
