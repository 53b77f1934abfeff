// Locating VA, EV and MO entries by position and by name search, the
// exception tables and the option groups at fixed offsets.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/scn/scn_test_util.h"

using namespace scntest;

TEST(TalvoScnFile, FindVAByIndexFillsTheRecordFromItsPosition) {
  ScnBuilder b(400);
  b.SetVAArea(200);
  b.AddVA(0, "VA01X001", "Hello there.", 7);
  b.AddVA(1, "VA01X002", "Second line", 1);
  b.AddVA(2, "VA01X003", "Hello there.", 2);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  VAType va{};
  EXPECT_FALSE(f.FindVAByIndex(0, "VA01X001", &va, false, false));  // no window yet
  ASSERT_TRUE(f.SetVASearch(200, 45));
  ASSERT_TRUE(f.FindVAByIndex(1, "VA01X002", &va, false, false));
  EXPECT_EQ(va.p_offset, 215);
  EXPECT_EQ(va.name_p_offset, 220);
  EXPECT_EQ(va.actor, 1);
  EXPECT_EQ(string_at(f, va.text_offset), "Second line");
  EXPECT_EQ(string_at(f, va.name_offset), "VA01X002");
  for (auto [p, index] : {std::pair<int, int>{215, 1}, {200, 0}, {220, -1}, {185, -1}}) {
    va.p_offset = static_cast<uint16_t>(p);
    EXPECT_EQ(f.GetVAIndex(&va), index) << p;
  }
  // Without a name the record's own name comes back as a new[] copy.
  VAType anon{};
  ASSERT_TRUE(f.FindVAByIndex(2, nullptr, &anon, false, false));
  EXPECT_STREQ(anon.name, "VA01X003");
  EXPECT_NE(anon.name, reinterpret_cast<const char*>(f.GetData(false, nullptr)) + anon.name_offset);
  delete[] anon.name;
  // A name that is not the record's: false, and nothing is killed.
  EXPECT_FALSE(f.FindVAByIndex(1, "VA01X001", &va, true, false));
  EXPECT_FALSE(f.FindVAByIndex(-1, "VA01X001", &va, true, false));
  EXPECT_EQ(dead_area_count(f), 0);
  ASSERT_TRUE(f.FindVAByIndex(0, "VA01X001", &va, true, false));
  EXPECT_TRUE(has_dead_area(f, va.text_offset, 13));
  // Search windows start inside the image.
  EXPECT_FALSE(f.SetVASearch(static_cast<uint16_t>(f.GetSize()), 10));
  EXPECT_FALSE(f.SetEVSearch(static_cast<uint16_t>(f.GetSize()), 10));
  EXPECT_EQ(f.GetVAStart(), 200);
}

TEST(TalvoScnFile, FindVAByIndexStopsAtTheWindowAndTheImage) {
  ScnBuilder b(7719 + 15 * 307 + 20);
  b.SetVAArea(7719);
  b.AddVA(306, "VF99X306", "last");
  b.AddVA(307, "VF99X307", "beyond");
  TalvoScnFile f("DAY_B1");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.SetVASearch(7719, 4600));  // index 306 == 4600 / 15 still counts
  VAType va{};
  EXPECT_TRUE(f.FindVAByIndex(306, "VF99X306", &va, false, false));
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.FindVAByIndex(307, "VF99X307", &va, false, false)); }),
            "Error: index out of bounds.\n");

  // Records past the end, names and texts pointing outside.
  ScnBuilder c(260);
  c.SetVAArea(200);
  c.SetVARecord(0, 250, 65000);
  c.SetVARecord(1, 65000, 240);
  c.PutString(240, "VA01X002");
  TalvoScnFile g("DAY_A0");
  ASSERT_TRUE(load(g, c));
  ASSERT_TRUE(g.SetVASearch(200, 6000));
  std::string err = stderr_of([&] {
    EXPECT_FALSE(g.FindVAByIndex(0, "VA01X001", &va, false, false));
    EXPECT_FALSE(g.FindVAByIndex(0, nullptr, &va, false, false));
    EXPECT_FALSE(g.FindVAByIndex(1, "VA01X002", &va, true, false));
    EXPECT_FALSE(g.FindVAByIndex(4, nullptr, &va, false, false));  // record at 260
  });
  EXPECT_NE(err.find("Error: no string at offset 65000"), std::string::npos) << err;
  EXPECT_NE(err.find("Error: VA record 4 lies outside the scn file."), std::string::npos) << err;
  EXPECT_EQ(dead_area_count(g), 0);
  // The last record may be cut short after its actor byte.
  ScnBuilder d(209);
  d.SetSavePrompt(90, "");
  d.SetVAArea(200);
  d.SetU16(200, 100);
  d.SetU16(205, 100);
  d.SetByte(208, 9);
  d.PutString(100, "VA01X009");
  TalvoScnFile h("DAY_A0");
  EXPECT_EQ(locate_vas(h, d, {"VA01X009"}, false)[0].actor, 9);
}

