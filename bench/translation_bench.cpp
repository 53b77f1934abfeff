// Dump and translate of a full-size synthetic game (17 days, 6331 VA lines,
// 95 option groups) on a genisoimage image: the time of dump_days_to_ini on
// the mounted image, and of translate_days_from_ini on a mounted copy with
// every text replaced by a longer or shorter English one, with kill areas
// and in place. The image copy,
// mounting and unmounting are outside the timings.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "files/mounted_image.h"
#include "sample/synthetic_game.h"
#include "tests/support/test_files.h"
#include "translation/dump.h"
#include "translation/translate.h"

namespace {

// Progress lines of the operations go to /dev/null while this lives.
class QuietStdout {
 public:
  QuietStdout() : saved_(dup(1)) {
    std::fflush(stdout);
    if (!std::freopen("/dev/null", "w", stdout)) saved_ = -1;
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, 1);
      close(saved_);
    }
  }

 private:
  int saved_;
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The dump with every quoted VA and answer text replaced: VA lines
// alternately longer and shorter, answers a short English word each. With
// in_place, every day writes its texts in place (no kill areas, so no
// linking): links get texts of their own too.
std::string translated(const std::string& dump, bool in_place) {
  std::string out;
  size_t pos = 0;
  int n = 0;
  bool general = true;
  while (pos < dump.size()) {
    size_t end = dump.find("\r\n", pos);
    std::string line = dump.substr(pos, end - pos);
    pos = end + 2;
    if (line.compare(0, 5, "[DAY_") == 0) general = false;
    if (in_place && line.compare(0, 12, "user_linking") == 0) continue;
    size_t eq = line.find(in_place && line.size() == 19 && line[0] == 'V' ? " = " : " = \"");
    if (!general && eq != std::string::npos) {
      std::string key = line.substr(0, eq);
      std::string value;
      if (key.find(" OPTION") != std::string::npos) {
        value = "Answer " + std::to_string(n % 7);
      } else if (key.size() != 8 || key[0] != 'V') {
        // An answer list: as many parts as the game's.
        size_t parts = 1;
        for (char c : line) parts += c == '/';
        for (size_t i = 0; i < parts; i++) value += (i ? "/" : "") + std::string("Choice");
      } else {
        value = n % 2 ? "Short " + std::to_string(n)
                      : "A longer English line number " + std::to_string(n) + ", %F%N.";
      }
      line = key + " = \"" + value + "\"";
      n++;
    }
    out += line + "\r\n";
    if (in_place && line.compare(0, 5, "[DAY_") == 0) out += "use_kill_areas = false\r\n";
  }
  return out;
}

}  // namespace

int main() {
  sample::SyntheticGameOptions options;
  options.full_size = true;
  options.shared_storage = true;
  sample::SyntheticGame game(options);
  std::string dir = testsupport::make_scratch_dir("translation_bench");
  std::string iso = game.build_iso(dir);
  if (iso.empty()) {
    std::fprintf(stderr, "genisoimage failed\n");
    return 1;
  }
  std::string ini = dir + "/texts.ini";
  double dump_time = 0;
  {
    MountedIso image;
    if (!image.mount(iso.c_str(), true)) return 1;
    bool ok;
    {
      QuietStdout quiet;
      auto start = std::chrono::steady_clock::now();
      ok = dump_days_to_ini(image.fs(), ini.c_str(), false, game.catalogue());
      dump_time = seconds_since(start);
    }
    if (!ok) return 1;
  }
  testsupport::Bytes dumped = testsupport::read_file_bytes(ini);
  // Translations with kill areas (the default) and in place.
  double translate_time[2] = {0, 0};
  bool ok = true;
  for (int in_place = 0; in_place < 2; in_place++) {
    std::string edited = translated(std::string(dumped.begin(), dumped.end()), in_place);
    std::string translated_ini = dir + "/translated.ini";
    testsupport::write_file(translated_ini, edited);
    std::string copy = dir + "/copy.iso";
    testsupport::run("cp " + testsupport::shell_quote(iso) + " " + testsupport::shell_quote(copy));
    MountedIso image;
    if (!image.mount(copy.c_str(), false, false)) return 1;
    QuietStdout quiet;
    auto start = std::chrono::steady_clock::now();
    ok = translate_days_from_ini(image.fs(), translated_ini.c_str(), "Kei", "Aoi",
                                 game.catalogue()) && ok;
    translate_time[in_place] = seconds_since(start);
  }
  int vas = 0, groups = 0;
  for (const auto& d : game.days()) {
    vas += static_cast<int>(d.vas.size());
    groups += static_cast<int>(d.groups.size());
  }
  std::printf("full-size game: %d VA lines, %d option groups, INI file of %zu bytes\n", vas,
              groups, dumped.size());
  std::printf("dump:      %.3f s\n", dump_time);
  std::printf("translate: %.3f s, in place %.3f s (%s)\n", translate_time[0], translate_time[1],
              ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
