// extract_all_images against `isoinfo -J -l` (a listing of the whole tree) on
// genisoimage images of 200, 2,000 and 20,000 files, in folders of up to
// 1,000 files each, none of them a picture: the figure is the cost of the
// walk itself (every directory read, every file opened and its first bytes
// sniffed). Both run as processes; medians of several runs.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/command_timing.h"
#include "tests/support/test_files.h"

using namespace testsupport;

namespace {

// A tree of `files` small files under dir + "/src" and its image; the image path.
std::string make_image(const std::string& dir, int files) {
  const int kPerFolder = 1000;
  char name[64];
  for (int i = 0; i < files; ++i) {
    std::snprintf(name, sizeof name, "/src/DIR%02d/FILE%05d.BIN", i / kPerFolder, i);
    write_file(dir + name, "plain data of file " + std::to_string(i) + ", not a picture\n");
  }
  const std::string iso = dir + "/image.iso";
  if (!make_iso(dir + "/src", iso, true)) return "";
  run("rm -rf " + shell_quote(dir + "/src"));
  return iso;
}

}  // namespace

int main() {
  std::printf("extract_all_images vs isoinfo -J -l, medians (ms)\n");
  std::printf("%8s %6s %14s %14s %8s\n", "files", "runs", "extract_all", "isoinfo -J -l", "ratio");
  for (int files : {200, 2000, 20000}) {
    const std::string dir = make_scratch_dir("extract_all_bench");
    const std::string iso = make_image(dir, files);
    if (iso.empty()) {
      std::fprintf(stderr, "genisoimage failed\n");
      return 1;
    }
    const int runs = files >= 20000 ? 11 : 21;
    const double ours = bench::median_command_seconds(
        {TALVO_EXECUTABLE, "extract_all_images", iso, dir + "/out"}, runs);
    const double isoinfo = bench::median_command_seconds({"isoinfo", "-J", "-l", "-i", iso}, runs);
    std::printf("%8d %6d %14.1f %14.1f %8.2f\n", files, runs, ours * 1000, isoinfo * 1000, ours / isoinfo);
    run("rm -rf " + shell_quote(dir));
  }
  return 0;
}