TEST(TalvoScnFile, NameChecksAndExceptionTables) {
  for (const char* yes : {"VA29X025", "V1234567", "VZ00Z000"}) EXPECT_TRUE(TalvoScnFile::LooksLikeVAName(yes)) << yes;
  for (const char* no : {"VA29X02", "VA29X0250", "WA29X025", "VAA9X025", "VA29X02a", "", "VA2 X025"}) {
    EXPECT_FALSE(TalvoScnFile::LooksLikeVAName(no)) << no;
  }
  EXPECT_FALSE(TalvoScnFile::LooksLikeVAName(nullptr));
  struct VACase {
    const char* name;
    uint16_t w, q;
    bool exception;
  };
  const VACase va_cases[] = {
      {"VA07B006", 1, 9382, true},   {"VA07B006", 1, 9702, true},     {"VA07B006", 9382, 9383, false},
      {"VA29X025", 0, 10845, true},  {"VV05X001", 5, 10615, true},    {"VV05X001", 5, 9341, false},
      {"VD13F008", 34369, 1, true},  {"VD13F008", 34368, 1, false},   {"VA29X026", 0, 10845, false},
  };
  for (const VACase& c : va_cases) {
    EXPECT_EQ(TalvoScnFile::IsVAException(c.name, c.w, c.q), c.exception) << c.name << " " << c.w << " " << c.q;
  }
  const std::pair<const char*, uint16_t> ev_yes[] = {{"EVA11", 14171}, {"FC05a", 28341}, {"C14", 22936}};
  for (auto [name, w] : ev_yes) {
    EXPECT_TRUE(TalvoScnFile::IsEVException(name, w, 65535)) << name;
    EXPECT_FALSE(TalvoScnFile::IsEVException(name, static_cast<uint16_t>(w + 1), 0)) << name;
  }
  EXPECT_TRUE(TalvoScnFile::IsWarningException("VA29X025"));
  EXPECT_FALSE(TalvoScnFile::IsWarningException("VA07B006"));
}

TEST(TalvoScnFile, FindVASkipsExceptionPositionsAndWarnsOfDuplicates) {
  // A pointer to the text from 9475 (an exception position for VA29X025)
  // before the real record at 9550.
  for (const char* name : {"VA29X025", "VA29X026"}) {
    ScnBuilder b(10000);
    b.SetVAArea(9400);
    uint16_t real = b.AddVA(10, name, "the text");
    b.SetU16(9475, b.GetU16(real));
    TalvoScnFile f("DAY_A1");
    ASSERT_TRUE(load(f, b));
    ASSERT_TRUE(f.SetVASearch(9400, 600));
    VAType va{};
    std::string err = stderr_of([&] { ASSERT_TRUE(f.FindVA(name, &va, true, false)); });
    EXPECT_TRUE(has_dead_area(f, va.text_offset, 9));
    if (std::string(name) == "VA29X025") {
      EXPECT_EQ(va.p_offset, real);
      EXPECT_EQ(va.name_p_offset, real + 5);
      EXPECT_EQ(err, "");  // a warning exception too
      EXPECT_FALSE(f.FindVA("VA29X099", &va, false, false));
      continue;
    }
    // Elsewhere the earlier pointer is the record; the real one is reported.
    EXPECT_EQ(va.p_offset, 9475);
    char expected[80];
    std::snprintf(expected, sizeof expected, "Warning, duplicate in VA29X026 %x  (orig p_offset=2503)\n", real);
    EXPECT_EQ(err, expected);
  }
}

