// Table derivation for a full-size game: 17 day files with the catalogue's
// windows, VA counts (6331 lines) and option groups (95), built here with
// the scn builder so that, like the game's own files, no stray pointer-like
// value in the VA area points at a line's text. Times the completion of a
// catalogue whose bulk tables are empty from its unchanged day files, as the
// dump, the translation and the actor-comment copy do once per run, and
// checks the derived tables against the ones the files were built with.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "scn/scn_tables.h"
#include "tests/support/scn_builder.h"
#include "tests/support/synthetic_game.h"
#include "translation/day_tables.h"
#include "translation/scn_days.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Day {
  ScnDay record;
  testsupport::Bytes scn;
  DayTables truth;
};

// One day file shaped like the catalogue's record of the same day.
void build_day(int d, const ScnDay& game, Day* day) {
  testsupport::ScnBuilder b(static_cast<uint32_t>(
      std::max<int>(game.va_search_start + 15 * (game.va_count + 1),
                    game.ev_search_start + game.ev_search_length)));
  b.SetVAArea(game.va_search_start);
  for (int k = 0; k < game.ev_count; k++) {
    int c = game.ev_groups[k].choices;
    uint16_t p = static_cast<uint16_t>(game.ev_search_start + 2 + 30 * k);
    std::vector<uint16_t> row = {p};
    std::vector<std::string> texts;
    for (int i = 1; i <= c; i++) {
      row.push_back(static_cast<uint16_t>(p + 3 * (c + 1 - i)));
      texts.push_back("answer " + std::to_string(i));
    }
    b.AddOptionGroup(row, game.ev_groups[k].name, texts);
    EvPoffsetRow full{};
    for (size_t i = 0; i < row.size(); i++) full[i] = row[i];
    // The name search does not search the groups the game keeps at fixed
    // positions, and reports DAY_D1's FC05a with its first text pointer at
    // 6628; the derived rows say so too.
    for (size_t f = 0; f < talvo::scn_tables::fixed_ev_entry_count; f++) {
      const talvo::scn_tables::FixedEVEntry& e = talvo::scn_tables::fixed_ev_entries[f];
      if (std::string(e.day) != game.name || std::string(e.name) != game.ev_groups[k].name) continue;
      full = EvPoffsetRow{};
      for (int i = 0; i <= e.texts; i++) full[i] = e.positions[i];
    }
    if (std::string(game.name) == "DAY_D1" && std::string(game.ev_groups[k].name) == "FC05a") {
      full[1] = 6628;
    }
    day->truth.ev_poffsets.push_back(full);
  }
  for (int j = 0; j < game.va_count; j++) {
    char name[16];
    snprintf(name, sizeof name, "V%c%02d%c%03d", 'a' + d, j / 6 % 100, 'A' + j / 600, j % 6 + 1);
    // A text whose offset ends in 0xFF could be read from a record's filler
    // byte and the next pointer's low byte; the game's files have none.
    if (((b.size() + 9) & 0xFF) == 0xFF) b.AppendBytes({0x20});
    b.AddVA(j, name, "line " + std::to_string(j) + " of day " + std::to_string(d),
            static_cast<uint8_t>(j % 90));
    day->truth.va_names.push_back(name);
    day->truth.va_idx.push_back(j);
  }
  day->scn = b.Build();
  day->record = game;
  static const DayNameTable no_names;
  static const DayIndexTable no_indices;
  static const DayPoffsetTable no_rows;
  day->record.va_names = &no_names;
  day->record.va_idx = &no_indices;
  day->record.ev_poffsets = game.ev_count ? &no_rows : nullptr;
  testsupport::md5_digest(day->scn.data(), day->scn.size(), day->record.md5);
}

}  // namespace

int main() {
  std::vector<Day> days(kScnDayCount);
  int lines = 0, groups = 0;
  for (int d = 0; d < kScnDayCount; d++) {
    build_day(d, scn_days[d], &days[d]);
    lines += scn_days[d].va_count;
    groups += scn_days[d].ev_count;
  }
  std::printf("built %d day files: %d VA lines, %d option groups\n", kScnDayCount, lines, groups);

  const int rounds = 5;
  double total = 0;
  int failed = 0, differing = 0;
  for (int round = 0; round < rounds; round++) {
    auto start = std::chrono::steady_clock::now();
    for (Day& day : days) {
      DayTables t;
      bool ok = resolve_day_tables(day.record, day.scn.data(), static_cast<int>(day.scn.size()),
                                   &t);
      if (round > 0) continue;
      if (!ok) {
        failed++;
      } else if (t.va_names != day.truth.va_names || t.va_idx != day.truth.va_idx ||
                 t.ev_poffsets != day.truth.ev_poffsets) {
        std::printf("%s: derived tables differ from the built ones\n", day.record.name);
        differing++;
      }
    }
    double s = seconds_since(start);
    total += s;
    std::printf("round %d: derived the tables of 17 days in %.3f s\n", round + 1, s);
  }
  std::printf("%d days failed, %d differ; mean %.3f s a catalogue (%.1f us a VA line)\n", failed,
              differing, total / rounds, total / rounds / lines * 1e6);
  return failed || differing;
}
