// Builds a dump-sized translation document (17 day sections, one quoted
// UTF-8 text per key, actor comments, blank separator lines, settings lines
// below each header) with IniFile, then reads every key back from a fresh
// document made of the written bytes. Timed at 1x, 2x and 4x the keys of the
// real dump: the times per key must stay flat.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ini/ini_file.h"

namespace {

const char* const kDays[] = {"DAY_A0", "DAY_A1", "DAY_B0", "DAY_B1", "DAY_B2", "DAY_C0",
                             "DAY_C1", "DAY_C2", "DAY_C3", "DAY_D0", "DAY_D1", "DAY_D2",
                             "DAY_D3", "DAY_D4", "DAY_D5", "DAY_D6", "DAY_D7"};
constexpr int kDayCount = 17;
constexpr int kDumpKeys = 6331;

// About 60 bytes: Japanese text with a line feed and now and then a quote.
std::string text_for(int i) {
  std::string t = "\xe3\x80\x8c\xe3\x81\x8a\xe3\x81\xaf\xe3\x82\x88\xe3\x81\x86\xe3\x80\x81";
  t += std::to_string(i);
  t += "\n\xe4\xbb\x8a\xe6\x97\xa5\xe3\x82\x82\xe9\x9b\xa8\xe3\x81\xa0\xe3\x81\xad";
  if (i % 7 == 0) t += "\"\xe5\x82\x98\"";
  t += "\xe2\x80\xa6\xe2\x80\xa6\xe3\x80\x8d";
  return t;
}

std::string key_for(int day, int j) {
  char key[32];
  std::snprintf(key, sizeof key, "%c%c_%05d", kDays[day][4], kDays[day][5], j);
  return key;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool run(int keys, double* build_seconds, double* read_seconds, unsigned int* bytes) {
  auto start = std::chrono::steady_clock::now();
  talvo::IniFile ini;
  if (!ini.AddSection("General") || !ini.SetStringValue("General", "encoding", "UTF-8", false, true))
    return false;
  ini.WriteRawLine("");
  for (int d = 0; d < kDayCount; ++d) {
    int per_day = keys / kDayCount + (d < keys % kDayCount ? 1 : 0);
    if (!ini.AddSection(kDays[d])) return false;
    ini.WriteRawLine("; Normal texts");
    for (int j = 0; j < per_day; ++j) {
      if (j % 5 == 0) ini.WriteRawLine("; Actor: someone");
      std::string key = key_for(d, j);
      if (!ini.SetStringValue(kDays[d], key.c_str(), text_for(j).c_str(), false, true)) return false;
    }
    if (d + 1 < kDayCount) ini.WriteRawLine("");
    ini.WriteRawLineAt(kDays[d], "");
    ini.WriteRawLineAt(kDays[d], "user_linking = true");
  }
  unsigned int length = 0;
  const unsigned char* data = ini.GetData(false, &length);
  *build_seconds = seconds_since(start);
  *bytes = length;

  start = std::chrono::steady_clock::now();
  talvo::IniFile back;
  if (!back.SetData(data, length)) return false;
  for (int d = 0; d < kDayCount; ++d) {
    int per_day = keys / kDayCount + (d < keys % kDayCount ? 1 : 0);
    for (int j = 0; j < per_day; ++j) {
      std::string key = key_for(d, j);
      char* value = back.GetStringValue(kDays[d], key.c_str());
      bool same = value != nullptr && text_for(j) == value;
      std::free(value);
      if (!same) {
        std::fprintf(stderr, "Mismatch at %s:%s\n", kDays[d], key.c_str());
        return false;
      }
    }
    if (!back.GetBooleanValue(kDays[d], "user_linking", false)) return false;
  }
  *read_seconds = seconds_since(start);
  return true;
}

}  // namespace

int main() {
  std::printf("%-8s %8s %10s %10s %14s %14s\n", "scale", "keys", "bytes", "build s", "build us/key",
              "read us/key");
  double first_build = 0, first_read = 0;
  for (int scale : {1, 2, 4}) {
    int keys = kDumpKeys * scale;
    double build = 0, read = 0;
    unsigned int bytes = 0;
    // Best of three, to keep a busy machine from deciding the result.
    double best_build = 1e9, best_read = 1e9;
    for (int rep = 0; rep < 3; ++rep) {
      if (!run(keys, &build, &read, &bytes)) {
        std::fprintf(stderr, "Benchmark run failed at %d keys\n", keys);
        return 1;
      }
      if (build < best_build) best_build = build;
      if (read < best_read) best_read = read;
    }
    std::printf("%-8d %8d %10u %10.4f %14.3f %14.3f\n", scale, keys, bytes, best_build,
                1e6 * best_build / keys, 1e6 * best_read / keys);
    if (scale == 1) {
      first_build = best_build;
      first_read = best_read;
    } else if (scale == 4) {
      std::printf("4x/1x time: build %.2f, read %.2f (linear is about 4, quadratic about 16)\n",
                  best_build / first_build, best_read / first_read);
    }
  }
  return 0;
}
