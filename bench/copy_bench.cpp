// The whole-image copy of translate (copy_file) on a 700 MB image against
// `cp --reflink=never` and `dd` at several block sizes (dd is a plain
// read/write loop: its best block size is the one the copy's fallback uses),
// then the peak memory of replace_file with a 25 MB local file.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/command_timing.h"
#include "files/host_files.h"
#include "files/replace_file.h"
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
  const int kRuns = 7;
  const std::string dir = make_scratch_dir("copy_bench");
  const std::string image = dir + "/image.iso";
  const std::string copy = dir + "/copy.iso";
  if (run("head -c 700000000 /dev/urandom > " + shell_quote(image)) != 0) return 1;
  // Every run starts alike: no destination, nothing dirty in the page cache
  // (the writeback of an earlier run would slow the next one), and the
  // copies take turns so that a busy moment of the machine hits them all.
  struct Copier {
    std::string name;
    std::vector<std::string> argv;  // empty: copy_file in this process
    std::vector<double> times;
  };
  std::vector<Copier> copiers = {{"copy_file", {}, {}},
                                 {"cp --reflink=never", {"cp", "--reflink=never", image, copy}, {}}};
  for (const char* bs : {"128K", "256K", "1M", "16M"}) {
    copiers.push_back({std::string("dd bs=") + bs, {"dd", "if=" + image, "of=" + copy, std::string("bs=") + bs}, {}});
  }
  std::vector<size_t> order;
  for (size_t i = 0; i < copiers.size(); ++i) order.push_back(i);
  for (int i = 0; i < kRuns; ++i) {
    // Each round starts with another copier: no copier always follows the same one.
    std::rotate(order.begin(), order.begin() + 1, order.end());
    for (size_t k : order) {
      Copier& c = copiers[k];
      unlink(copy.c_str());
      sync();
      const double t = c.argv.empty() ? time_copy_file(image, copy) : bench::time_command(c.argv);
      if (t < 0) {
        std::fprintf(stderr, "bench: %s failed\n", c.name.c_str());
        return 1;
      }
      c.times.push_back(t);
    }
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto fastest = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
  std::printf("copy of a 700 MB image, %d runs (s)\n%-24s %8s %8s\n", kRuns, "", "median", "fastest");
  for (const Copier& c : copiers) {
    std::printf("%-24s %8.3f %8.3f\n", c.name.c_str(), median(c.times), fastest(c.times));
  }
  const double ours = median(copiers[0].times);
  std::printf("ratio of medians copy_file/cp %.2f, copy_file/dd bs=16M %.2f\n", ours / median(copiers[1].times),
              ours / median(copiers.back().times));
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
