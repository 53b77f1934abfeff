// Locating VA, EV and MO entries by position and by name search, the
// exception tables and the option groups at fixed offsets.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include "tests/scn/scn_test_util.h"

using namespace scntest;
using talvo::EVType;
using talvo::MOType;
using talvo::VAType;

namespace {

// A small day file: VA area at 200 with three records, EV area at 120.
struct SmallDay {
  ScnBuilder b{400};
  uint16_t va0, va1, va2;
  SmallDay() {
    b.SetVAArea(200);
    va0 = b.AddVA(0, "VA01X001", "Hello there.", 7);
    va1 = b.AddVA(1, "VA01X002", "Second line", 1);
    va2 = b.AddVA(2, "VA01X003", "Hello there.", 2);
  }
};

}  // namespace

TEST(TalvoScnFile, FindVAByIndexFillsTheRecordFromItsPosition) {
  SmallDay d;
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, d.b));
  VAType va{};
  EXPECT_FALSE(f.FindVAByIndex(0, "VA01X001", &va, false, false));  // no window yet
  ASSERT_TRUE(f.SetVASearch(200, 45));
  ASSERT_TRUE(f.FindVAByIndex(1, "VA01X002", &va, false, false));
  EXPECT_STREQ(va.name, "VA01X002");
  EXPECT_EQ(va.p_offset, 215);
  EXPECT_EQ(va.name_p_offset, 220);
  EXPECT_EQ(va.actor, 1);
  EXPECT_EQ(string_at(f, va.text_offset), "Second line");
  EXPECT_EQ(string_at(f, va.name_offset), "VA01X002");
  EXPECT_EQ(f.GetVAIndex(&va), 1);

  // Without a name the record's own name comes back as a new[] copy.
  VAType anon{};
  ASSERT_TRUE(f.FindVAByIndex(2, nullptr, &anon, false, false));
  EXPECT_STREQ(anon.name, "VA01X003");
  EXPECT_NE(anon.name, reinterpret_cast<const char*>(f.GetData(false, nullptr)) + anon.name_offset);
  delete[] anon.name;

  // A name that is not the record's: false, and nothing is killed.
  EXPECT_FALSE(f.FindVAByIndex(1, "VA01X001", &va, true, false));
  EXPECT_EQ(dead_area_count(f), 0);

  ASSERT_TRUE(f.FindVAByIndex(0, "VA01X001", &va, true, false));
  EXPECT_TRUE(has_dead_area(f, va.text_offset, 13));
  EXPECT_FALSE(f.FindVAByIndex(-1, "VA01X001", &va, false, false));
}

TEST(TalvoScnFile, FindVAByIndexAcceptsTheIndexEqualToLengthOver15) {
  ScnBuilder b(7719 + 15 * 307 + 20);
  b.SetVAArea(7719);
  b.AddVA(306, "VF99X306", "last");
  b.AddVA(307, "VF99X307", "beyond");
  TalvoScnFile f("DAY_B1");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.SetVASearch(7719, 4600));
  VAType va{};
  EXPECT_TRUE(f.FindVAByIndex(306, "VF99X306", &va, false, false));
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.FindVAByIndex(307, "VF99X307", &va, false, false)); }),
            "Error: index out of bounds.\n");
}

TEST(TalvoScnFile, FindVAByIndexNeverReadsOutsideTheImage) {
  // Records past the end, names pointing outside, unterminated strings.
  ScnBuilder b(260);
  b.SetVAArea(200);
  b.SetVARecord(0, 250, 65000);  // name pointer far outside
  b.SetVARecord(1, 65000, 240);  // text pointer outside
  b.PutString(240, "VA01X002");
  b.SetVARecord(2, 240, 240);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.SetVASearch(200, 6000));
  VAType va{};
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
  ScnBuilder c(209);
  c.SetVAArea(200);
  c.SetByte(208, 9);
  c.SetU16(200, 100);
  c.SetU16(205, 100);
  c.PutString(100, "VA01X009");
  c.SetSavePrompt(90, "");
  TalvoScnFile g("DAY_A0");
  ASSERT_TRUE(load(g, c));
  ASSERT_TRUE(g.SetVASearch(200, 15));
  ASSERT_TRUE(g.FindVAByIndex(0, "VA01X009", &va, false, false));
  EXPECT_EQ(va.actor, 9);
}

