// Locating VA, EV and MO entries by position and name search, the exception tables, fixed option groups.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "scn/scn_tables.h"
#include "tests/scn/scn_test_util.h"

using namespace scntest;

namespace {

U16s ev_fields(const EVType& e) {
  return {e.name_offset,   e.text1_offset,   e.text2_offset,   e.text3_offset,
          e.name_p_offset, e.text1_p_offset, e.text2_p_offset, e.text3_p_offset};
}

}  // namespace

TEST(TalvoScnFile, FindVAByIndexFillsTheRecordFromItsPosition) {
  ScnBuilder b(400);
  b.SetVAArea(200);
  b.AddVA(0, "VA01X001", "Hello there.", 7);
  b.AddVA(1, "VA01X002", "Second line", 1);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  VAType va{};
  EXPECT_FALSE(f.FindVAByIndex(0, "VA01X001", &va, false, false));  // no window yet
  ASSERT_TRUE(f.SetVASearch(200, 30));
  ASSERT_TRUE(f.FindVAByIndex(1, "VA01X002", &va, false, false));
  EXPECT_EQ((U16s{va.p_offset, va.name_p_offset, va.actor}), (U16s{215, 220, 1}));
  EXPECT_EQ(string_at(f, va.text_offset) + "|" + string_at(f, va.name_offset), "Second line|VA01X002");
  for (auto [p, index] : {std::pair<int, int>{215, 1}, {200, 0}, {220, -1}, {185, -1}}) {
    va.p_offset = static_cast<uint16_t>(p);
    EXPECT_EQ(f.GetVAIndex(&va), index) << p;
  }
  // Without a name the record's own name comes back as a new[] copy.
  ASSERT_TRUE(f.FindVAByIndex(1, nullptr, &va, false, false));
  EXPECT_STREQ(va.name, "VA01X002");
  EXPECT_NE(va.name, reinterpret_cast<const char*>(f.GetData(false, nullptr)) + va.name_offset);
  delete[] va.name;
  // A name that is not the record's, or no record: false, and nothing is killed.
  EXPECT_FALSE(f.FindVAByIndex(1, "VA01X001", &va, true, false) || f.FindVAByIndex(-1, "VA01X001", &va, true, false));
  EXPECT_EQ(dead_area_count(f), 0);
  ASSERT_TRUE(f.FindVAByIndex(0, "VA01X001", &va, true, false));
  EXPECT_TRUE(has_dead_area(f, va.text_offset, 13));
  const uint16_t end = static_cast<uint16_t>(f.GetSize());
  EXPECT_FALSE(f.SetVASearch(end, 10) || f.SetEVSearch(end, 10));  // windows start inside
  EXPECT_EQ(f.GetVAStart(), 200);
}

TEST(TalvoScnFile, FindVAByIndexStopsAtTheWindowAndTheImage) {
  ScnBuilder b(7719 + 15 * 307 + 20);
  b.SetVAArea(7719);
  b.AddVA(306, "VF99X306", "last");
  b.AddVA(307, "VF99X307", "beyond");
  TalvoScnFile f("DAY_B1");
  ASSERT_TRUE(load(f, b) && f.SetVASearch(7719, 4600));  // index 306 == 4600 / 15 still counts
  VAType va{};
  EXPECT_TRUE(f.FindVAByIndex(306, "VF99X306", &va, false, false));
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.FindVAByIndex(307, "VF99X307", &va, false, false)); }),
            "Error: index out of bounds.\n");
  // Names and texts pointing outside, a record past the end.
  ScnBuilder c(260);
  c.SetVAArea(200);
  c.SetVARecord(0, 250, 65000);
  c.SetVARecord(1, 65000, 240);
  c.PutString(240, "VA01X002");
  ASSERT_TRUE(load(f, c) && f.SetVASearch(200, 6000));
  std::string err = stderr_of([&] {
    EXPECT_FALSE(f.FindVAByIndex(0, "VA01X001", &va, false, false));
    EXPECT_FALSE(f.FindVAByIndex(0, nullptr, &va, false, false));
    EXPECT_FALSE(f.FindVAByIndex(1, "VA01X002", &va, true, false));
    EXPECT_FALSE(f.FindVAByIndex(4, nullptr, &va, false, false));  // record at 260
  });
  EXPECT_NE(err.find("Error: no string at offset 65000"), std::string::npos) << err;
  EXPECT_NE(err.find("Error: VA record 4 lies outside the scn file."), std::string::npos) << err;
  EXPECT_EQ(dead_area_count(f), 0);
  // The last record may be cut short after its actor byte.
  ScnBuilder d(209);
  d.SetSavePrompt(90, "");
  d.SetVAArea(200);
  d.SetU16(200, 100);
  d.SetU16(205, 100);
  d.SetByte(208, 9);
  d.PutString(100, "VA01X009");
  EXPECT_EQ(locate_vas(f, d, {"VA01X009"}, false)[0].actor, 9);
}

