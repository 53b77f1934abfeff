// LZSS compression and decompression throughput on 1 MiB of image-like data,
// beside gzip -1 on the same bytes in the same run (gzip's process start-up
// is measured on an empty file and taken off).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "images/lzss.h"
#include "tests/support/image_like_data.h"
#include "tests/support/test_files.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Wall time of running command `runs` times in one shell.
double time_shell(const std::string& command, int runs) {
  const std::string loop = "for i in $(seq " + std::to_string(runs) + "); do " + command + "; done";
  const Clock::time_point start = Clock::now();
  if (testsupport::run(loop) != 0) {
    std::fprintf(stderr, "bench: command failed: %s\n", command.c_str());
    std::exit(1);
  }
  return seconds_since(start);
}

}  // namespace

int main() {
  const unsigned kSize = 1 << 20;
  const int kRuns = 10;
  const double mib = kSize / 1048576.0;
  const std::vector<unsigned char> data = testsupport::image_like_bytes(kSize, 12345);

  unsigned int packed_size = 0;
  unsigned char* packed = nullptr;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kRuns; ++i) {
    std::free(packed);
    packed = compress_lzss_data(data.data(), kSize, &packed_size);
    if (!packed) return 1;
  }
  const double lzss_compress_s = seconds_since(start) / kRuns;

  unsigned int size = 0;
  start = Clock::now();
  for (int i = 0; i < kRuns; ++i) {
    unsigned char* out = uncompress_lzss_data(packed, packed_size, &size);
    if (!out || size != kSize) return 1;
    std::free(out);
  }
  const double lzss_uncompress_s = seconds_since(start) / kRuns;
  std::free(packed);

  const std::string dir = testsupport::make_scratch_dir("lzss_bench");
  const std::string raw = dir + "/data.bin";
  const std::string gz = dir + "/data.bin.gz";
  const std::string empty = dir + "/empty.bin";
  testsupport::write_file(raw, data);
  testsupport::write_file(empty, std::vector<unsigned char>());
  const std::string q = testsupport::shell_quote(raw);
  if (testsupport::run("gzip -1 -c " + q + " > " + testsupport::shell_quote(gz)) != 0) return 1;
  const size_t gz_size = testsupport::read_file_bytes(gz).size();
  const double start_up = time_shell("gzip -1 -c " + testsupport::shell_quote(empty) + " > /dev/null", kRuns) / kRuns;
  const double gzip_compress_s =
      time_shell("gzip -1 -c " + q + " > /dev/null", kRuns) / kRuns - start_up;
  const double gzip_uncompress_s =
      time_shell("gzip -d -c " + testsupport::shell_quote(gz) + " > /dev/null", kRuns) / kRuns -
      start_up;

  std::printf("1 MiB image-like data, mean of %d runs\n", kRuns);
  std::printf("%-8s %12s %14s %16s\n", "codec", "size (%)", "compress MB/s", "decompress MB/s");
  std::printf("%-8s %12.1f %14.1f %16.1f\n", "lzss", 100.0 * packed_size / kSize,
              mib / lzss_compress_s, mib / lzss_uncompress_s);
  std::printf("%-8s %12.1f %14.1f %16.1f\n", "gzip -1", 100.0 * gz_size / kSize,
              mib / gzip_compress_s, mib / gzip_uncompress_s);
  std::printf("lzss/gzip throughput ratio: compress %.2f, decompress %.2f\n",
              gzip_compress_s / lzss_compress_s, gzip_uncompress_s / lzss_uncompress_s);
  std::printf("(gzip process start-up %.2f ms, taken off its times)\n", start_up * 1000);
  return 0;
}
