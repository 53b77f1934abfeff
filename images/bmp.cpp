#include "images/bmp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "util/byte_order.h"

using namespace talvo;

namespace {

const int32_t kPelsPerMeter = 2834;

void make_header(BMP_Header* h, int width, int height, unsigned int bits, int colours) {
  uint64_t image_size = bmp_row_size(static_cast<uint64_t>(width), bits) * static_cast<uint64_t>(height);
  uint32_t offset = kBmpHeaderSize + 4u * static_cast<uint32_t>(colours);
  h->bfType = kBmpSignature;
  h->bfSize = static_cast<uint32_t>(offset + image_size);
  h->bfReserved1 = 0;
  h->bfReserved2 = 0;
  h->bfOffBits = offset;
  h->biSize = 40;
  h->biWidth = width;
  h->biHeight = height;
  h->biPlanes = 1;
  h->biBitCount = static_cast<uint16_t>(bits);
  h->biCompression = 0;
  h->biSizeImage = static_cast<uint32_t>(image_size);
  h->biXPelsPerMeter = kPelsPerMeter;
  h->biYPelsPerMeter = kPelsPerMeter;
  h->biClrUsed = static_cast<uint32_t>(colours);
  h->biClrImportant = static_cast<uint32_t>(colours);
}

uint64_t magnitude(int32_t v) {
  return v < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(v)) : static_cast<uint64_t>(v);
}

}  // namespace

void make_bmp_header(BMP_Header* header, int width, int height) {
  make_header(header, width, height, 24, 0);
}

void make_bmp8_header(BMP_Header* header, int width, int height, int colours) {
  make_header(header, width, height, 8, colours);
}

void make_bmp4_header(BMP_Header* header, int width, int height, int colours) {
  make_header(header, width, height, 4, colours);
}

uint64_t bmp_row_size(uint64_t width, unsigned int bits) {
  return (width * bits + 31) / 32 * 4;
}

void store_bmp_header(const BMP_Header& h, unsigned char* out) {
  write_le16(out + 0, h.bfType);
  write_le32(out + 2, h.bfSize);
  write_le16(out + 6, h.bfReserved1);
  write_le16(out + 8, h.bfReserved2);
  write_le32(out + 10, h.bfOffBits);
  write_le32(out + 14, h.biSize);
  write_le32(out + 18, static_cast<uint32_t>(h.biWidth));
  write_le32(out + 22, static_cast<uint32_t>(h.biHeight));
  write_le16(out + 26, h.biPlanes);
  write_le16(out + 28, h.biBitCount);
  write_le32(out + 30, h.biCompression);
  write_le32(out + 34, h.biSizeImage);
  write_le32(out + 38, static_cast<uint32_t>(h.biXPelsPerMeter));
  write_le32(out + 42, static_cast<uint32_t>(h.biYPelsPerMeter));
  write_le32(out + 46, h.biClrUsed);
  write_le32(out + 50, h.biClrImportant);
}

bool load_bmp_header(const unsigned char* in, uint64_t size, BMP_Header* h) {
  if (size < kBmpHeaderSize) return false;
  h->bfType = read_le16(in + 0);
  h->bfSize = read_le32(in + 2);
  h->bfReserved1 = read_le16(in + 6);
  h->bfReserved2 = read_le16(in + 8);
  h->bfOffBits = read_le32(in + 10);
  h->biSize = read_le32(in + 14);
  h->biWidth = static_cast<int32_t>(read_le32(in + 18));
  h->biHeight = static_cast<int32_t>(read_le32(in + 22));
  h->biPlanes = read_le16(in + 26);
  h->biBitCount = read_le16(in + 28);
  h->biCompression = read_le32(in + 30);
  h->biSizeImage = read_le32(in + 34);
  h->biXPelsPerMeter = static_cast<int32_t>(read_le32(in + 38));
  h->biYPelsPerMeter = static_cast<int32_t>(read_le32(in + 42));
  h->biClrUsed = read_le32(in + 46);
  h->biClrImportant = read_le32(in + 50);
  return true;
}

void rgb_from_555(unsigned short value, unsigned char* c1, unsigned char* c2, unsigned char* c3) {
  *c1 = static_cast<unsigned char>(((value >> 10) & 31) * 8);
  *c2 = static_cast<unsigned char>(((value >> 5) & 31) * 8);
  *c3 = static_cast<unsigned char>((value & 31) * 8);
}

