// Test builders for BMP files and the game's image formats, written byte by
// byte from the published layouts so that tests do not check the converters
// against themselves. Header-only: the support library links only talvo_util.
#ifndef TALVO_TESTS_SUPPORT_BMP_BUILDERS_H
#define TALVO_TESTS_SUPPORT_BMP_BUILDERS_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using ImageBytes = std::vector<unsigned char>;

inline void put_le16(ImageBytes* b, uint32_t v) {
  b->push_back(static_cast<unsigned char>(v));
  b->push_back(static_cast<unsigned char>(v >> 8));
}
inline void put_le32(ImageBytes* b, uint32_t v) {
  put_le16(b, v & 0xFFFF);
  put_le16(b, v >> 16);
}
inline void put_be16(ImageBytes* b, uint32_t v) {
  b->push_back(static_cast<unsigned char>(v >> 8));
  b->push_back(static_cast<unsigned char>(v));
}
inline void put_be32(ImageBytes* b, uint32_t v) {
  put_be16(b, v >> 16);
  put_be16(b, v & 0xFFFF);
}

// A BMP file to build. pixels are listed top row first: 0xRRGGBB for 24 bits,
// palette indices otherwise. palette holds 0xRRGGBB entries.
struct BmpSpec {
  int width = 0;
  int height = 0;  // stored as given; negative means top-down
  int bits = 24;
  std::vector<uint32_t> palette;
  std::vector<uint32_t> pixels;
  int64_t clr_used = -1;       // -1: palette.size()
  int64_t clr_important = -1;  // -1: palette.size()
  uint32_t info_size = 40;     // larger sizes pad the info header with zeros
};

inline ImageBytes build_bmp(const BmpSpec& s) {
  const uint32_t w = static_cast<uint32_t>(s.width < 0 ? -s.width : s.width);
  const uint32_t h = static_cast<uint32_t>(s.height < 0 ? -s.height : s.height);
  const uint32_t row = (w * s.bits + 31) / 32 * 4;
  const uint32_t pal = static_cast<uint32_t>(s.palette.size()) * 4;
  const uint32_t off = 14 + s.info_size + pal;
  ImageBytes b;
  b.push_back('B');
  b.push_back('M');
  put_le32(&b, off + row * h);
  put_le32(&b, 0);
  put_le32(&b, off);
  put_le32(&b, s.info_size);
  put_le32(&b, static_cast<uint32_t>(s.width));
  put_le32(&b, static_cast<uint32_t>(s.height));
  put_le16(&b, 1);
  put_le16(&b, static_cast<uint32_t>(s.bits));
  put_le32(&b, 0);
  put_le32(&b, row * h);
  put_le32(&b, 2834);
  put_le32(&b, 2834);
  put_le32(&b, static_cast<uint32_t>(s.clr_used < 0 ? s.palette.size() : s.clr_used));
  put_le32(&b, static_cast<uint32_t>(s.clr_important < 0 ? s.palette.size() : s.clr_important));
  b.resize(14 + s.info_size, 0);
  for (uint32_t c : s.palette) {
    b.push_back(static_cast<unsigned char>(c));
    b.push_back(static_cast<unsigned char>(c >> 8));
    b.push_back(static_cast<unsigned char>(c >> 16));
    b.push_back(0);
  }
  for (uint32_t stored = 0; stored < h; stored++) {
    const uint32_t y = s.height < 0 ? stored : h - 1 - stored;
    ImageBytes r(row, 0);
    for (uint32_t x = 0; x < w; x++) {
      const uint32_t v = s.pixels.at(y * w + x);
      if (s.bits == 24) {
        r[3 * x] = static_cast<unsigned char>(v);
        r[3 * x + 1] = static_cast<unsigned char>(v >> 8);
        r[3 * x + 2] = static_cast<unsigned char>(v >> 16);
      } else if (s.bits == 8) {
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
inline ImageBytes build_dc(int w, int h, const std::vector<uint16_t>& pixels) {
  ImageBytes b{'D', 'C'};
  put_be16(&b, w);
  put_be16(&b, h);
  for (uint16_t p : pixels) put_be16(&b, p);
  return b;
}

inline ImageBytes build_paletted(const char* sig, int w, int h, const std::vector<uint16_t>& palette,
                                 const ImageBytes& pixel_bytes) {
  ImageBytes b{static_cast<unsigned char>(sig[0]), static_cast<unsigned char>(sig[1])};
  put_be16(&b, w);
  put_be16(&b, h);
  for (uint16_t c : palette) put_be16(&b, c);
  b.insert(b.end(), pixel_bytes.begin(), pixel_bytes.end());
  return b;
}

// 256-entry palette PP image, one index byte per pixel.
inline ImageBytes build_pp(int w, int h, const std::vector<uint16_t>& palette256, const ImageBytes& idx) {
  return build_paletted("PP", w, h, palette256, idx);
}

// 16-entry palette pp image; idx holds one index per pixel, packed here two
// to a byte with the left pixel in the high nibble.
inline ImageBytes build_pp4(int w, int h, const std::vector<uint16_t>& palette16, const ImageBytes& idx) {
  ImageBytes packed;
  for (size_t i = 0; i + 1 < idx.size(); i += 2) {
    packed.push_back(static_cast<unsigned char>((idx[i] << 4) | (idx[i + 1] & 15)));
  }
  return build_paletted("pp", w, h, palette16, packed);
}

// The 8-bit channel value a 5-bit game channel reads back as.
inline uint32_t rgb_of_555(uint16_t v) {
  const uint32_t r = (v & 31) * 8, g = ((v >> 5) & 31) * 8, b = ((v >> 10) & 31) * 8;
  return (r << 16) | (g << 8) | b;
}

}  // namespace testsupport

#endif
