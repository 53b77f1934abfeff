// Random and mutated BMP files (plain and run-length coded), DC, PP and pp images and mato containers through
// every buffer conversion: nothing may crash or touch memory outside its buffer (the sanitizer build checks);
// results are ignored. Loops run a fixed count, the same inputs on every machine and build; TALVO_FUZZ_SEED
// explores other inputs.
#include <gtest/gtest.h>

#include <cstdlib>

#include "images/image_operations.h"
#include "images/mato.h"
#include "tests/images/image_test_helpers.h"
#include "tests/support/image_like_data.h"
#include "tests/support/test_files.h"

using namespace imagetest;
using testsupport::TestRandom;

namespace {

const uint32_t kEdges[] = {0, 1, 2, 6, 16, 38, 40, 54, 118, 256, 400, 518, 1078, 0x7FFF, 0xFFFF,
                           0x10000, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};

// Flips bits, overwrites a field with an edge value in either byte order, or cuts short; mostly in headers.
ImageBytes mutate(ImageBytes b, TestRandom* r) {
  for (int s = 0, steps = 1 + static_cast<int>(r->below(4)); s < steps && !b.empty(); s++) {
    const size_t at = r->below(static_cast<uint32_t>(r->below(2) ? std::min<size_t>(b.size(), 80) : b.size()));
    const uint32_t v = kEdges[r->below(sizeof kEdges / sizeof kEdges[0])];
    switch (r->below(3)) {
      case 0: b[at] ^= static_cast<unsigned char>(1u << r->below(8)); break;
      case 1:
        for (size_t k = 0; k < 4 && at + k < b.size(); k++) {
          b[at + k] = static_cast<unsigned char>(r->below(2) ? v >> (8 * k) : v >> (24 - 8 * k));
        }
        break;
      default: b.resize(r->below(static_cast<uint32_t>(b.size()) + 1)); break;
    }
  }
  return b;
}

}  // namespace

// About two seconds in the sanitizer build; one round in six also takes a mato container.
TEST(ImageFuzz, MutatedImagesBmpFilesAndMatoContainersThroughEveryConversion) {
  std::vector<uint16_t> px(60), pal(256);
  ImageBytes idx(60);
  for (size_t i = 0; i < 256; i++) pal[i] = static_cast<uint16_t>(0x8000 | i * 97);
  for (size_t i = 0; i < 60; i++) px[i] = static_cast<uint16_t>(0x8000 | i * 331), idx[i] = static_cast<unsigned char>(i % 16);
  const std::vector<ImageBytes> images = {testsupport::build_dc(12, 5, px), testsupport::build_pp(12, 5, pal, idx),
      testsupport::build_pp4(12, 5, std::vector<uint16_t>(pal.begin(), pal.begin() + 16), idx)};
  std::vector<ImageBytes> bmps = {bmp_of(images[0]), bmp_of(images[1]), bmp_of(images[2])};
  // The palette pictures again with their rows as runs of one byte (RLE8, RLE4).
  for (int bits : {8, 4}) {
    const ImageBytes& bmp = bmps[bits == 8 ? 1 : 2];
    const size_t off = bmp[10] | bmp[11] << 8, row = (12 * bits + 31) / 32 * 4;
    ImageBytes rle(bmp.begin(), bmp.begin() + static_cast<long>(off));
    rle[30] = bits == 8 ? 1 : 2;
    for (size_t y = 0; y < 5; y++) {
      for (size_t x = 0; x < 12u * bits / 8; x++) rle.insert(rle.end(), {static_cast<unsigned char>(8 / bits), bmp[off + y * row + x]});
      rle.insert(rle.end(), {0, 0});
    }
    bmps.push_back(rle);
  }
  const ImageBytes mato = build_mato(images);
  const std::string prefix = testsupport::make_scratch_dir("mato_fuzz") + "/F";
  TestRandom r(fuzz_seed(20261206));
  Output o;
  // Copied vectors hold exactly their size: the sanitizer sees a single byte past them.
  for (int i = 0; i < 20000; i++) {
    const ImageBytes image = r.below(3) ? mutate(images[r.below(3)], &r) : images[r.below(3)];
    const ImageBytes bmp = r.below(4) ? mutate(bmps[r.below(5)], &r) : testsupport::random_bytes(r.below(200), r.next());
    captured(&o, [&] {
      unsigned int size = 0;
      for (auto convert : {dc_to_bmp, pp_to_bmp, pp4_to_bmp}) {
        ImageBytes in = image;
        std::free(convert(in.data(), static_cast<unsigned>(in.size()), &size));
      }
      ImageBytes b1 = bmp, b2 = bmp, b3 = bmp, t1 = image, t2 = image, t3 = image;
      insert_bmp_into_dc_data(b1.data(), static_cast<unsigned>(b1.size()), t1.data(), static_cast<unsigned>(t1.size()));
      insert_bmp_into_pp_data(b2.data(), static_cast<unsigned>(b2.size()), t2.data(), static_cast<unsigned>(t2.size()), r.below(2), r.below(2));
      insert_bmp_into_pp4_data(b3.data(), static_cast<unsigned>(b3.size()), t3.data(), static_cast<unsigned>(t3.size()), r.below(2));
      if (i % 6) return 0;
      ImageBytes m1 = mutate(mato, &r), m2 = m1;
      extract_mato_data(m1.data(), static_cast<unsigned>(m1.size()), prefix.c_str(), r.below(2), host_bmp_writer(nullptr));
      return insert_mato_data(m2.data(), static_cast<unsigned>(m2.size()), prefix.c_str(), r.below(2), r.below(2), r.below(2), r.below(2), host_bmp_reader());
    });
  }
}
