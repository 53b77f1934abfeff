#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/support/test_files.h"
#include "translation/day_tables.h"
#include "translation/scn_days.h"

namespace {

// Each day's windows are real areas of a 16-bit file, the EV area first, and
// every day file has its own digest.
TEST(Translation, CatalogueWindowsAndDigests) {
  ASSERT_EQ(scn_catalogue.count, 17);
  std::set<std::string> digests;
  for (const ScnDay& d : scn_days) {
    EXPECT_LE(d.va_search_start + d.va_search_length, 65535) << d.name;
    EXPECT_LT(d.ev_search_start, d.va_search_start) << d.name;
    digests.insert(std::string(reinterpret_cast<const char*>(d.md5), 16));
  }
  EXPECT_EQ(digests.size(), 17u);
}

TEST(Translation, BuiltinTablesAreResolvedOnlyWhenComplete) {
  // This build carries no game data: every day must refuse rather than dump
  // or translate under wrong keys.
  auto refused = [](const ScnDay& day) {
    DayTables tables;
    return testsupport::run_captured([&] { return !resolve_day_tables(day, nullptr, 0, &tables); });
  };
  for (int i = 0; i < 17; i++) EXPECT_TRUE(refused(scn_days[i]).ok) << scn_days[i].name;
  // One short table of the three is enough to count as incomplete.
  static const DayNameTable names = {"VA01X001", "VA01X002"};
  static const DayIndexTable short_idx = {0};
  testsupport::Captured r = refused(
      {"DAY_X", "/SCNBIN/X.SCN", &names, 2, 1000, 600, &short_idx, nullptr, 0, 100, 500, nullptr, false, {}});
  EXPECT_EQ(r.err, "Error: the built-in tables of DAY_X are incomplete.\n");
}

}  // namespace
