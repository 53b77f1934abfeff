// Locating VA, EV and MO entries by position and name search, and replacing the texts of option groups.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <string>

#include "scn/scn_tables.h"
#include "tests/scn/scn_test_util.h"

using namespace scntest;

TEST(TalvoScnFile, FindVAByIndexFillsTheRecordFromItsPositionInsideTheWindow) {
  ScnBuilder b(400);
  b.SetVAArea(200);
  b.AddVA(0, "VA01X001", "Hello there.", 7);
  b.AddVA(1, "VA01X002", "Second line", 1);
  b.SetVARecord(2, 65000, b.AppendString("VA01X003"));  // its text lies outside
  b.AddVA(3, "VA01X004", "beyond");
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  VAType va{};
  EXPECT_FALSE(f.FindVAByIndex(0, "VA01X001", &va, false, false));  // no window yet
  ASSERT_TRUE(f.SetVASearch(200, 45) && f.FindVAByIndex(1, "VA01X002", &va, false, false));
  EXPECT_EQ((U16s{va.p_offset, va.name_p_offset, va.actor, uint16_t(f.GetVAIndex(&va))}), (U16s{215, 220, 1, 1}));
  EXPECT_EQ(string_at(f, va.text_offset) + "|" + string_at(f, va.name_offset), "Second line|VA01X002");
  // Index 3 == 45 / 15 is still inside the window; one past is not.
  EXPECT_TRUE(f.FindVAByIndex(3, "VA01X004", &va, false, false));
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.FindVAByIndex(4, nullptr, &va, false, false)); }),
            "Error: index out of bounds.\n");
  // Another record's name, no record, a text outside: false, and nothing is killed.
  stderr_of([&] {
    for (int i : {-1, 1, 2}) EXPECT_FALSE(f.FindVAByIndex(i, i == 2 ? "VA01X003" : "VA01X001", &va, true, false)) << i;
  });
  EXPECT_EQ(dead_area_count(f), 0);
  ASSERT_TRUE(f.FindVAByIndex(0, "VA01X001", &va, true, false));
  EXPECT_TRUE(has_dead_area(f, va.text_offset, 13));
  const uint16_t end = static_cast<uint16_t>(f.GetSize());
  EXPECT_FALSE(f.SetVASearch(end, 10) || f.SetEVSearch(end, 10));  // windows start inside
}

// Option groups are found by name then text pointers, by row, or from the fixed table; new texts go into an
// exact dead area back to back, or one by one.
TEST(TalvoScnFile, FindEVAndReplaceItsTexts) {
  ScnBuilder b(600);
  b.AddOptionGroup({150, 156, 153, 159}, "EVA11", {"yes", "no", "maybe"});
  b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  b.SetU16(190, 65000);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  EVType ev{}, three{}, two{};
  EXPECT_FALSE(f.FindEV("EVA11", &ev, true, false, false));  // no window
  ASSERT_TRUE(f.SetEVSearch(140, 100) && f.FindEV("EVA11", &three, true, true, false));
  EXPECT_EQ((U16s{three.name_offset, three.text2_offset, three.text3_offset, three.text3_p_offset}),
            (U16s{600, 610, 613, 159}));
  EXPECT_TRUE(has_dead_area(f, 606, 4 + 3 + 6));
  // By row; no third text, a pointer position past the end, texts past the end that cannot be killed.
  const uint16_t row[16] = {170, 173, 176}, bad_row[16] = {150, 156, 635}, outside[16] = {150, 190, 190};
  ASSERT_TRUE(f.FindEVByOffsets(row, "EVA05", &two, false, true, false));
  EXPECT_EQ((U16s{two.name_offset, two.text2_offset, two.text2_p_offset}), (U16s{619, 630, 176}));
  stderr_of([&] {
    EXPECT_FALSE(f.FindEVByOffsets(row, "EVA05", &ev, true, false, false) ||
                 f.FindEVByOffsets(bad_row, "EVA11", &ev, false, false, false) ||
                 f.FindEVByOffsets(outside, "EVA11", &ev, false, true, false));
  });
  // A third text for a two-text entry (and the reverse), a pointer position in the header: nothing written.
  const Bytes before = image_of(f);
  EVType bad = two;
  bad.text2_p_offset = 2;
  stderr_of([&] {
    EXPECT_FALSE(f.SetEVText(&two, "a", "b", "c", true, false) || f.SetEVText(&bad, "a", "b", nullptr, true, false) ||
                 f.SetEVText(&three, "a", "b", nullptr, true, false));
  });
  EXPECT_EQ(image_of(f), before);
  ASSERT_TRUE(f.SetEVText(&three, "Yes", "No", "Maybe", true, false));  // 13 bytes for the 13-byte area
  EXPECT_EQ(u16s_at(f, {156, 153, 159}), (U16s{606, 610, 613}));
  // No exact area: the first takes the front of the 11-byte area, the second is appended.
  const uint16_t size = static_cast<uint16_t>(f.GetSize());
  ASSERT_TRUE(f.SetEVText(&two, "Left!", "Right now, please", nullptr, true, false));
  EXPECT_EQ(u16s_at(f, {173, 176}), (U16s{625, size}));
}