TEST(TalvoScnFile, FindEVSearchesNameThenTextPointers) {
  ScnBuilder b(600);
  b.AddOptionGroup({150, 156, 153, 159}, "EVA11", {"yes", "no", "maybe"});
  b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  EVType ev{};
  EXPECT_FALSE(f.FindEV("EVA11", &ev, true, false, false));  // no window
  ASSERT_TRUE(f.SetEVSearch(140, 100));
  ASSERT_TRUE(f.FindEV("EVA11", &ev, true, true, false));
  const uint16_t got[] = {ev.name_p_offset, ev.text1_p_offset, ev.text2_p_offset, ev.text3_p_offset};
  EXPECT_EQ(std::vector<uint16_t>(got, got + 4), (std::vector<uint16_t>{150, 156, 153, 159}));
  EXPECT_EQ(string_at(f, ev.text3_offset), "maybe");
  EXPECT_TRUE(has_dead_area(f, ev.text1_offset, 4 + 3 + 6));
  ASSERT_TRUE(f.FindEV("EVA05", &ev, false, false, false));
  EXPECT_EQ(ev.text3_p_offset, 0);
  EXPECT_EQ(string_at(f, ev.text2_offset), "right");
  EXPECT_FALSE(f.FindEV("EVA05", &ev, true, false, false));  // no third text

  const uint16_t row[16] = {150, 156, 153, 159};
  EVType by_row{};
  ASSERT_TRUE(f.FindEVByOffsets(row, "EVA11", &by_row, true, false, false));
  EXPECT_EQ(by_row.name_offset, 600);
  EXPECT_EQ(by_row.text1_offset, 606);
  const uint16_t bad_row[16] = {150, 156, 635, 0};
  EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.FindEVByOffsets(bad_row, "EVA11", &by_row, false, false, false)); }), "");

  // On DAY_D1 FC05a's first text pointer is the one at 6628.
  ScnBuilder c(800);
  c.AddOptionGroup({300, 309, 306, 303}, "FC05a", {"a", "b", "c"});
  for (const char* day : {"DAY_D1", "DAY_B2"}) {
    TalvoScnFile g(day);
    ASSERT_TRUE(load(g, c));
    ASSERT_TRUE(g.SetEVSearch(290, 100));
    ASSERT_TRUE(g.FindEV("FC05a", &ev, true, false, false));
    EXPECT_EQ(ev.text1_p_offset, std::string(day) == "DAY_D1" ? 6628 : 309) << day;
  }
}

TEST(TalvoScnFile, FindEVTakesFixedEntriesWithoutReadingTheFile) {
  struct Fixed {
    const char* day;
    const char* name;
    bool three;
    uint16_t v[8];
  };
  const Fixed rows[] = {
      {"DAY_B1", "Hack1", false, {12787, 12793, 12812, 0, 1916, 1959, 1956, 0}},
      {"DAY_C0", "Hack1", true, {29469, 29475, 29482, 29499, 13463, 13490, 13535, 13532}},
      {"DAY_C1", "Hack8", false, {19289, 19295, 19310, 0, 9477, 9541, 9538, 0}},
      {"DAY_D5", "Hack1", true, {14377, 14382, 14391, 14402, 7240, 7293, 7290, 7287}},
  };
  ScnBuilder b(200);
  for (const char* other_day : {"", "DAY_B2"}) {
    for (const Fixed& r : rows) {
      TalvoScnFile f(*other_day ? other_day : r.day);
      ASSERT_TRUE(load(f, b));
      ASSERT_TRUE(f.SetEVSearch(100, 50));
      EVType ev{};
      if (*other_day) {  // another day searches for the name instead
        EXPECT_FALSE(f.FindEV(r.name, &ev, r.three, false, false));
        continue;
      }
      EXPECT_FALSE(f.FindEV(r.name, &ev, !r.three, false, false)) << r.day << r.name;
      ASSERT_TRUE(f.FindEV(r.name, &ev, r.three, false, false)) << r.day << r.name;
      const uint16_t got[8] = {ev.name_offset,   ev.text1_offset,   ev.text2_offset,   ev.text3_offset,
                               ev.name_p_offset, ev.text1_p_offset, ev.text2_p_offset, ev.text3_p_offset};
      EXPECT_EQ(std::vector<uint16_t>(got, got + 8), std::vector<uint16_t>(r.v, r.v + 8)) << r.day << r.name;
      // Killing their texts would read outside this small image: refused.
      EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.FindEV(r.name, &ev, r.three, true, false)); }), "");
    }
  }
}

TEST(TalvoScnFile, FindMONeedsTheNameAndEveryDistinctTextPointer) {
  for (bool twice : {false, true}) {
    ScnBuilder b(600);
    b.AddOptionGroup({150, 153, 156, 159}, "BG30", {"one", "two", "three"});
    if (twice) b.SetU16(159, b.GetU16(156));  // one pointer met twice is not two texts
    TalvoScnFile f("DAY_B2");
    ASSERT_TRUE(load(f, b));
    ASSERT_TRUE(f.SetEVSearch(140, 100));
    MOType mo{};
    ASSERT_EQ(f.FindMO("BG30", &mo, 3, true), !twice);
    if (twice) continue;
    EXPECT_EQ(mo.text_p_offsets[2], 159);
    EXPECT_TRUE(has_dead_area(f, mo.text_offsets[0], 4 + 4 + 6));
    char* joined = f.GetMOText(&mo, '/');
    EXPECT_STREQ(joined, "one/two/three");
    std::free(joined);
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
