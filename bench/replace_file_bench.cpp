// replace_file of a 40 MB local file into a 700 MB image, against dd of the
// same 40 MB. The image is sparse (a small genisoimage image grown with
// truncate, its volume size patched), so any read or copy of the whole image
// would show at once in the bytes read and in the time.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "cli/image_files.h"
#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"

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

}  // namespace

int main() {
  const long long kImageSize = 700LL * 1000 * 1000 / 2048 * 2048;
  const size_t kLocalSize = 40 * 1000 * 1000;
  std::string dir = make_scratch_dir("replace_bench");
  FileMap files;
  files["/DATA/TARGET.BIN"] = random_bytes(1 << 20, 1);
  files["/DATA/OTHER.BIN"] = random_bytes(100000, 2);
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
  std::string local = dir + "/local.bin";
  write_file(local, random_bytes(kLocalSize, 3));

  long long read_before = bytes_read_so_far();
  auto start = std::chrono::steady_clock::now();
  bool ok = replace_file(iso.c_str(), "/DATA/TARGET.BIN", local.c_str());
  double replace_seconds = seconds_since(start);
  long long replace_read = bytes_read_so_far() - read_before;

  std::string dd = "dd if=" + shell_quote(local) + " of=" + shell_quote(dir + "/dd.bin") +
                   " bs=16M conv=notrunc status=none";
  start = std::chrono::steady_clock::now();
  int dd_status = run(dd);
  double dd_seconds = seconds_since(start);

  struct stat st;
  stat(iso.c_str(), &st);
  printf("image: %lld bytes apparent, %lld bytes allocated after the replacement\n",
         static_cast<long long>(st.st_size), static_cast<long long>(st.st_blocks) * 512);
  printf("replace_file of %zu bytes: %s, %.3f s, %lld bytes read by the process\n", kLocalSize,
         ok ? "ok" : "FAILED", replace_seconds, replace_read);
  printf("dd of the same %zu bytes: %s, %.3f s\n", kLocalSize, dd_status == 0 ? "ok" : "FAILED",
         dd_seconds);
  run("rm -rf " + shell_quote(dir));
  return ok && dd_status == 0 ? 0 : 1;
}
