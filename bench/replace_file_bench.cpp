// replace_file of a 41 KB and of a 40 MB local file, and an LZSS picture
// insert, into a 700 MB image; dd of the same 40 MB for scale. The image is
// sparse (a small genisoimage image grown with truncate, its volume size
// patched), so any read or copy of the whole image would show at once in the
// bytes read and in the time.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "files/replace_file.h"
#include "images/image_operations.h"
#include "tests/images/image_test_helpers.h"
#include "tests/support/image_like_data.h"
#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"
#include "util/byte_order.h"

using namespace testsupport;

namespace {

// Bytes this process has read through read() so far.
long long bytes_read_so_far() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times one operation; prints its wall time and the bytes it read.
bool measure(const char* what, const std::function<bool()>& operation) {
  long long read_before = bytes_read_so_far();
  auto start = std::chrono::steady_clock::now();
  bool ok = operation();
  double seconds = seconds_since(start);
  printf("%s: %s, %.4f s, %lld bytes read by the process\n", what, ok ? "ok" : "FAILED", seconds,
         bytes_read_so_far() - read_before);
  return ok;
}

// A 640x480 DC picture of image-like 15-bit pixels.
Bytes dc_picture(uint32_t seed) {
  Bytes noise = image_like_bytes(640 * 480 * 2, seed);
  std::vector<uint16_t> pixels(640 * 480);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<uint16_t>((noise[2 * i] | noise[2 * i + 1] << 8) & 0x7FFF);
  }
  return build_dc(640, 480, pixels);
}

// Patches the volume space size (both orders) of the volume descriptor in
// sector `sector`, as a grown image of that size would record it.
bool set_volume_space(const std::string& iso, unsigned sector, uint32_t sectors) {
  FILE* f = std::fopen(iso.c_str(), "r+b");
  if (!f) return false;
  unsigned char field[8];
  talvo::write_both32(field, sectors);
  bool ok = std::fseek(f, static_cast<long>(sector) * 2048 + 80, SEEK_SET) == 0 &&
            std::fwrite(field, 1, 8, f) == 8;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main() {
  const long long kImageSize = 700LL * 1000 * 1000 / 2048 * 2048;
  const size_t kSmallSize = 41 * 1000;
  const size_t kLargeSize = 40 * 1000 * 1000;
  std::string dir = make_scratch_dir("replace_bench");
  FileMap files;
  files["/DATA/TARGET.BIN"] = random_bytes(1 << 20, 1);
  files["/DATA/FONT.FON"] = random_bytes(kSmallSize, 4);
  files["/DATA/OTHER.BIN"] = random_bytes(100000, 2);
  files["/EV/PIC.DGP"] = imagetest::lzss_pack(dc_picture(5));
  std::string iso = build_iso(dir, files, true);
  if (iso.empty()) {
    fprintf(stderr, "genisoimage failed\n");
    return 1;
  }
  if (truncate(iso.c_str(), kImageSize) != 0 ||
      !set_volume_space(iso, 16, static_cast<uint32_t>(kImageSize / 2048)) ||
      !set_volume_space(iso, 17, static_cast<uint32_t>(kImageSize / 2048))) {
    fprintf(stderr, "cannot grow the image\n");
    return 1;
  }
  std::string small = dir + "/small.bin", large = dir + "/large.bin", bmp = dir + "/pic.bmp";
  write_file(small, random_bytes(kSmallSize, 6));
  write_file(large, random_bytes(kLargeSize, 3));
  Bytes picture = dc_picture(7);
  BmpPicture source{640, 480, 24, {}, {}};
  for (size_t i = 0; i + 1 < picture.size() && source.pixels.size() < 640 * 480; i += 2) {
    if (i < 6) continue;  // signature and size
    source.pixels.push_back(rgb_of_555(static_cast<uint16_t>(picture[i] << 8 | picture[i + 1])));
  }
  write_file(bmp, build_bmp(source));

  bool ok = measure("replace_file of 41 KB (in place)", [&] {
    return replace_file(iso.c_str(), "/DATA/FONT.FON", small.c_str());
  });
  ok = measure("replace_file of 40 MB (relocated)", [&] {
         return replace_file(iso.c_str(), "/DATA/TARGET.BIN", large.c_str());
       }) && ok;
  ok = measure("insert_lzss_dc of 640x480", [&] {
         return insert_bmp_into_lzss_dc(iso.c_str(), "/EV/PIC.DGP", bmp.c_str());
       }) && ok;
  std::string dd = "dd if=" + shell_quote(large) + " of=" + shell_quote(dir + "/dd.bin") +
                   " bs=16M conv=notrunc status=none";
  ok = measure("dd of the same 40 MB", [&] { return run(dd) == 0; }) && ok;

  struct stat st;
  stat(iso.c_str(), &st);
  printf("image: %lld bytes apparent, %lld bytes allocated afterwards\n",
         static_cast<long long>(st.st_size), static_cast<long long>(st.st_blocks) * 512);
  run("rm -rf " + shell_quote(dir));
  return ok ? 0 : 1;
}