TEST(TalvoScnFile, NameChecksAndExceptionTables) {
  for (const char* yes : {"VA29X025", "V1234567"}) EXPECT_TRUE(TalvoScnFile::LooksLikeVAName(yes)) << yes;
  for (const char* no : {"VA29X02", "VA29X0250", "WA29X025", "VAA9X025", "VA29X02a", "", (const char*)nullptr}) {
    EXPECT_FALSE(TalvoScnFile::LooksLikeVAName(no)) << (no ? no : "null");
  }
  // By name with position (q), or with value (w) wherever it lies.
  const std::tuple<bool, const char*, int, int, bool> exceptions[] = {  // VA or EV, name, w, q, expected
      {true, "VA07B006", 1, 9702, true},     {true, "VA07B006", 9702, 9703, false}, {true, "VA29X026", 0, 10845, false},
      {true, "VD13F008", 34369, 60000, true}, {true, "VD13F008", 34368, 1, false},  {false, "FC05a", 28341, 65535, true},
      {false, "FC05a", 14171, 0, false}};
  for (auto [va, name, w, q, want] : exceptions) {
    EXPECT_EQ(va ? TalvoScnFile::IsVAException(name, w, q) : TalvoScnFile::IsEVException(name, w, q), want) << name << w;
  }
  EXPECT_TRUE(TalvoScnFile::IsWarningException("VA29X025") && !TalvoScnFile::IsWarningException("VA07B006"));
}

TEST(TalvoScnFile, FindVASkipsExceptionPositionsAndWarnsOfDuplicates) {
  // A pointer to the text from 9475 (an exception position for VA29X025)
  // before the real record.
  for (const char* name : {"VA29X025", "VA29X026"}) {
    ScnBuilder b(10000);
    b.SetVAArea(9400);
    uint16_t real = b.AddVA(10, name, "the text");
    b.SetU16(9475, b.GetU16(real));
    TalvoScnFile f("DAY_A1");
    ASSERT_TRUE(load(f, b) && f.SetVASearch(9400, 600));
    VAType va{};
    std::string err = stderr_of([&] { ASSERT_TRUE(f.FindVA(name, &va, true, false)); });
    EXPECT_TRUE(has_dead_area(f, va.text_offset, 9));
    EXPECT_FALSE(f.FindVA("VA29X099", &va, false, false));
    // Elsewhere the earlier pointer is the record and the real one is
    // reported (VA29X025 is also a warning exception).
    char warning[80];
    std::snprintf(warning, sizeof warning, "Warning, duplicate in VA29X026 %x  (orig p_offset=2503)\n", real);
    const bool exception = std::string(name) == "VA29X025";
    EXPECT_EQ((U16s{va.p_offset, va.name_p_offset}), (U16s{exception ? real : uint16_t(9475), uint16_t(real + 5)}));
    EXPECT_EQ(err, exception ? "" : warning);
  }
}