TEST(TalvoScnFile, SearchWindowsMustStartInsideTheImage) {
  ScnBuilder b(300);
  TalvoScnFile f("DAY_A0");
  EXPECT_FALSE(f.SetVASearch(10, 10));
  ASSERT_TRUE(load(f, b));
  EXPECT_FALSE(f.SetVASearch(300, 10));
  EXPECT_FALSE(f.SetEVSearch(300, 10));
  EXPECT_TRUE(f.SetVASearch(299, 10));
  EXPECT_TRUE(f.SetEVSearch(120, 100));
  EXPECT_EQ(f.GetVAStart(), 299);
  EXPECT_EQ(f.GetEVLength(), 100);
}

TEST(TalvoScnFile, GetVAIndexIsMinusOneOffTheRecordGrid) {
  SmallDay d;
  TalvoScnFile f("DAY_A0");
  VAType va{};
  va.p_offset = 230;
  EXPECT_EQ(f.GetVAIndex(&va), -1);  // no image
  ASSERT_TRUE(load(f, d.b));
  EXPECT_EQ(f.GetVAIndex(&va), -1);  // no window
  ASSERT_TRUE(f.SetVASearch(200, 45));
  for (auto [p, index] : {std::pair<int, int>{230, 2}, {200, 0}, {220, -1}, {199, -1}, {185, -1}}) {
    va.p_offset = static_cast<uint16_t>(p);
    EXPECT_EQ(f.GetVAIndex(&va), index) << p;
  }
}

TEST(TalvoScnFile, LooksLikeVANameChecksLengthAndDigitPlaces) {
  for (const char* yes : {"VA29X025", "V1234567", "VZ00Z000", "VX50X001"}) {
    EXPECT_TRUE(TalvoScnFile::LooksLikeVAName(yes)) << yes;
  }
  for (const char* no : {"VA29X02", "VA29X0250", "WA29X025", "VAA9X025", "VA29X02a", "va29x025",
                         "", "VA2 X025"}) {
    EXPECT_FALSE(TalvoScnFile::LooksLikeVAName(no)) << no;
  }
  EXPECT_FALSE(TalvoScnFile::LooksLikeVAName(nullptr));
}

TEST(TalvoScnFile, ExceptionTablesMatchNameWithPositionOrValue) {
  struct VACase {
    const char* name;
    uint16_t w, q;
    bool exception;
  };
  const VACase va_cases[] = {
      {"VA07B006", 1, 9382, true},     {"VA07B006", 1, 9702, true},
      {"VA07B006", 9382, 9383, false}, {"VA29X025", 0, 10845, true},
      {"VC13D015", 5, 20998, true},    {"VC21B001", 5, 22939, true},
      {"VV05X001", 5, 10615, true},    {"VV05X001", 5, 9341, false},
      {"VD13F008", 34369, 1, true},    {"VD13F008", 34369, 60000, true},
      {"VD13F008", 34368, 1, false},   {"VA29X026", 0, 10845, false},
  };
  for (const VACase& c : va_cases) {
    EXPECT_EQ(TalvoScnFile::IsVAException(c.name, c.w, c.q), c.exception)
        << c.name << " " << c.w << " " << c.q;
  }
  struct EVCase {
    const char* name;
    uint16_t w;
    bool exception;
  };
  const EVCase ev_cases[] = {
      {"EVA11", 14171, true}, {"FC05a", 28341, true}, {"FC05a", 16617, true},
      {"FC07a", 15805, true}, {"C14", 22936, true},   {"FC05a", 14171, false},
      {"EVA12", 14171, false},
  };
  for (const EVCase& c : ev_cases) {
    for (uint16_t q : {0, 1000, 65535}) {
      EXPECT_EQ(TalvoScnFile::IsEVException(c.name, c.w, q), c.exception) << c.name << " " << c.w;
    }
  }
  for (const char* n : {"VA02X009", "VF26E001", "VW12B009", "VX03X002"}) {
    EXPECT_TRUE(TalvoScnFile::IsWarningException(n)) << n;
  }
  EXPECT_FALSE(TalvoScnFile::IsWarningException("VA07B006"));
}

