#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "translation/actors.h"
#include "translation/catalogue_facts.h"
#include "translation/day_tables.h"
#include "translation/digest.h"
#include "translation/scn_days.h"

namespace {

std::string hex(const unsigned char* md5) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (int i = 0; i < 16; i++) {
    s += digits[md5[i] >> 4];
    s += digits[md5[i] & 15];
  }
  return s;
}

TEST(Translation, CatalogueRecordsInWalkOrder) {
  struct Row {
    const char* name;
    int vas, va_start, va_length, groups, ev_start, ev_length;
    bool dup;
    const char* md5;
  };
  const Row rows[] = {
      {"DAY_A0", 352, 7808, 5350, 4, 1638, 4800, false, "9756eae1613508a189c19849c55ffcf6"},
      {"DAY_A1", 402, 6671, 6050, 5, 1827, 4200, false, "881ffa883429f36a78a918aa6ae8cec0"},
      {"DAY_B0", 529, 13865, 7950, 10, 1363, 10000, false, "591928ef29b260471c1631322ef9e6c3"},
      {"DAY_B1", 289, 7719, 4600, 8, 1272, 4650, true, "70a082398aa5f1da26b4c6c18b80639f"},
      {"DAY_B2", 456, 11437, 7100, 9, 1351, 9850, true, "25466b7b7f84f930a8008f1d356fbace"},
      {"DAY_C0", 627, 16160, 9700, 11, 1964, 15000, true, "f94222b8fb43344400d5b5d2896bd495"},
      {"DAY_C1", 354, 11128, 5400, 19, 1164, 9900, true, "3af98cb69ff8c98c41ab1eb364ac499b"},
      {"DAY_C2", 371, 9361, 6450, 5, 2007, 5450, true, "8c105d11d1c2921407e4360c26b0b01a"},
      {"DAY_C3", 492, 13067, 7900, 7, 2377, 11000, true, "ff9c1c07a7a168210c883aee07eeaa37"},
      {"DAY_D0", 449, 9414, 6750, 2, 1686, 7650, false, "bbd8d572004e8d6435dc497593dcb1db"},
      {"DAY_D1", 348, 9293, 5650, 7, 1062, 7750, true, "2b5fe36e04df75f1499a907ccff0d9fa"},
      {"DAY_D2", 508, 11355, 7650, 1, 3810, 200, false, "5c66a89d8e8978ef9e36dc29ac5cae42"},
      {"DAY_D3", 277, 7806, 5850, 1, 7152, 300, true, "937c375cb4224aac0279cbbbdd9fd25a"},
      {"DAY_D4", 195, 10719, 3250, 2, 3417, 7200, true, "5e89ec2e21b391b55a30ce60d1f1c5ff"},
      {"DAY_D5", 302, 7566, 4650, 2, 7064, 100, true, "4caefd9e301861d83f15e5fbb91809df"},
      {"DAY_D6", 291, 10047, 5950, 0, 0, 0, true, "49df445153bc8d6ae6f294094442fd17"},
      {"DAY_D7", 89, 2997, 1350, 2, 812, 1000, false, "f30a54e8eb964a2e5cd31cff836b3265"},
  };
  ASSERT_EQ(scn_catalogue.count, 17);
  ASSERT_EQ(scn_catalogue.days, scn_days);
  int total_vas = 0, total_groups = 0;
  for (int i = 0; i < 17; i++) {
    const ScnDay& d = scn_days[i];
    const Row& r = rows[i];
    SCOPED_TRACE(r.name);
    EXPECT_STREQ(d.name, r.name);
    EXPECT_EQ(std::string(d.path), std::string("/SCNBIN/") + r.name + ".SCN");
    EXPECT_EQ(d.va_count, r.vas);
    EXPECT_EQ(d.va_search_start, r.va_start);
    EXPECT_EQ(d.va_search_length, r.va_length);
    EXPECT_EQ(d.ev_count, r.groups);
    EXPECT_EQ(d.ev_search_start, r.ev_start);
    EXPECT_EQ(d.ev_search_length, r.ev_length);
    EXPECT_EQ(d.has_duplicates, r.dup);
    EXPECT_EQ(hex(d.md5), r.md5);
    EXPECT_EQ(d.ev_groups == nullptr, r.groups == 0);
    EXPECT_EQ(d.ev_poffsets == nullptr, r.groups == 0);
    total_vas += d.va_count;
    total_groups += d.ev_count;
  }
  EXPECT_EQ(total_vas, 6331);
  EXPECT_EQ(total_groups, 95);
}