TEST(TalvoScnFile, FindEVSearchesNameThenTextPointersOrTakesFixedEntries) {
  ScnBuilder b(600);
  b.AddOptionGroup({150, 156, 153, 159}, "EVA11", {"yes", "no", "maybe"});
  b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  EVType ev{};
  EXPECT_FALSE(f.FindEV("EVA11", &ev, true, false, false));  // no window
  ASSERT_TRUE(f.SetEVSearch(140, 100));
  ASSERT_TRUE(f.FindEV("EVA11", &ev, true, true, false));
  EXPECT_EQ(ev_fields(ev), (U16s{600, 606, 610, 613, 150, 156, 153, 159}));
  EXPECT_EQ(string_at(f, ev.text3_offset), "maybe");
  EXPECT_TRUE(has_dead_area(f, 606, 4 + 3 + 6));
  ASSERT_TRUE(f.FindEV("EVA05", &ev, false, false, false));
  EXPECT_EQ(ev_fields(ev), (U16s{619, 625, 630, 0, 170, 173, 176, 0}));
  EXPECT_FALSE(f.FindEV("EVA05", &ev, true, false, false));  // no third text
  const uint16_t row[16] = {150, 156, 153, 159}, bad_row[16] = {150, 156, 635, 0};
  EVType by_row{};
  ASSERT_TRUE(f.FindEVByOffsets(row, "EVA11", &by_row, true, false, false));
  EXPECT_EQ(ev_fields(by_row), (U16s{600, 606, 610, 613, 150, 156, 153, 159}));
  EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.FindEVByOffsets(bad_row, "EVA11", &by_row, false, false, false)); }), "");
  // On DAY_D1 FC05a's first text pointer is the one at 6628.
  ScnBuilder c(800);
  c.AddOptionGroup({300, 309, 306, 303}, "FC05a", {"a", "b", "c"});
  for (const char* day : {"DAY_D1", "DAY_B2"}) {
    TalvoScnFile g(day);
    ASSERT_TRUE(load(g, c) && g.SetEVSearch(290, 100) && g.FindEV("FC05a", &ev, true, false, false));
    EXPECT_EQ(ev.text1_p_offset, std::string(day) == "DAY_D1" ? 6628 : 309) << day;
  }
  // Fixed entries come from their table without reading the file; killing
  // their texts would read outside this small image and is refused. Another
  // day searches for the name instead.
  for (size_t i = 0; i < talvo::scn_tables::fixed_ev_entry_count; ++i) {
    const auto& r = talvo::scn_tables::fixed_ev_entries[i];
    const bool three = r.texts == 3;
    for (const char* day : {r.day, "DAY_B2"}) {
      TalvoScnFile g(day);
      ASSERT_TRUE(load(g, ScnBuilder(200)) && g.SetEVSearch(100, 50));
      EXPECT_FALSE(g.FindEV(r.name, &ev, !three, false, false)) << r.day << r.name;
      ASSERT_EQ(g.FindEV(r.name, &ev, three, false, false), day == r.day) << day << r.name;
      if (day != r.day) continue;
      EXPECT_EQ(ev_fields(ev), (U16s{r.offsets[0], r.offsets[1], r.offsets[2], r.offsets[3], r.positions[0],
                                     r.positions[1], r.positions[2], r.positions[3]}));
      EXPECT_NE(stderr_of([&] { EXPECT_FALSE(g.FindEV(r.name, &ev, three, true, false)); }), "");
    }
  }
}

TEST(TalvoScnFile, FindMONeedsTheNameAndEveryDistinctTextPointer) {
  for (bool twice : {false, true}) {
    ScnBuilder b(600);
    b.AddOptionGroup({150, 153, 156, 159}, "BG30", {"one", "two", "three"});
    if (twice) b.SetU16(159, b.GetU16(156));  // one pointer met twice is not two texts
    TalvoScnFile f("DAY_B2");
    ASSERT_TRUE(load(f, b) && f.SetEVSearch(140, 100));
    MOType mo{};
    ASSERT_EQ(f.FindMO("BG30", &mo, 3, true), !twice);
    if (twice) continue;
    EXPECT_EQ(mo.text_p_offsets[2], 159);
    EXPECT_TRUE(has_dead_area(f, mo.text_offsets[0], 4 + 4 + 6));
    EXPECT_EQ(take(f.GetMOText(&mo, '/')), "one/two/three");
    ASSERT_TRUE(f.SetEVSearch(140, 19));  // ends before the third text pointer
    EXPECT_FALSE(f.FindMO("BG30", &mo, 3, false));
    const uint16_t row[16] = {150, 153, 156, 159};
    ASSERT_TRUE(f.FindMOByOffsets(row, "BG30", &mo, 3, false));
    EXPECT_EQ(string_at(f, mo.text_offsets[1]), "two");
    for (int count : {0, 16}) {
      EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.FindMOByOffsets(row, "BG30", &mo, count, false)); }), "");
    }
  }
}