unsigned short rgb_to_555(unsigned char c1, unsigned char c2, unsigned char c3) {
  return static_cast<unsigned short>(0x8000 | ((c1 >> 3) << 10) | ((c2 >> 3) << 5) | (c3 >> 3));
}

void palette_to_bmp(const unsigned char* game_palette, int count, unsigned char* bmp_palette) {
  for (int i = 0; i < count; i++) {
    unsigned char* e = bmp_palette + 4 * i;
    rgb_from_555(read_be16(game_palette + 2 * i), &e[0], &e[1], &e[2]);
    e[3] = 0;
  }
}

int store_game_palette(const unsigned char* bmp_palette, int count, unsigned char* game_palette,
                       bool fix_transparent) {
  const uint16_t old0 = read_be16(game_palette);
  int t = -1;
  bool zero_is_candidate = false;
  for (int j = 0; j < count; j++) {
    const unsigned char* e = bmp_palette + 4 * j;
    uint16_t v = rgb_to_555(e[0], e[1], e[2]);
    write_be16(game_palette + 2 * j, v);
    if (!fix_transparent || (v & 0x7FFF) != (old0 & 0x7FFF)) continue;
    if (j == 0) zero_is_candidate = true;
    if (t < 0 || (v & 0x8000) == (old0 & 0x8000)) t = j;
  }
  if (!fix_transparent) return 0;
  // When entry 0 still holds the transparent colour nothing moved, even if
  // the palette has other entries of the same colour: swapping with one of
  // them would make the transparent pixels opaque.
  if (zero_is_candidate) t = 0;
  if (t < 0) {
    std::fprintf(stderr,
                 "Warning: cannot fix transparent, because old transparent colour (%04x) was not "
                 "found in new file. %04x\n",
                 old0, read_be16(game_palette));
    return 0;
  }
  if (t == 0) {
    std::printf(
        "Info: transparency fix wasn't needed because estimated transparent colour is already: "
        "%04X\n",
        old0);
    return 0;
  }
  unsigned char tmp[2];
  std::memcpy(tmp, game_palette, 2);
  std::memcpy(game_palette, game_palette + 2 * t, 2);
  std::memcpy(game_palette + 2 * t, tmp, 2);
  std::printf("Info: transparency fixed to colour %04x\n", read_be16(game_palette));
  return t;
}

bool read_bmp_for_insert(const unsigned char* bmp, unsigned int bmp_size, BMP_Header* header) {
  // Only the fields of the 40-byte info header are used; the larger V4/V5
  // headers that some editors write extend it and are fine.
  if (!load_bmp_header(bmp, bmp_size, header) || header->bfType != kBmpSignature ||
      header->biSize < 40) {
    std::fprintf(stderr, "Invalid BMP file.\n");
    return false;
  }
  return true;
}

namespace {

const uint32_t kBiRgb = 0;
const uint32_t kBiRle8 = 1;
const uint32_t kBiRle4 = 2;

bool is_rle(const BMP_Header& h, unsigned int bits) {
  return (bits == 8 && h.biCompression == kBiRle8) || (bits == 4 && h.biCompression == kBiRle4);
}

// Expands run-length coded pixels (RLE8 or RLE4) into plain bottom-up rows.
// Pixels that the stream places outside the picture are dropped, and the
// stream is never read past end.
void expand_rle(const unsigned char* p, const unsigned char* end, unsigned int bits,
                uint64_t width, uint64_t height, uint64_t row_size, unsigned char* out) {
  uint64_t x = 0, y = 0;
  auto put = [&](unsigned int value) {
    if (x < width && y < height) {
      unsigned char* row = out + y * row_size;
      if (bits == 8) {
        row[x] = static_cast<unsigned char>(value);
      } else if (x % 2 == 0) {
        row[x / 2] = static_cast<unsigned char>((row[x / 2] & 0x0F) | ((value & 0x0F) << 4));
      } else {
        row[x / 2] = static_cast<unsigned char>((row[x / 2] & 0xF0) | (value & 0x0F));
      }
    }
    x++;
  };
  while (end - p >= 2 && y < height) {
    const unsigned int count = p[0];
    const unsigned int value = p[1];
    p += 2;
    if (count > 0) {
      for (unsigned int i = 0; i < count; i++) {
        put(bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 0x0F));
      }
    } else if (value == 0) {
      x = 0;
      y++;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (end - p < 2) return;
      x += p[0];
      y += p[1];
      p += 2;
    } else {
      // An absolute run of `value` pixels, padded to a whole 16-bit word.
      const uint64_t bytes = bits == 8 ? value : (value + 1) / 2;
      const uint64_t padded = (bytes + 1) & ~uint64_t{1};
      if (static_cast<uint64_t>(end - p) < bytes) return;
      for (unsigned int i = 0; i < value; i++) {
        put(bits == 8 ? p[i] : (i % 2 == 0 ? p[i / 2] >> 4 : p[i / 2] & 0x0F));
      }
      p += std::min<uint64_t>(padded, static_cast<uint64_t>(end - p));
    }
  }
}

}  // namespace

