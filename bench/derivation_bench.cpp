// Table derivation for a full-size synthetic game: 17 day files with the
// catalogue's windows, VA counts (6331 lines) and option groups (95). Times
// the completion of a catalogue whose bulk tables are empty from its
// unchanged day files, as the dump, the translation and the actor-comment
// copy do once per run, and checks the derived tables against the ones the
// files were built with.
#include <chrono>
#include <cstdio>

#include "sample/synthetic_game.h"
#include "translation/day_tables.h"

int main() {
  sample::SyntheticGameOptions options;
  options.full_size = true;
  sample::SyntheticGame game(options);
  ScnCatalogue bare = game.catalogue_without_tables();
  int lines = 0, groups = 0;
  for (int d = 0; d < bare.count; d++) {
    lines += bare.days[d].va_count;
    groups += bare.days[d].ev_count;
  }
  std::printf("built %d day files: %d VA lines, %d option groups\n", bare.count, lines, groups);

  const int rounds = 5;
  double total = 0;
  int failed = 0, differing = 0;
  for (int round = 0; round < rounds; round++) {
    auto start = std::chrono::steady_clock::now();
    for (int d = 0; d < bare.count; d++) {
      const sample::Bytes& scn = game.days()[d].scn;
      DayTables t;
      bool ok = resolve_day_tables(bare.days[d], scn.data(), static_cast<int>(scn.size()), &t);
      if (round > 0) continue;
      DayTables truth = game.true_tables(d);
      if (!ok) {
        failed++;
      } else if (t.va_names != truth.va_names || t.va_idx != truth.va_idx ||
                 t.ev_poffsets != truth.ev_poffsets) {
        std::printf("%s: derived tables differ from the built ones\n", bare.days[d].name);
        differing++;
      }
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    total += s;
    std::printf("round %d: derived the tables of %d days in %.3f s\n", round + 1, bare.count, s);
  }
  std::printf("%d days failed, %d differ; mean %.3f s a catalogue (%.1f us a VA line)\n", failed,
              differing, total / rounds, total / rounds / lines * 1e6);
  return failed || differing;
}
