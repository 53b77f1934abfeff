// The duplicate repairs: copies of VA lines and option groups stored more than once are pointed at the text
// of the entry handled. VA copy positions are worked out by hand from the game's copy layout.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scn/scn_tables.h"
#include "tests/scn/scn_test_util.h"

using namespace scntest;

namespace {

struct Copy { uint16_t p; std::string name; };  // the copy's name pointer position, and the name it carries

// A day image with the entry at record 0 of a VA area at `va_start` and a
// copy record (name pointer at P, text pointer at P - 5) for each copy.
struct DupDay {
  ScnBuilder b;
  TalvoScnFile f;
  VAType va{};
  std::vector<uint16_t> copy_name_offsets;
  // `min_script` keeps positions a test writes to inside the filler region.
  DupDay(const char* day, const char* entry, const std::vector<Copy>& copies, uint16_t va_start = 200,
         uint32_t min_script = 0)
      : b(std::max(va_start + 20u, min_script)), f(day) {
    for (const Copy& c : copies) b.PadTo(c.p + 10u);
    b.SetVAArea(va_start);
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

TEST(TalvoScnFile, CopyRowsFindTheirCopiesAndOtherNamesChangeNothing) {
  struct Row { const char *day, *name; uint16_t p; const char* copy_name; };  // p 0: no copy
  const Row rows[] = {
      {"DAY_B1", "VF37B002", 10739, "VF37B002"}, {"DAY_B2", "VB35B093", 16077, "VB35B001"}, {"DAY_B2", "VB37X011", 18312, "VB37X011"},
      {"DAY_C0", "VC02A003", 16945, "VC02A003"}, {"DAY_C0", "VC04A103", 17470, "VC04A003"}, {"DAY_C0", "VC04A206", 17530, "VC04A006"},
      {"DAY_C0", "VC12A020", 20590, "VC12A020"}, {"DAY_C2", "VC43D002", 11106, "VC43D002"}, {"DAY_C2", "VC47D003", 14571, "VC47D003"},
      {"DAY_C3", "VC72A006", 20092, "VC72A006"}, {"DAY_D1", "VD13F106", 13258, "VD13F006"}, {"DAY_D1", "VD13F207", 14158, "VD13F007"},
      {"DAY_D3", "VD33A150", 9581, "VD33A050"}, {"DAY_D3", "VD33A499", 10721, "VD33A099"}, {"DAY_D3", "VD33A803", 9821, "VD33A003"},
      {"DAY_D3", "VD33A909", 10046, "VD33A009"}, {"DAY_D3", "VD33A933", 10361, "VD33A003"}, {"DAY_D3", "VD33E105", 9446, "VD33E005"},
      {"DAY_D4", "VD39D003", 12734, "VD39D003"}, {"DAY_D5", "VV03C003", 11501, "VV03C003"}, {"DAY_D6", "VD74A123", 11057, "VD74A003"},
      {"DAY_D6", "VD80A112", 12782, "VD80A002"}, {"DAY_D6", "VJ11X002", 14282, "VJ11X002"}, {"DAY_B2", "VF37B002", 0, ""},
      {"DAY_C0", "VC04A104", 0, ""}, {"DAY_C0", "VC12A027", 0, ""}, {"DAY_C2", "VC46D008", 0, ""},
      {"DAY_D1", "VD13F115", 0, ""}, {"DAY_D3", "VD33A402", 0, ""}, {"DAY_D3", "VD33A921", 0, ""},
      {"DAY_A0", "VD74A001", 0, ""}, {"DAY_D6", "VX01X001", 0, ""},
  };
  for (const Row& r : rows) {
    const std::string where = std::string(r.day) + " " + r.name;
    if (r.p) {
      DupDay d(r.day, r.name, {{r.p, r.copy_name}});
      d.Locate(r.name, false);
      EXPECT_TRUE(d.PointsAtEntry(r.p)) << where;
      continue;
    }
    DupDay d(r.day, r.name, {}, 200, 25000);
    EXPECT_EQ(d.Locate(r.name, true), "") << where;
    EXPECT_EQ(image_of(d.f), d.b.Build()) << where;
    EXPECT_EQ(dead_area_count(d.f), 1) << where;  // the entry's own text
  }
}

TEST(TalvoScnFile, DuplicateChainsReachEveryCopy) {
  // untouched: name-pointer positions the chain must not reach
  struct Chain { const char *day, *name; std::vector<Copy> copies; std::vector<uint16_t> untouched; };
  auto run = [](const char* name, std::vector<uint16_t> ps) {
    std::vector<Copy> v;
    for (uint16_t p : ps) v.push_back({p, name});
    return v;
  };
  std::vector<uint16_t> d74, d80;
  for (int k = 0; k <= 14; ++k) d74.push_back(static_cast<uint16_t>(10127 + 75 * k));
  for (int j = 0; j <= 10; ++j) d80.push_back(static_cast<uint16_t>(12377 + 30 * j));
  d80.push_back(12767);
  const std::vector<uint16_t> d33e = {9311, 9446, 9581, 9716, 9851, 9986, 10121, 10256, 10391};
  std::vector<uint16_t> d33a = {8771, 8906, 9041, 9176};
  d33a.insert(d33a.end(), d33e.begin(), d33e.end());
  const Chain chains[] = {
      {"DAY_B2", "VB35B001", run("VB35B001", {16047, 16062, 16077, 16092, 16107}), {16122}},
      {"DAY_B2", "VB35B003", {{16077, "VB35B003"}, {16092, "VB35B001"}, {16107, "VB35B001"}}, {16062, 16122}},
      {"DAY_C0", "VC04A001", run("VC04A001", {17260, 17440}), {17275}},
      {"DAY_C0", "VC04A006", run("VC04A006", {17335, 17425, 17530}), {}},
      {"DAY_D1", "VD13F007", run("VD13F007", {12343, 13273, 14158}), {}},
      {"DAY_D1", "VD13F006", run("VD13F006", {12328, 13258}), {14143}},
      {"DAY_D3", "VD33A005", run("VD33A005", d33a), {10526}},
      {"DAY_D3", "VD33A004", run("VD33A004", {8756, 9026}), {8891, 9161}},
      {"DAY_D3", "VD33E005", run("VD33E005", d33e), {10526}},
      {"DAY_D6", "VD74A001", run("VD74A001", d74), {11252}},
      {"DAY_D6", "VD80A001", run("VD80A001", d80), {12797}},
  };
  for (const Chain& c : chains) {
    uint32_t far = 0;
    for (uint16_t u : c.untouched) far = std::max<uint32_t>(far, u + 64u);
    DupDay d(c.day, c.name, c.copies, 200, far);
    for (uint16_t u : c.untouched) d.b.SetU16(u, 0x1234);
    EXPECT_EQ(d.Locate(c.name, true), "") << c.name;
    for (size_t i = 0; i < c.copies.size(); ++i) {  // each copy's own name and text become one dead area
      EXPECT_TRUE(d.PointsAtEntry(c.copies[i].p) && has_dead_area(d.f, d.copy_name_offsets[i], 26))
          << c.name << " copy at " << c.copies[i].p;
    }
    for (uint16_t u : c.untouched) EXPECT_EQ(u16_at(d.f, u), 0x1234) << c.name << " at " << u;
  }
}

TEST(TalvoScnFile, DuplicateRepairStopsOnAWrongNameOrASharedOffset) {
  const char* wrong_name = "Duplicate has not same name!\n";
  const char* shared = "Duplicate has some same offset as source!\n";
  // A wrong name first stops the whole chain; a wrong name second keeps the first repair.
  for (bool first_wrong : {true, false}) {
    DupDay a("DAY_C0", "VC04A001", {{17260, first_wrong ? "VC04A009" : "VC04A001"},
                                    {17440, first_wrong ? "VC04A001" : "VC04A101"}});
    EXPECT_EQ(a.Locate("VC04A001", false), wrong_name);
    EXPECT_EQ(a.PointsAtEntry(17260), !first_wrong);
    EXPECT_FALSE(a.PointsAtEntry(17440));
  }
  // The entry itself lies where its copy is expected.
  DupDay c("DAY_C0", "VC04A001", {{17440, "VC04A001"}}, 17255);
  EXPECT_EQ(c.Locate("VC04A001", false), shared);
  EXPECT_FALSE(c.PointsAtEntry(17440));
  // A copy already showing the entry's name.
  DupDay d("DAY_C0", "VC04A002", {{17275, "VC04A002"}});
  d.b.SetU16(17275, d.b.GetU16(d.b.VARecord(0) + 5));
  EXPECT_EQ(d.Locate("VC04A002", false), shared);
  DupDay e("DAY_C0", "VC04A001", {});
  EXPECT_EQ(e.Locate("VC04A001", false), "Error: duplicate of VC04A001 at 17260 lies outside the scn file.\n");
}

TEST(TalvoScnFile, MovedTextsCarryTheirCopiesAlong) {
  for (bool fix : {true, false}) {
    DupDay d("DAY_C0", "VC04A001", {{17260, "VC04A001"}, {17440, "VC04A001"}});
    d.Locate("VC04A001", fix);
    ASSERT_TRUE(d.f.SetVAText(&d.va, "A translated line that is longer", fix, fix, false, false, false));
    EXPECT_EQ(d.PointsAtEntry(17260), fix);
    EXPECT_EQ(string_at(d.f, u16_at(d.f, 17435)), fix ? "A translated line that is longer" : "entry text");
  }
}

TEST(TalvoScnFile, EveryOptionGroupCopyIsRepaired) {
  for (size_t n = 0; n < talvo::scn_tables::ev_copy_count; ++n) {
    const talvo::scn_tables::EVCopy& r = talvo::scn_tables::ev_copies[n];
    const bool three = r.offsets[3] != 0;
    for (int variant = 0; variant < 3; ++variant) {  // 0 repaired, 1 wrong name, 2 shared position
      ScnBuilder b(2000);
      b.PutString(r.offsets[0], variant == 1 ? "WRONG" : r.copy_name);
      b.PutString(r.offsets[1], std::string(r.offsets[2] - r.offsets[1] - 1, 'a'));
      b.PutString(r.offsets[2], std::string(three ? r.offsets[3] - r.offsets[2] - 1 : 4, 'b'));
      if (three) b.PutString(r.offsets[3], "cccc");
      for (int i = 0; i < (three ? 4 : 3); ++i) b.SetU16(r.positions[i], r.offsets[i]);
      std::vector<uint16_t> row = {1000, 1003, 1006, 1009};
      if (variant == 2) row[2] = r.positions[2];
      b.AddOptionGroup(row, r.name, three ? std::vector<std::string>{"first", "second", "third"}
                                          : std::vector<std::string>{"first", "second"});
      row.resize(16, 0);
      TalvoScnFile f(r.day);
      ASSERT_TRUE(load(f, b));
      EVType ev{};
      std::string err = stderr_of([&] { ASSERT_TRUE(f.FindEVByOffsets(row.data(), r.name, &ev, three, true, true)); });
      const std::string where = std::string(r.day) + " " + r.name + " variant " + std::to_string(variant);
      EXPECT_EQ(err, variant == 0 ? "" : variant == 1 ? "Duplicate has not same name!\n"
                                                      : "Duplicate has some same offset as source!\n") << where;
      if (variant > 0) {
        EXPECT_EQ(u16_at(f, r.positions[1]), r.offsets[1]) << where;
        continue;
      }
      // The name pointer stays; the text pointers follow the entry's.
      EXPECT_EQ(u16s_at(f, {r.positions[0], r.positions[1], r.positions[2], three ? r.positions[3] : r.positions[0]}),
                (U16s{r.offsets[0], ev.text1_offset, ev.text2_offset, three ? ev.text3_offset : r.offsets[0]})) << where;
      EXPECT_TRUE(has_dead_area(f, r.offsets[1], static_cast<uint16_t>(r.offsets[three ? 3 : 2] + 5 - r.offsets[1])))
          << where;
      // Setting new texts carries the copy along.
      ASSERT_TRUE(f.SetEVText(&ev, "A much longer first answer", "two", three ? "three" : nullptr, true, true));
      EXPECT_EQ(string_at(f, u16_at(f, r.positions[1])), "A much longer first answer") << where;
    }
  }
}