TEST(Translation, CatalogueOptionGroups) {
  // Every day's groups, joined as "name choices, ..." for one comparison each.
  const char* expected[] = {
      "EVA05 2, Event A07 2, EVA11 3, Event A16 3",
      "FC06a 2, FC07a 2, EVA28 2, FC01b 2, Event A30 2",
      "Event B01-1 2, FC04a 7, FC08c 2, GAYA2 2, FC03b 2, C14 2, C03 4, FC14a 3, EVB32 2, SE015 3",
      "FC08c 3, Hack1 2, FC08f 2, EVB08 6, EVB10 3, EVB12 3, EVB13 3, Hack2 2",
      "BG30 5, EVB29a 4, FC05a 3, EVB29b 4, EVB29d 4, SE015 3, FC08g 2, BG11c 7, EVA38 2",
      "EVC27 2, BG06 5, A12 5, FC04a 5, FC18a 2, FC17d 2, FC01b 3, Hack1 3, FC05a 3, FC06f 2, "
      "FC16c 2",
      "GAYA32 3, BG54 4, GAYA24 3, Hack2 2, SE009 2, Hack5 2, FC14a 2, FC06f 2, EVC36 2, EVC38 2, "
      "Hack6 2, EVA52 4, Hack7 3, EVC08 2, EVC44 2, FC07a 2, Hack8 2, FC08a 2, SE078 2",
      "EVB08 6, SE033 2, EVB10 3, EVB12b 3, EVB13 3",
      "FC03a 5, EVB29f 4, FC01a 3, EVB29h 4, EVB29i 4, BG11c 7, EVA38 2",
      "BG66 2, SE086 2",
      "EVD115 6, ANSI 6, FC07a 3, FC01b 3, FC05a 3, FC06a 3, EVD99 3",
      "BG52 5",
      "EVD32b 7",
      "SAKASA 2, EVD41 5",
      "BG07 3, Hack1 3",
      "",
      "EVD91 3, EVD92 3",
  };
  for (int i = 0; i < 17; i++) {
    std::string joined;
    for (int k = 0; k < scn_days[i].ev_count; k++) {
      if (k) joined += ", ";
      joined += std::string(scn_days[i].ev_groups[k].name) + " " +
                std::to_string(scn_days[i].ev_groups[k].choices);
    }
    EXPECT_EQ(joined, expected[i]) << scn_days[i].name;
  }
}

TEST(Translation, BuiltinTablesAreResolvedOnlyWhenComplete) {
  // This build carries no game data: every day must refuse, naming itself,
  // rather than dump or translate under wrong keys.
  for (int i = 0; i < 17; i++) {
    DayTables tables;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(resolve_day_tables(scn_days[i], nullptr, 0, &tables));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string("Error: the built-in tables of ") + scn_days[i].name +
                  " are incomplete.\n");
  }
  // A day whose tables hold exactly what it promises resolves to copies of them.
  static const DayNameTable names = {"VA01X001", "VA01X002"};
  static const DayIndexTable idx = {0, 2};
  static const OptionGroup groups[] = {{"G", 2}};
  static const DayPoffsetTable rows = {EvPoffsetRow{{10, 14, 12}}};
  ScnDay day = scn_days[0];
  day.va_names = &names;
  day.va_count = 2;
  day.va_idx = &idx;
  day.ev_groups = groups;
  day.ev_count = 1;
  day.ev_poffsets = &rows;
  DayTables tables;
  ASSERT_TRUE(resolve_day_tables(day, nullptr, 0, &tables));
  EXPECT_EQ(tables.va_names, (std::vector<std::string>{"VA01X001", "VA01X002"}));
  EXPECT_EQ(tables.va_idx, idx);
  EXPECT_EQ(tables.ev_poffsets, rows);
  // One short table of the three is enough to refuse.
  static const DayIndexTable short_idx = {0};
  day.va_idx = &short_idx;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(resolve_day_tables(day, nullptr, 0, &tables));
  testing::internal::GetCapturedStderr();
}

