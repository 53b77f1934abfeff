#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "tests/support/test_files.h"
#include "translation/actors.h"
#include "translation/day_tables.h"
#include "translation/scn_days.h"

namespace {

std::string hex(const unsigned char* md5) {
  char s[33];
  for (int i = 0; i < 16; i++) snprintf(s + 2 * i, 3, "%02x", md5[i]);
  return s;
}

TEST(Translation, CatalogueRecordsInWalkOrder) {
  const char* order[] = {"DAY_A0", "DAY_A1", "DAY_B0", "DAY_B1", "DAY_B2", "DAY_C0",
                         "DAY_C1", "DAY_C2", "DAY_C3", "DAY_D0", "DAY_D1", "DAY_D2",
                         "DAY_D3", "DAY_D4", "DAY_D5", "DAY_D6", "DAY_D7"};
  ASSERT_EQ(scn_catalogue.count, 17);
  ASSERT_EQ(scn_catalogue.days, scn_days);
  int vas = 0, groups = 0, mo_groups = 0, duplicates = 0;
  std::set<std::string> digests;
  for (int i = 0; i < 17; i++) {
    const ScnDay& d = scn_days[i];
    EXPECT_EQ(std::string(d.path), std::string("/SCNBIN/") + order[i] + ".SCN");
    // Each window is a real area of a 16-bit file; the EV area starts first.
    EXPECT_LE(d.va_search_start + d.va_search_length, 65535) << d.name;
    EXPECT_LT(d.ev_search_start, d.va_search_start) << d.name;
    EXPECT_EQ(d.ev_poffsets == nullptr, d.ev_count == 0);
    digests.insert(hex(d.md5));
    vas += d.va_count;
    groups += d.ev_count;
    duplicates += d.has_duplicates;
    for (int k = 0; k < d.ev_count; k++) mo_groups += d.ev_groups[k].choices > 3;
  }
  EXPECT_EQ(vas, 6331);
  EXPECT_EQ(groups, 95);
  EXPECT_EQ(mo_groups, 24);
  EXPECT_EQ(duplicates, 11);
  EXPECT_EQ(digests.size(), 17u);
}

TEST(Translation, BuiltinTablesAreResolvedOnlyWhenComplete) {
  // This build carries no game data: every day must refuse, naming itself,
  // rather than dump or translate under wrong keys.
  auto refused = [](const ScnDay& day) {
    DayTables tables;
    return testsupport::run_captured([&] { return !resolve_day_tables(day, nullptr, 0, &tables); });
  };
  for (int i = 0; i < 17; i++) {
    testsupport::Captured c = refused(scn_days[i]);
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.err, std::string("Error: the built-in tables of ") + scn_days[i].name + " are incomplete.\n");
  }
  // One short table of the three is enough to count as incomplete.
  static const DayNameTable names = {"VA01X001", "VA01X002"};
  static const DayIndexTable short_idx = {0};
  ScnDay day = scn_days[16];
  day.va_names = &names;
  day.va_count = 2;
  day.va_idx = &short_idx;
  day.ev_count = 0;
  day.ev_poffsets = nullptr;
  EXPECT_EQ(refused(day).err, "Error: the built-in tables of DAY_D7 are incomplete.\n");
}

TEST(Translation, ActorNamesComeFromOneTable) {
  EXPECT_STREQ(get_actor_name(255), "Unknown FF");
  EXPECT_EQ(get_actor_name(200), get_actor_name(200));  // no buffer per call to leak
}

}  // namespace
