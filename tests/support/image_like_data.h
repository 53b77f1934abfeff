// Deterministic data that compresses like the game's pictures: 16-bit pixels of flat areas, gradients and a
// little noise, and 8-bit palette pictures with runs and repeated rows. Header-only for tests and benchmarks.
#ifndef TALVO_TESTS_SUPPORT_IMAGE_LIKE_DATA_H
#define TALVO_TESTS_SUPPORT_IMAGE_LIKE_DATA_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sample/host_tools.h"

namespace testsupport {

// A small xorshift generator: the same bytes on every platform and run.
class TestRandom {
 public:
  explicit TestRandom(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t below(uint32_t n) { return n ? next() % n : 0; }

 private:
  uint32_t state_;
};

// One noise generator for every test: two of the same name would be one
// definition too many.
using sample::random_bytes;

inline std::vector<unsigned char> image_like_bytes(size_t size, uint32_t seed) {
  TestRandom rng(seed);
  std::vector<unsigned char> out;
  out.reserve(size + 1024);
  while (out.size() < size) {
    const uint32_t width = 64 + rng.below(256), rows = 4 + rng.below(24);
    if (rng.below(2) == 0) {
      // 16-bit picture: a gradient with flat bands, noisy in places.
      uint32_t colour = rng.next() & 0x7FFF;
      for (uint32_t y = 0; y < rows && out.size() < size; ++y) {
        const bool noisy = rng.below(4) == 0;
        for (uint32_t x = 0; x < width; ++x) {
          uint32_t c = colour + (x / 8) + (y / 2) * 32;
          if (noisy) c ^= rng.below(4);
          out.push_back(static_cast<unsigned char>(c >> 8 & 0x7F));
          out.push_back(static_cast<unsigned char>(c));
        }
      }
    } else {
      // 8-bit palette picture: runs of one index, rows often repeated.
      std::vector<unsigned char> row(width);
      for (uint32_t y = 0; y < rows && out.size() < size; ++y) {
        if (y == 0 || rng.below(3) != 0) {
          for (size_t x = 0; x < width;) {
            const unsigned char index = static_cast<unsigned char>(rng.below(16) * 3);
            for (size_t run = 1 + rng.below(12); run > 0 && x < width; --run) row[x++] = index;
          }
        }
        out.insert(out.end(), row.begin(), row.end());
      }
    }
  }
  out.resize(size);
  return out;
}

}  // namespace testsupport

#endif