TEST(TalvoScnFile, FindVASkipsExceptionPositionsAndWarnsOfDuplicates) {
  // VA29X025's text is pointed at from 9475, an exception position; the real
  // record lies further on.
  ScnBuilder b(10000);
  b.SetVAArea(9400);
  uint16_t real = b.AddVA(10, "VA29X025", "the text");
  uint16_t text = b.GetU16(real);
  b.SetU16(9475, text);
  TalvoScnFile f("DAY_A1");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.SetVASearch(9400, 600));
  VAType va{};
  std::string err = stderr_of([&] { ASSERT_TRUE(f.FindVA("VA29X025", &va, false, false)); });
  EXPECT_EQ(va.p_offset, real);
  EXPECT_EQ(va.name_p_offset, real + 5);
  EXPECT_EQ(va.text_offset, text);
  EXPECT_EQ(err, "");  // a warning exception too

  // The same layout under another name: the earlier pointer is taken as the
  // record, and the real one is reported as its duplicate.
  ScnBuilder c(10000);
  c.SetVAArea(9400);
  uint16_t other = c.AddVA(10, "VA29X026", "the text");
  c.SetU16(9475, c.GetU16(other));
  TalvoScnFile g("DAY_A1");
  ASSERT_TRUE(load(g, c));
  ASSERT_TRUE(g.SetVASearch(9400, 600));
  err = stderr_of([&] { ASSERT_TRUE(g.FindVA("VA29X026", &va, true, false)); });
  EXPECT_EQ(va.p_offset, 9475);
  EXPECT_EQ(err, "Warning, duplicate in VA29X026 " + [&] {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", other);
    return std::string(buf);
  }() + "  (orig p_offset=2503)\n");
  EXPECT_TRUE(has_dead_area(g, va.text_offset, 9));
  EXPECT_FALSE(g.FindVA("VA29X099", &va, false, false));
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
  EXPECT_EQ(ev.name_p_offset, 150);
  EXPECT_EQ(ev.text1_p_offset, 156);
  EXPECT_EQ(ev.text2_p_offset, 153);
  EXPECT_EQ(ev.text3_p_offset, 159);
  EXPECT_EQ(string_at(f, ev.text3_offset), "maybe");
  EXPECT_TRUE(has_dead_area(f, ev.text1_offset, 4 + 3 + 6));

  ASSERT_TRUE(f.FindEV("EVA05", &ev, false, false, false));
  EXPECT_EQ(ev.text3_offset, 0);
  EXPECT_EQ(ev.text3_p_offset, 0);
  EXPECT_EQ(string_at(f, ev.text2_offset), "right");
  // Asking for three texts of a two-text group runs off the window.
  EXPECT_FALSE(f.FindEV("EVA05", &ev, true, false, false));

  // By position: the same fields from a catalogue row.
  const uint16_t row[16] = {150, 156, 153, 159};
  EVType by_row{};
  ASSERT_TRUE(f.FindEVByOffsets(row, "EVA11", &by_row, true, false, false));
  EXPECT_EQ(by_row.text1_offset, 606);
  EXPECT_EQ(by_row.name_offset, 600);
  EXPECT_EQ(by_row.text3_p_offset, 159);
  const uint16_t bad_row[16] = {150, 156, 635, 0};
  EXPECT_FALSE(stderr_of([&] {
    EXPECT_FALSE(f.FindEVByOffsets(bad_row, "EVA11", &by_row, false, false, false));
  }).empty());
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
      {"DAY_B1", "Hack2", false, {14165, 14171, 14186, 0, 6436, 6473, 6470, 0}},
      {"DAY_C0", "Hack1", true, {29469, 29475, 29482, 29499, 13463, 13490, 13535, 13532}},
      {"DAY_C1", "Hack2", false, {17311, 17318, 17333, 0, 3612, 3671, 3668, 0}},
      {"DAY_C1", "Hack5", false, {17673, 17680, 17701, 0, 4409, 4471, 4468, 0}},
      {"DAY_C1", "Hack6", false, {18451, 18457, 18472, 0, 7028, 7087, 7084, 0}},
      {"DAY_C1", "Hack7", true, {18643, 18649, 18662, 18673, 7636, 7653, 7723, 7720}},
      {"DAY_C1", "Hack8", false, {19289, 19295, 19310, 0, 9477, 9541, 9538, 0}},
      {"DAY_D5", "Hack1", true, {14377, 14382, 14391, 14402, 7240, 7293, 7290, 7287}},
  };
  ScnBuilder b(200);
  for (const Fixed& r : rows) {
    TalvoScnFile f(r.day);
    ASSERT_TRUE(load(f, b));
    ASSERT_TRUE(f.SetEVSearch(100, 50));
    EVType ev{};
    EXPECT_FALSE(f.FindEV(r.name, &ev, !r.three, false, false)) << r.day << r.name;
    ASSERT_TRUE(f.FindEV(r.name, &ev, r.three, false, false)) << r.day << r.name;
    const uint16_t got[8] = {ev.name_offset,    ev.text1_offset,   ev.text2_offset,
                             ev.text3_offset,   ev.name_p_offset,  ev.text1_p_offset,
                             ev.text2_p_offset, ev.text3_p_offset};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(got[i], r.v[i]) << r.day << " " << r.name << " " << i;
    // Killing their texts would read outside this small image: refused.
    EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(f.FindEV(r.name, &ev, r.three, true, false)); }).empty());
  }
  // Another day searches for the same name instead.
  TalvoScnFile other("DAY_B2");
  ASSERT_TRUE(load(other, b));
  ASSERT_TRUE(other.SetEVSearch(100, 50));
  EVType ev{};
  EXPECT_FALSE(other.FindEV("Hack1", &ev, false, false, false));
}

