// Builders for BMP files and the game's image formats, written byte by byte from the published layouts so
// that tests do not check the converters against themselves. Header-only (the library links talvo_util only).
#ifndef TALVO_TESTS_SUPPORT_BMP_BUILDERS_H
#define TALVO_TESTS_SUPPORT_BMP_BUILDERS_H

#include <cstdint>
#include <vector>

namespace testsupport {

using ImageBytes = std::vector<unsigned char>;

// Appends v in `bytes` bytes, little- or big-endian.
inline void put(ImageBytes* b, uint32_t v, int bytes, bool big_endian) {
  for (int i = 0; i < bytes; i++) b->push_back(static_cast<unsigned char>(v >> 8 * (big_endian ? bytes - 1 - i : i)));
}

// A BMP file to build. pixels are listed top row first: 0xRRGGBB for 24 bits, palette indices otherwise.
// palette holds 0xRRGGBB entries; height is stored as given (negative: top-down).
struct BmpPicture {
  int width = 0, height = 0, bits = 24;
  std::vector<uint32_t> palette;
  std::vector<uint32_t> pixels;
  int64_t clr_used = -1;       // -1: palette.size()
  int64_t clr_important = -1;  // -1: palette.size()
  uint32_t info_size = 40;     // larger sizes pad the info header with zeros
};

inline ImageBytes build_bmp(const BmpPicture& p) {
  const uint32_t w = static_cast<uint32_t>(p.width < 0 ? -p.width : p.width);
  const uint32_t h = static_cast<uint32_t>(p.height < 0 ? -p.height : p.height);
  const uint32_t row = (w * p.bits + 31) / 32 * 4, off = 14 + p.info_size + 4 * static_cast<uint32_t>(p.palette.size());
  const uint32_t used = static_cast<uint32_t>(p.clr_used < 0 ? p.palette.size() : p.clr_used);
  const uint32_t important = static_cast<uint32_t>(p.clr_important < 0 ? p.palette.size() : p.clr_important);
  ImageBytes b{'B', 'M'};
  for (uint32_t v : {off + row * h, 0u, off, p.info_size, static_cast<uint32_t>(p.width), static_cast<uint32_t>(p.height)}) put(&b, v, 4, false);
  for (uint32_t v : {1u, static_cast<uint32_t>(p.bits)}) put(&b, v, 2, false);
  for (uint32_t v : {0u, row * h, 2834u, 2834u, used, important}) put(&b, v, 4, false);
  b.resize(14 + p.info_size, 0);
  for (uint32_t c : p.palette) put(&b, c & 0xFFFFFF, 4, false);
  for (uint32_t stored = 0; stored < h; stored++) {
    const uint32_t y = p.height < 0 ? stored : h - 1 - stored;
    ImageBytes r(row, 0);
    for (uint32_t x = 0; x < w; x++) {
      const uint32_t v = p.pixels.at(y * w + x);
      if (p.bits == 24) {
        for (int k = 0; k < 3; k++) r[3 * x + k] = static_cast<unsigned char>(v >> 8 * k);
      } else if (p.bits == 8) {
        r[x] = static_cast<unsigned char>(v);
      } else {
        r[x / 2] |= static_cast<unsigned char>(x % 2 == 0 ? (v & 15) << 4 : (v & 15));
      }
    }
    b.insert(b.end(), r.begin(), r.end());
  }
  return b;
}

// Game images: a signature, big-endian width and height, then palette and
// pixels, top row first. Palettes and DC pixels are 15-bit values.
inline ImageBytes build_paletted(const char* sig, int w, int h, const std::vector<uint16_t>& palette,
                                 const ImageBytes& pixel_bytes) {
  ImageBytes b{static_cast<unsigned char>(sig[0]), static_cast<unsigned char>(sig[1])};
  for (int v : {w, h}) put(&b, v, 2, true);
  for (uint16_t c : palette) put(&b, c, 2, true);
  b.insert(b.end(), pixel_bytes.begin(), pixel_bytes.end());
  return b;
}

inline ImageBytes build_dc(int w, int h, const std::vector<uint16_t>& pixels) { return build_paletted("DC", w, h, pixels, {}); }

// 256-entry palette PP image, one index byte per pixel.
inline ImageBytes build_pp(int w, int h, const std::vector<uint16_t>& palette256, const ImageBytes& idx) {
  return build_paletted("PP", w, h, palette256, idx);
}

// 16-entry palette pp image; idx holds one index per pixel, packed here two
// to a byte with the left pixel in the high nibble.
inline ImageBytes build_pp4(int w, int h, const std::vector<uint16_t>& palette16, const ImageBytes& idx) {
  ImageBytes packed;
  for (size_t i = 0; i + 1 < idx.size(); i += 2) packed.push_back(static_cast<unsigned char>((idx[i] << 4) | (idx[i + 1] & 15)));
  return build_paletted("pp", w, h, palette16, packed);
}

// The 0xRRGGBB colour a 15-bit game colour reads back as.
inline uint32_t rgb_of_555(uint16_t v) {
  const uint32_t r = (v & 31) * 8, g = ((v >> 5) & 31) * 8, b = ((v >> 10) & 31) * 8;
  return (r << 16) | (g << 8) | b;
}

}  // namespace testsupport

#endif