bool bmp_check_pixel_data(const BMP_Header& h, unsigned int bmp_size, unsigned int bits) {
  if (h.biCompression != kBiRgb && !is_rle(h, bits)) {
    std::fprintf(stderr, "Unsupported type of BMP: compressed pixel data (biCompression = %u).\n",
                 h.biCompression);
    return false;
  }
  const uint64_t rows = bmp_row_size(magnitude(h.biWidth), bits) * magnitude(h.biHeight);
  bool fits = uint64_t{h.bfOffBits} + h.biSizeImage <= bmp_size;
  if (h.biCompression == kBiRgb) fits = fits && uint64_t{h.bfOffBits} + rows <= bmp_size;
  if (!fits) {
    std::fprintf(stderr, "Not enough capacity (BMP).\n");
    return false;
  }
  return true;
}

const unsigned char* bmp_pixel_rows(const unsigned char* bmp, unsigned int bmp_size,
                                    const BMP_Header& h, unsigned int bits,
                                    talvo::MallocBuffer* decoded) {
  if (!is_rle(h, bits)) return bmp + h.bfOffBits;
  const uint64_t width = magnitude(h.biWidth);
  const uint64_t height = magnitude(h.biHeight);
  const uint64_t row_size = bmp_row_size(width, bits);
  *decoded = talvo::malloc_buffer(row_size * height);
  if (!*decoded) {
    std::fprintf(stderr, "Memory allocation error: %llu\n",
                 static_cast<unsigned long long>(row_size * height));
    return nullptr;
  }
  std::memset(decoded->get(), 0, row_size * height);
  expand_rle(bmp + h.bfOffBits, bmp + bmp_size, bits, width, height, row_size, decoded->get());
  return decoded->get();
}

uint64_t bmp_palette_offset(const BMP_Header& header) {
  return 14 + uint64_t{header.biSize};
}

int bmp_palette_entries(const BMP_Header& h, unsigned int full) {
  if (h.biClrUsed == full) {
    return h.biClrImportant == 0 || h.biClrImportant == full ? static_cast<int>(full) : -1;
  }
  if (h.biClrImportant == 0) {
    // biClrUsed 0 means a full palette; a smaller count means the file holds
    // only that many entries, and reading further would take pixel bytes.
    return h.biClrUsed == 0 || h.biClrUsed > full ? static_cast<int>(full) : static_cast<int>(h.biClrUsed);
  }
  return h.biClrImportant == h.biClrUsed && h.biClrUsed < full ? static_cast<int>(h.biClrUsed) : -1;
}

bool load_bmp_palette(const unsigned char* bmp, unsigned int bmp_size, const BMP_Header& header,
                      unsigned int full, unsigned char* palette) {
  const int entries = bmp_palette_entries(header, full);
  const uint64_t offset = bmp_palette_offset(header);
  if (entries < 0 || offset + 4 * static_cast<uint64_t>(entries) > bmp_size) return false;
  std::memset(palette, 0, 4 * full);
  std::memcpy(palette, bmp + offset, 4 * static_cast<size_t>(entries));
  return true;
}

bool read_palette_bmp_for_insert(const unsigned char* bmp, unsigned int bmp_size, unsigned int bits,
                                 unsigned int full, const char* wrong_type, BMP_Header* h,
                                 unsigned char* palette) {
  if (!read_bmp_for_insert(bmp, bmp_size, h)) return false;
  if (h->biBitCount != bits || bmp_palette_entries(*h, full) < 0) {
    std::fputs(wrong_type, stderr);
    return false;
  }
  if (!bmp_check_pixel_data(*h, bmp_size, bits)) return false;
  if (!load_bmp_palette(bmp, bmp_size, *h, full, palette)) {
    std::fprintf(stderr, "Not enough capacity (BMP).\n");
    return false;
  }
  return true;
}