TEST(TalvoScnFile, FindEVOnDayD1ReportsTheFC05aPointerAt6628) {
  ScnBuilder b(800);
  b.AddOptionGroup({300, 309, 306, 303}, "FC05a", {"a", "b", "c"});
  for (const char* day : {"DAY_D1", "DAY_B2"}) {
    TalvoScnFile f(day);
    ASSERT_TRUE(load(f, b));
    ASSERT_TRUE(f.SetEVSearch(290, 100));
    EVType ev{};
    ASSERT_TRUE(f.FindEV("FC05a", &ev, true, false, false));
    EXPECT_EQ(ev.text1_p_offset, std::string(day) == "DAY_D1" ? 6628 : 309) << day;
  }
}

TEST(TalvoScnFile, FindMONeedsTheNameAndEveryDistinctTextPointer) {
  ScnBuilder b(600);
  b.AddOptionGroup({150, 153, 156, 159}, "BG30", {"one", "two", "three"});
  TalvoScnFile f("DAY_B2");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.SetEVSearch(140, 100));
  MOType mo{};
  ASSERT_TRUE(f.FindMO("BG30", &mo, 3, true));
  EXPECT_EQ(mo.count, 3);
  EXPECT_EQ(mo.text_p_offsets[2], 159);
  EXPECT_EQ(mo.text_offsets[3], 65535);
  EXPECT_TRUE(has_dead_area(f, mo.text_offsets[0], 4 + 4 + 6));
  char* joined = f.GetMOText(&mo, '/');
  EXPECT_STREQ(joined, "one/two/three");
  std::free(joined);

  // A window that ends before the third text pointer: not found.
  ASSERT_TRUE(f.SetEVSearch(140, 19));
  EXPECT_FALSE(f.FindMO("BG30", &mo, 3, false));
  // The same pointer met twice does not stand for two texts.
  ScnBuilder c(600);
  c.AddOptionGroup({150, 153, 156, 159}, "BG30", {"one", "two", "three"});
  c.SetU16(159, c.GetU16(156));
  TalvoScnFile g("DAY_B2");
  ASSERT_TRUE(load(g, c));
  ASSERT_TRUE(g.SetEVSearch(140, 100));
  EXPECT_FALSE(g.FindMO("BG30", &mo, 3, false));

  const uint16_t row[16] = {150, 153, 156, 159};
  ASSERT_TRUE(f.FindMOByOffsets(row, "BG30", &mo, 3, false));
  EXPECT_EQ(string_at(f, mo.text_offsets[1]), "two");
  EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(f.FindMOByOffsets(row, "BG30", &mo, 16, false)); }).empty());
  EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(f.FindMOByOffsets(row, "BG30", &mo, 0, false)); }).empty());
}
