// The duplicate repairs: copies of VA lines and option groups stored more than once are pointed at the text
// of the entry handled. VA copy positions are worked out by hand from the game's copy layout.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scn/scn_tables.h"
#include "tests/scn/scn_test_util.h"

using namespace scntest;

namespace {

struct Copy { uint16_t p; std::string name; };  // the copy's name pointer position, and the name it carries

// A day image with the entry at record 0 of a VA area at 200 and a copy record (name pointer at P, text
// pointer at P - 5) for each copy, large enough for wherever a wrong rule would look.
struct DupDay {
  ScnBuilder b;
  TalvoScnFile f;
  VAType va{};
  std::vector<uint16_t> copy_name_offsets;
  DupDay(const char* day, const char* entry, const std::vector<Copy>& copies) : b(25000), f(day) {
    b.SetVAArea(200);
    b.AddVA(0, entry, "entry text");
    b.AppendBytes({0xEE});  // spacers keep the dead areas of neighbouring strings apart
    for (const Copy& c : copies) {
      uint16_t name_at = b.AppendString(c.name);
      b.AppendString("copy of " + c.name);
      b.AppendBytes({0xEE});
      b.SetU16(c.p - 5, static_cast<uint16_t>(name_at + c.name.size() + 1));
      b.SetU16(c.p, name_at);
      copy_name_offsets.push_back(name_at);
    }
  }
  // Loads and locates the entry with the duplicate repair; returns stderr.
  std::string Locate(const char* entry, bool kill_areas) {
    return stderr_of([&] { va = locate_vas(f, b, {entry}, kill_areas, true)[0]; });
  }
  bool PointsAtEntry(uint16_t p) { return u16_at(f, p - 5) == va.text_offset && u16_at(f, p) == va.name_offset; }
};

}  // namespace

TEST(TalvoScnFile, DuplicateRulesReachEveryCopyAndNothingElse) {
  // untouched: name-pointer positions the repair must not reach
  struct Chain { const char *day, *name; std::vector<Copy> copies; std::vector<uint16_t> untouched; };
  const Chain chains[] = {
      // One copy per position kind (from one, times n, fixed, hundreds, tens) and name kind (the same, first
      // digit zeroed, fixed, by magnitude, first two digits zeroed).
      {"DAY_B1", "VF37B002", {{10739, "VF37B002"}}, {}}, {"DAY_C0", "VC04A103", {{17470, "VC04A003"}}, {}},
      {"DAY_C0", "VC04A206", {{17530, "VC04A006"}}, {}}, {"DAY_D3", "VD33E805", {{10391, "VD33E005"}}, {}},
      {"DAY_D6", "VD74A143", {{11207, "VD74A003"}}, {}}, {"DAY_D6", "VD80A112", {{12782, "VD80A002"}}, {}},
      // Chains from one name to the next (VB35B003 goes on to renumbered names with a fixed copy name).
      {"DAY_B2", "VB35B003", {{16077, "VB35B003"}, {16092, "VB35B001"}, {16107, "VB35B001"}}, {16062, 16122}},
      // Names just outside a rule: another day, past a range's end, a range without copy.
      {"DAY_B2", "VF37B002", {}, {}}, {"DAY_C0", "VC04A104", {}, {}}, {"DAY_D3", "VD33A402", {}, {}},
  };
  for (const Chain& c : chains) {
    SCOPED_TRACE(std::string(c.day) + " " + c.name);
    DupDay d(c.day, c.name, c.copies);
    for (uint16_t u : c.untouched) d.b.SetU16(u, 0x1234);
    EXPECT_EQ(d.Locate(c.name, true), "");
    // The entry's text and each copy's own name and text become dead areas.
    EXPECT_EQ(dead_area_count(d.f), 1 + static_cast<int>(c.copies.size()));
    for (size_t i = 0; i < c.copies.size(); ++i) {
      EXPECT_TRUE(d.PointsAtEntry(c.copies[i].p) && has_dead_area(d.f, d.copy_name_offsets[i], 26)) << c.copies[i].p;
    }
    for (uint16_t u : c.untouched) EXPECT_EQ(u16_at(d.f, u), 0x1234) << u;
    EXPECT_TRUE(!c.copies.empty() || image_of(d.f) == d.b.Build());
  }
}

