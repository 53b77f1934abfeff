// The LZSS decoder per input against a reference decoder in the same
// process: a plain decoder of the same stream in the style LZSS decoders had
// when binary-tree encoders were new (a ring buffer, a flag word refilled
// every eight units, the output capacity tested once per unit). Four inputs
// of 1 MiB decoded: zeros, random bytes, a 16-bit DC picture and an 8-bit PP
// picture. Prints the median time of each and the ratio ours/reference.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "images/lzss.h"
#include "tests/support/bmp_builders.h"
#include "tests/support/image_like_data.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

// The reference decoder. Stream: a flag byte per eight units, lowest bit
// first; 1 is a literal byte, 0 a reference A, B to window position
// A | (B & 0x0F) << 8 of length (B >> 4) + 3. Window of 4096 zeros, written
// from 4078 on.
int reference_decode(unsigned char* dst, unsigned capacity, const unsigned char* src, int src_size) {
  static unsigned char window[4096];
  std::memset(window, 0, sizeof window);
  const unsigned char* in = src;
  const unsigned char* const end = src + src_size;
  unsigned r = 4078;
  unsigned flags = 0;
  unsigned out = 0;
  for (;;) {
    flags >>= 1;
    if ((flags & 0x100) == 0) {
      if (in == end) break;
      flags = *in++ | 0xFF00;  // the high byte counts the eight units down
    }
    if (flags & 1) {
      if (in == end || out >= capacity) break;
      const unsigned char c = *in++;
      dst[out++] = c;
      window[r] = c;
      r = (r + 1) & 4095;
    } else {
      if (end - in < 2) break;
      const unsigned position = in[0] | (in[1] & 0x0F) << 8;
      unsigned length = (in[1] >> 4) + 3;
      in += 2;
      if (length > capacity - out) length = capacity - out;
      for (unsigned k = 0; k < length; ++k) {
        const unsigned char c = window[(position + k) & 4095];
        dst[out++] = c;
        window[r] = c;
        r = (r + 1) & 4095;
      }
      if (out >= capacity) break;
    }
  }
  return static_cast<int>(out);
}

// A 16-bit DC picture and an 8-bit PP picture of about 1 MiB of pixels,
// flat areas, gradients and noise as in the game's pictures.
Bytes dc_picture(uint32_t seed) {
  const int w = 640, h = 800;
  testsupport::TestRandom rng(seed);
  std::vector<uint16_t> pixels(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint16_t c = static_cast<uint16_t>(((x / 16) + (y / 8) * 32 + (y / 100) * 1024) & 0x7FFF);
      if ((y / 40) % 3 == 0) c ^= static_cast<uint16_t>(rng.below(4));
      pixels[static_cast<size_t>(y) * w + x] = c;
    }
  }
  return testsupport::build_dc(w, h, pixels);
}

Bytes pp_picture(uint32_t seed) {
  const int w = 1024, h = 1024;
  testsupport::TestRandom rng(seed);
  std::vector<uint16_t> palette(256);
  for (uint16_t& c : palette) c = static_cast<uint16_t>(rng.next() & 0x7FFF);
  Bytes index(static_cast<size_t>(w) * h);
  Bytes row(w);
  for (int y = 0; y < h; ++y) {
    if (y == 0 || rng.below(3) != 0) {
      for (int x = 0; x < w;) {
        const unsigned char v = static_cast<unsigned char>(rng.below(40));
        for (uint32_t run = 1 + rng.below(12); run > 0 && x < w; --run) row[x++] = v;
      }
    }
    std::copy(row.begin(), row.end(), index.begin() + static_cast<size_t>(y) * w);
  }
  return testsupport::build_pp(w, h, palette, index);
}

template <typename Decode>
double median_seconds(Decode decode, int rounds, int per_round) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const Clock::time_point start = Clock::now();
    for (int k = 0; k < per_round; ++k) decode();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count() / per_round);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main() {
  const size_t kSize = 1 << 20;
  struct Input {
    const char* name;
    Bytes data;
  };
  Input inputs[] = {{"zeros", Bytes(kSize, 0)},
                    {"random", testsupport::random_bytes(kSize, 7)},
                    {"DC", dc_picture(11)},
                    {"PP", pp_picture(13)}};
  std::printf("LZSS decode, median of 15 rounds of 10 decodes, in-process\n");
  std::printf("%-8s %10s %10s %12s %12s %8s\n", "input", "bytes", "stream", "ours ms", "reference ms",
              "ratio");
  bool ok = true;
  for (const Input& input : inputs) {
    const unsigned size = static_cast<unsigned>(input.data.size());
    Bytes stream(size + size / 8 + 64);
    const int stream_size = lzss_compress(stream.data(), static_cast<unsigned>(stream.size()),
                                          input.data.data(), size);
    if (stream_size <= 0) return 1;
    Bytes ours(size), reference(size);
    const double ours_s = median_seconds(
        [&] { lzss_uncompress(ours.data(), size, stream.data(), stream_size); }, 15, 10);
    const double reference_s = median_seconds(
        [&] { reference_decode(reference.data(), size, stream.data(), stream_size); }, 15, 10);
    const bool same = ours == input.data && reference == input.data;
    ok = ok && same;
    std::printf("%-8s %10u %10d %12.3f %12.3f %8.2f%s\n", input.name, size, stream_size, ours_s * 1000,
                reference_s * 1000, ours_s / reference_s, same ? "" : "  (OUTPUTS DIFFER)");
  }
  return ok ? 0 : 1;
}
