// A synthetic game disc for translation tests and benchmarks: seventeen day
// files (VA texts with line breaks, quotes and name placeholders, option
// groups, VA copies where the scn model repairs them, repeated texts), their
// catalogue with and without the bulk tables, their true tables, and an ISO
// image holding them at /SCNBIN/DAY_xx.SCN beside other files. Shared by the
// demo's sample maker, the benches and the tests.
#ifndef TALVO_SAMPLE_SYNTHETIC_GAME_H
#define TALVO_SAMPLE_SYNTHETIC_GAME_H

#include <cstdint>
#include <string>
#include <vector>

#include "sample/host_tools.h"
#include "translation/day_tables.h"
#include "translation/scn_days.h"

namespace sample {

struct SyntheticVA {
  std::string name;
  std::string text;     // UTF-8 with line feeds: what a dump shows
  std::string sjis;     // Shift-JIS with 0x0E line breaks: what the file stores
  int index = 0;        // record index in the VA area
  uint8_t actor = 0;
  int shares_text_of = -1;  // position of the VA whose stored text this record uses
};

struct SyntheticGroup {
  std::string name;
  std::vector<std::string> texts;  // UTF-8
  std::vector<std::string> sjis;
  EvPoffsetRow row{};
};

// A VA record copy where the duplicate repair expects it, with its own strings.
struct SyntheticCopy {
  int of = 0;     // position of the original in the day's VA list
  int index = 0;  // record index of the copy
};

struct SyntheticDay {
  std::string name;  // "DAY_A0"
  std::string path;  // "/SCNBIN/DAY_A0.SCN"
  uint16_t va_start = 0;
  int va_length = 0;
  uint16_t ev_start = 0;
  int ev_length = 0;
  bool has_duplicates = false;
  std::vector<SyntheticVA> vas;  // catalogue order
  std::vector<SyntheticGroup> groups;
  std::vector<SyntheticCopy> copies;
  Bytes scn;
  unsigned char md5[16] = {};

  // What the catalogue records point at.
  DayNameTable va_names;
  DayIndexTable va_idx;
  DayPoffsetTable ev_poffsets;
  std::vector<OptionGroup> ev_groups;
};

struct SyntheticGameOptions {
  // false: about a dozen VA lines a day; true: the game's own 6331.
  bool full_size = false;
  // Two VA lines (DAY_A1, DAY_C0) whose records share one stored text; the
  // dump links them, the name search of table derivation cannot place them.
  bool shared_storage = false;
};

// Not copyable: the catalogue records point into the days.
class SyntheticGame {
 public:
  explicit SyntheticGame(const SyntheticGameOptions& options = SyntheticGameOptions());
  SyntheticGame(const SyntheticGame&) = delete;
  SyntheticGame& operator=(const SyntheticGame&) = delete;

  const std::vector<SyntheticDay>& days() const { return days_; }
  const SyntheticDay& day(const std::string& name) const;

  // The catalogue of these files with complete tables.
  ScnCatalogue catalogue() const { return {records_.data(), static_cast<int>(records_.size())}; }
  // The same records with the bulk tables (VA names, indices, pointer rows) empty.
  ScnCatalogue catalogue_without_tables() const {
    return {bare_records_.data(), static_cast<int>(bare_records_.size())};
  }
  // The tables that the files really have, day by day.
  DayTables true_tables(int day) const;

  // Every file of the disc by image path: the day files and some others.
  FileMap files() const;
  // Makes dir + "/image.iso" (with Joliet) of files(); "" when that failed.
  std::string build_iso(const std::string& dir) const;

 private:
  std::vector<SyntheticDay> days_;
  std::vector<ScnDay> records_;
  std::vector<ScnDay> bare_records_;
  DayNameTable no_names_;
  DayIndexTable no_indices_;
  DayPoffsetTable no_rows_;
};

// MD5 digest of a buffer, straight from the system's crypto library.
void md5_digest(const void* data, size_t size, unsigned char out[16]);

// Shift-JIS of UTF-8 ASCII (no backslash or tilde), hiragana and the
// fullwidth tilde (as the wave dash), line feeds as 0x0E.
std::string synthetic_sjis(const std::string& utf8);

// A text quoted as the dump writes an INI value.
inline std::string ini_quoted(const std::string& text) {
  std::string q = "\"";
  for (char c : text) {
    if (c == '\n') {
      q += "\\n";
    } else if (c == '"') {
      q += "\\\"";
    } else {
      q += c;
    }
  }
  return q + "\"";
}

}  // namespace sample

#endif
