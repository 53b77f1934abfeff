// Table derivation for a full-size synthetic game (17 days, 6331 VA lines,
// 95 option groups): the time to complete a catalogue whose bulk tables are
// empty from its unchanged day files, as dump, translate and the actor-comment
// copy do once per run. Each day's derived tables are compared with the
// builder's; a day that cannot be derived is reported with its error.
#include <chrono>
#include <cstdio>

#include "tests/support/synthetic_game.h"
#include "translation/day_tables.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  testsupport::SyntheticGameOptions options;
  options.full_size = true;
  auto built = std::chrono::steady_clock::now();
  testsupport::SyntheticGame game(options);
  std::printf("built the full-size game in %.3f s\n", seconds_since(built));

  ScnCatalogue bare = game.catalogue_without_tables();
  int names = 0, rows = 0, failed = 0, differing = 0;
  double total = 0;
  for (int round = 0; round < 3; round++) {
    auto start = std::chrono::steady_clock::now();
    for (int d = 0; d < bare.count; d++) {
      const testsupport::Bytes& scn = game.days()[d].scn;
      DayTables t;
      if (!resolve_day_tables(bare.days[d], scn.data(), static_cast<int>(scn.size()), &t)) {
        if (round == 0) failed++;
        continue;
      }
      if (round == 0) {
        DayTables truth = game.true_tables(d);
        names += static_cast<int>(t.va_names.size());
        rows += static_cast<int>(t.ev_poffsets.size());
        if (t.va_names != truth.va_names || t.va_idx != truth.va_idx ||
            t.ev_poffsets != truth.ev_poffsets) {
          std::printf("%s: derived tables differ from the builder's\n", bare.days[d].name);
          differing++;
        }
      }
    }
    double s = seconds_since(start);
    total += s;
    std::printf("round %d: derived 17 days in %.3f s\n", round + 1, s);
  }
  std::printf("derived %d VA names and %d option rows; %d days failed, %d differ; "
              "mean %.3f s a catalogue\n",
              names, rows, failed, differing, total / 3);
  return 0;
}