TEST(Translation, FactsCheckTables) {
  DayTables a0;
  for (int i = 0; i < 352; i++) {
    char name[16];
    snprintf(name, sizeof name, "VA%02dX%03d", i / 20 + 1, i % 20 + 1);
    a0.va_names.push_back(name);
    a0.va_idx.push_back(i < 2 ? i : i + 3);
  }
  a0.va_names[0] = "VA01X001";
  a0.va_names[1] = "VA01X002";
  a0.va_names.back() = "VA19A009";
  a0.ev_poffsets = {EvPoffsetRow{{1638, 1671, 1668}}, EvPoffsetRow{{3250, 3276, 3273}},
                    EvPoffsetRow{{4153, 4182, 4179, 4176}},
                    EvPoffsetRow{{6385, 6437, 6434, 6431}}};
  std::string why;
  EXPECT_TRUE(day_tables_match_facts("DAY_A0", a0, &why)) << why;
  a0.va_idx.back() = 353;
  EXPECT_FALSE(day_tables_match_facts("DAY_A0", a0, &why));
  a0.va_idx.back() = 354;
  a0.ev_poffsets[2][4] = 1;
  EXPECT_FALSE(day_tables_match_facts("DAY_A0", a0, &why));
  EXPECT_NE(why.find("EVA11"), std::string::npos);
  // A day's facts are about that day only.
  EXPECT_TRUE(day_tables_match_facts("DAY_A1", DayTables(), &why));
  EXPECT_FALSE(day_tables_match_facts("DAY_B0", DayTables(), &why));
}

TEST(Translation, ActorNames) {
  const struct {
    int id;
    const char* name;
  } cases[] = {{0, "NONE"},         {1, "Player"},           {28, "Teacher"},
               {58, "Teacher"},     {61, "Teacher"},         {53, "Newspaper Club President"},
               {74, "Blue-haired stranger"}, {82, "Father (message)"}, {90, "Doctor"},
               {2, "Cast 02"},      {83, "Cast 83"},         {19, "Unknown 13"},
               {75, "Unknown 4B"},  {255, "Unknown FF"},     {89, "Cast 23 + Cast 24 + Cast 25"},
               {91, "Cast 20 + Cast 21"}};
  for (const auto& c : cases) EXPECT_STREQ(get_actor_name(c.id), c.name) << c.id;
  // Every id has a name, and the same call gives the same storage.
  std::set<int> cast;
  for (int i = 0; i < cast_name_count; i++) cast.insert(cast_names[i].id);
  EXPECT_EQ(cast, (std::set<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 20, 21, 22, 23, 24, 25, 26,
                                 27, 71, 83}));
  EXPECT_EQ(get_actor_name(200), get_actor_name(200));
}

TEST(Translation, CompareMd5) {
  const unsigned char abc[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                 0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
  const unsigned char empty[16] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                                   0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
  EXPECT_TRUE(compare_md5("abc", 3, abc));
  EXPECT_FALSE(compare_md5("abd", 3, abc));
  EXPECT_FALSE(compare_md5("abc", 2, abc));
  EXPECT_TRUE(compare_md5("", 0, empty));
}

}  // namespace