// Fixed entries come from their table on their day only, without reading the file (killing their texts would
// read outside this small image and is refused).
TEST(TalvoScnFile, FixedOptionGroupsBelongToTheirDay) {
  const auto& r = talvo::scn_tables::fixed_ev_entries[0];
  EVType ev{};
  for (const char* day : {"DAY_B2", r.day}) {
    const bool fixed_day = std::string(day) == r.day, three = r.texts == 3;
    TalvoScnFile g(day);
    ASSERT_TRUE(load(g, ScnBuilder(200)) && g.SetEVSearch(100, 50));
    ASSERT_EQ(g.FindEV(r.name, &ev, three, false, false), fixed_day) << day;
    EXPECT_TRUE(!fixed_day || (ev.text1_p_offset == r.positions[1] && ev.text2_offset == r.offsets[2]));
    stderr_of([&] {
      EXPECT_FALSE(g.FindEV(r.name, &ev, !three, false, false) || g.FindEV(r.name, &ev, three, true, false));
    });
  }
}

// Option groups of many choices (MO): the name and every distinct text pointer, texts split at a separator.
TEST(TalvoScnFile, FindMOAndSplitItsText) {
  ScnBuilder b(600);
  b.AddOptionGroup({150, 153, 156, 159}, "BG30", {"one", "two", "three"});
  TalvoScnFile f("DAY_B2");
  MOType mo{};
  const uint16_t row[16] = {150, 153, 156, 159}, last_outside[16] = {150, 153, 156, 635};
  EXPECT_FALSE(f.FindMOByOffsets(row, "BG30", &mo, 3, true));  // no image
  ASSERT_TRUE(load(f, b) && f.SetEVSearch(140, 100) && f.FindMO("BG30", &mo, 3, true));
  EXPECT_TRUE(mo.text_p_offsets[2] == 159 && has_dead_area(f, mo.text_offsets[0], 4 + 4 + 6));
  EXPECT_EQ(take(f.GetMOText(&mo, '/')), "one/two/three");
  ASSERT_TRUE(f.SetEVSearch(140, 19));  // ends before the third text pointer
  EXPECT_FALSE(f.FindMO("BG30", &mo, 3, false));
  for (auto [r, count] : {std::pair<const uint16_t*, int>{row, 0}, {row, 16}, {last_outside, 3}}) {
    stderr_of([&, r = r, count = count] { EXPECT_FALSE(f.FindMOByOffsets(r, "BG30", &mo, count, false)); });
  }
  ASSERT_TRUE(f.FindMOByOffsets(row, "BG30", &mo, 3, false));
  const uint16_t area = mo.text_offsets[0];
  ASSERT_TRUE(f.SetMOText(&mo, "a/b/c", true, '/'));
  EXPECT_EQ(u16s_at(f, {153, 156, 159}), (U16s{area, uint16_t(area + 2), uint16_t(area + 4)}));
  // Fewer or more parts than choices: refused before anything changes.
  const Bytes before = image_of(f);
  stderr_of([&] { EXPECT_FALSE(f.SetMOText(&mo, "x/y", false, '/') || f.SetMOText(&mo, "1/2/3/4", false, '/')); });
  EXPECT_EQ(image_of(f), before);
  b.SetU16(159, b.GetU16(156));  // one pointer met twice is not two texts
  EXPECT_FALSE(load(f, b) && f.SetEVSearch(140, 100) && f.FindMO("BG30", &mo, 3, false));
}