TEST(TalvoScnFile, MovedTextsCarryTheirCopiesAlong) {
  const char* text = "A translated line that is longer";
  for (int mode = 0; mode < 3; ++mode) {  // copies repaired: 0 on lookup and write, 1 on lookup only, 2 on write only
    DupDay d("DAY_C0", "VC04A001", {{17260, "VC04A001"}, {17440, "VC04A001"}});
    const bool on_write = mode != 1;
    if (mode == 2) d.va = locate_vas(d.f, d.b, {"VC04A001"}, false)[0];
    if (mode != 2) d.Locate("VC04A001", mode == 0);
    ASSERT_TRUE(d.f.SetVAText(&d.va, text, mode == 0, on_write, false, false, false));
    EXPECT_EQ(d.PointsAtEntry(17260), on_write) << mode;
    EXPECT_EQ(string_at(d.f, u16_at(d.f, 17435)), on_write ? text : "entry text") << mode;
    // Without kill_areas the copies' own strings are not given up.
    EXPECT_TRUE(mode != 2 || !has_dead_area(d.f, d.copy_name_offsets[0], 26));
  }
}

TEST(TalvoScnFile, EveryOptionGroupCopyIsRepaired) {
  const std::vector<std::string> answers = {"first", "second", "third"};
  for (size_t n = 0; n < talvo::scn_tables::ev_copy_count; ++n) {
    const talvo::scn_tables::EVCopy& r = talvo::scn_tables::ev_copies[n];
    const int texts = r.offsets[3] != 0 ? 3 : 2;
    for (int variant = 0; variant < 3; ++variant) {  // 0 repaired, 1 wrong name, 2 shared position
      SCOPED_TRACE(std::string(r.day) + " " + r.name + " variant " + std::to_string(variant));
      ScnBuilder b(2000);
      b.PutString(r.offsets[0], variant == 1 ? "WRONG" : r.copy_name);
      for (int i = 1; i <= texts; ++i) {  // each copy text fills the room up to the next
        b.PutString(r.offsets[i], std::string(i < texts ? r.offsets[i + 1] - r.offsets[i] - 1 : 4, 'a'));
      }
      for (int i = 0; i <= texts; ++i) b.SetU16(r.positions[i], r.offsets[i]);
      std::vector<uint16_t> row = {1000, 1003, 1006, 1009};
      if (variant == 2) row[2] = r.positions[2];
      b.AddOptionGroup(row, r.name, std::vector<std::string>(answers.begin(), answers.begin() + texts));
      row.resize(16, 0);
      TalvoScnFile f(r.day);
      EVType ev{};
      std::string err = stderr_of([&] {
        ASSERT_TRUE(load(f, b) && f.FindEVByOffsets(row.data(), r.name, &ev, texts == 3, true, true));
      });
      EXPECT_EQ(err.empty(), variant == 0) << err;
      if (variant > 0) {  // refused: the copy keeps its texts
        EXPECT_EQ(u16_at(f, r.positions[1]), r.offsets[1]);
        continue;
      }
      // The name pointer stays; the text pointers follow the entry's.
      EXPECT_EQ(u16s_at(f, {r.positions[0], r.positions[1], r.positions[2], r.positions[texts == 3 ? 3 : 0]}),
                (U16s{r.offsets[0], ev.text1_offset, ev.text2_offset, texts == 3 ? ev.text3_offset : r.offsets[0]}));
      EXPECT_TRUE(has_dead_area(f, r.offsets[1], r.offsets[texts] + 5 - r.offsets[1]));
      // Setting new texts carries the copy along.
      ASSERT_TRUE(f.SetEVText(&ev, "A much longer first answer", "two", texts == 3 ? "three" : nullptr, true, true));
      EXPECT_EQ(string_at(f, u16_at(f, r.positions[1])), "A much longer first answer");
    }
  }
}
