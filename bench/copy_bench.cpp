// The whole-image copy of translate (copy_file) on a 700 MB image against
// `cp --reflink=never` and `dd` at several block sizes (dd is a plain
// read/write loop: its best block size is the one the copy's fallback uses),
// then the peak memory of replace_file with a 25 MB local file. The
// destination is deleted before every run, outside the timings.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/command_timing.h"
#include "cli/image_files.h"
#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"

using namespace testsupport;

namespace {

// copy_file with its progress line sent to /dev/null.
double time_copy_file(const std::string& source, const std::string& destination) {
  std::fflush(stdout);
  const int saved = dup(1);
  if (!std::freopen("/dev/null", "w", stdout)) return -1;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = copy_file(source.c_str(), destination.c_str());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  return ok ? seconds : -1;
}

}  // namespace

int main() {
  const int kRuns = 5;
  const std::string dir = make_scratch_dir("copy_bench");
  const std::string image = dir + "/image.iso";
  const std::string copy = dir + "/copy.iso";
  if (run("head -c 700000000 /dev/urandom > " + shell_quote(image)) != 0) return 1;
  auto fresh = [&] { unlink(copy.c_str()); };

  std::printf("copy of a 700 MB image, medians of %d runs (s)\n", kRuns);
  const double ours = bench::median_of(kRuns, [&] {
    fresh();
    return time_copy_file(image, copy);
  });
  const double cp = bench::median_of(kRuns, [&] {
    fresh();
    return bench::time_command({"cp", "--reflink=never", image, copy});
  });
  std::printf("%-24s %8.3f\n", "copy_file", ours);
  std::printf("%-24s %8.3f\n", "cp --reflink=never", cp);
  double dd16 = 0;
  for (const char* bs : {"128K", "256K", "512K", "1M", "16M"}) {
    const double dd = bench::median_of(kRuns, [&] {
      fresh();
      return bench::time_command({"dd", "if=" + image, "of=" + copy, std::string("bs=") + bs});
    });
    if (std::string(bs) == "16M") dd16 = dd;
    std::printf("dd bs=%-18s %8.3f\n", bs, dd);
  }
  std::printf("ratio copy_file/cp %.2f, copy_file/dd bs=16M %.2f\n", ours / cp, ours / dd16);
  run("rm -rf " + shell_quote(dir));

  // Peak memory of replace_file: a 25 MB local file into a small image.
  const std::string rdir = make_scratch_dir("copy_bench_replace");
  FileMap files;
  files["/DATA/TARGET.BIN"] = random_bytes(100000, 1);
  const std::string iso = build_iso(rdir, files, true);
  const std::string local = rdir + "/local.bin";
  write_file(local, random_bytes(25 * 1000 * 1000, 2));
  std::string peak;
  if (iso.empty() ||
      run("/usr/bin/time -f %M " + shell_quote(TALVO_EXECUTABLE) + " replace_file " + shell_quote(iso) +
              " /DATA/TARGET.BIN " + shell_quote(local) + " 2>&1 >/dev/null",
          &peak) != 0) {
    std::fprintf(stderr, "replace_file failed\n");
    return 1;
  }
  std::printf("replace_file of 25 MB: peak resident memory %.1f MB\n", std::stod(peak) * 1024 / 1e6);
  run("rm -rf " + shell_quote(rdir));
  return 0;
}
