// Helpers shared by the image tests: malloc'd results, LZSS and BMP conversions, mato containers.
#ifndef TALVO_TESTS_IMAGES_IMAGE_TEST_HELPERS_H
#define TALVO_TESTS_IMAGES_IMAGE_TEST_HELPERS_H

#include <algorithm>
#include <cstdlib>
#include <string>

#include "images/dc.h"
#include "images/lzss.h"
#include "images/pp.h"
#include "images/pp4.h"
#include "tests/support/bmp_builders.h"
#include "tests/support/capture.h"

namespace imagetest {

using testsupport::captured;
using testsupport::ImageBytes;
using testsupport::Output;

// Takes a malloc'd result into a vector (empty for null).
inline ImageBytes take(unsigned char* data, size_t size) {
  ImageBytes b(data, data ? data + size : data);
  std::free(data);
  return b;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The LZSS file of data (empty when refused).
inline ImageBytes lzss_pack(const ImageBytes& data) {
  unsigned int size = 0;
  Output o;
  unsigned char* out = captured(&o, [&] { return compress_lzss_data(data.data(), static_cast<unsigned>(data.size()), &size); });
  return take(out, size);
}

// Decodes an LZSS file from an exact-size copy (the sanitizer sees a read past its end); *ok tells a refusal
// from empty output, *err receives stderr.
inline ImageBytes lzss_unpack(const ImageBytes& file, bool* ok = nullptr, std::string* err = nullptr) {
  const ImageBytes copy = file;
  unsigned int size = 0;
  Output o;
  unsigned char* out = captured(&o, [&] { return uncompress_lzss_data(copy.data(), static_cast<unsigned>(copy.size()), &size); });
  if (err) *err = o.err;
  if (ok) *ok = out != nullptr;
  return take(out, size);
}

// The BMP file of a DC, PP or pp image, chosen by its signature; empty when refused.
inline ImageBytes bmp_of(ImageBytes image) {
  unsigned int size = 0;
  const auto convert = image[0] == 'D' ? dc_to_bmp : image[0] == 'P' ? pp_to_bmp : pp4_to_bmp;
  unsigned char* bmp = convert(image.data(), static_cast<unsigned>(image.size()), &size);
  return take(bmp, size);
}

// A BMP file of a palette picture (bits 4 or 8) with 15-bit game colours.
inline ImageBytes bmp_of(int w, int h, const std::vector<uint16_t>& palette, const ImageBytes& idx, int bits) {
  testsupport::BmpPicture picture{w, h, bits, {}, std::vector<uint32_t>(idx.begin(), idx.end())};
  for (uint16_t c : palette) picture.palette.push_back(testsupport::rgb_of_555(c));
  return testsupport::build_bmp(picture);
}

// A mato container holding the images behind its table, the whole padded to pad_to; *offsets receives their
// container offsets.
inline ImageBytes build_mato(const std::vector<ImageBytes>& images, std::vector<uint32_t>* offsets = nullptr,
                             bool little_endian = false, size_t pad_to = 0) {
  ImageBytes b = {'m', 'a', 't', 'o'}, body;
  std::vector<uint32_t> at;
  for (const ImageBytes& img : images) {
    at.push_back(static_cast<uint32_t>(16 + 4 * images.size() + body.size()));
    body.insert(body.end(), img.begin(), img.end());
  }
  const uint32_t size = static_cast<uint32_t>(std::max(16 + 4 * images.size() + body.size(), pad_to));
  for (uint32_t v : {size, static_cast<uint32_t>(images.size()), 0u}) testsupport::put(&b, v, 4, !little_endian);
  for (uint32_t off : at) testsupport::put(&b, off - 8, 4, !little_endian);
  b.insert(b.end(), body.begin(), body.end());
  b.resize(size, 0);
  if (offsets) *offsets = at;
  return b;
}

// TALVO_FUZZ_SEED in the environment varies the fixed seeds of the fuzz loops.
inline uint32_t fuzz_seed(uint32_t fixed) {
  const char* env = std::getenv("TALVO_FUZZ_SEED");
  return env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 10)) ^ fixed : fixed;
}

}  // namespace imagetest

#endif
