// The duplicate repairs: copies of VA lines and option groups that the day
// files store more than once are pointed at the text of the entry handled.
// Positions here are worked out by hand from the game's copy layout, so the
// tables are checked against an independent reckoning.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/scn/scn_test_util.h"

using namespace scntest;
using talvo::EVType;
using talvo::VAType;

namespace {

struct Copy {
  uint16_t p;        // position of the copy's name pointer
  std::string name;  // the name the copy carries in the file
};

// A day image with the entry at record 0 of a VA area at `va_start` and a
// copy record (name pointer at P, text pointer at P - 5) for each copy.
struct DupDay {
  ScnBuilder b;
  TalvoScnFile f;
  VAType va{};
  std::vector<uint16_t> copy_name_offsets;

  // `min_script` keeps positions a test writes to inside the filler region.
  DupDay(const char* day, const std::string& entry, const std::vector<Copy>& copies,
         uint16_t va_start = 200, uint32_t min_script = 0)
      : b(std::max({va_start + 20u, max_p(copies) + 10u, min_script})), f(day) {
    b.SetVAArea(va_start);
    b.AddVA(0, entry, "entry text");
    // Spacer bytes keep the dead areas of neighbouring strings apart.
    b.AppendBytes({0xEE});
    for (const Copy& c : copies) {
      uint16_t name_at = b.AppendString(c.name);
      b.AppendString("copy of " + c.name);
      b.AppendBytes({0xEE});
      b.SetU16(c.p - 5, static_cast<uint16_t>(name_at + c.name.size() + 1));
      b.SetU16(c.p, name_at);
      copy_name_offsets.push_back(name_at);
    }
  }
  static uint32_t max_p(const std::vector<Copy>& copies) {
    uint32_t m = 0;
    for (const Copy& c : copies) m = std::max<uint32_t>(m, c.p);
    return m;
  }
  // Loads and locates the entry with the duplicate repair; returns stderr.
  // `entry` must outlive the object: the record keeps it as its name.
  std::string Locate(const char* entry, bool kill_areas) {
    EXPECT_TRUE(load(f, b));
    EXPECT_TRUE(f.SetVASearch(b.VAArea(), 15));
    return stderr_of([&] { EXPECT_TRUE(f.FindVAByIndex(0, entry, &va, kill_areas, true)); });
  }
  bool PointsAtEntry(uint16_t p) { return u16_at(f, p - 5) == va.text_offset && u16_at(f, p) == va.name_offset; }
};

}  // namespace

TEST(TalvoScnFile, EveryCopyRowFindsItsCopy) {
  struct Row {
    const char* day;
    const char* name;
    uint16_t p;
    const char* copy_name;
  };
  const Row rows[] = {
      {"DAY_B1", "VF37B002", 10739, "VF37B002"}, {"DAY_B1", "VF37C003", 10859, "VF37C003"},
      {"DAY_B2", "VB35B091", 17397, "VB35B091"}, {"DAY_B2", "VB35B093", 16077, "VB35B001"},
      {"DAY_B2", "VB37X011", 18312, "VB37X011"}, {"DAY_C0", "VC02A003", 16945, "VC02A003"},
      {"DAY_C0", "VC04A002", 17275, "VC04A002"}, {"DAY_C0", "VC04A103", 17470, "VC04A003"},
      {"DAY_C0", "VC04A006", 17335, "VC04A006"}, {"DAY_C0", "VC04A106", 17425, "VC04A006"},
      {"DAY_C0", "VC04A206", 17530, "VC04A006"}, {"DAY_C0", "VC12A020", 20590, "VC12A020"},
      {"DAY_C2", "VC43B006", 10791, "VC43B006"}, {"DAY_C2", "VC43C001", 10971, "VC43C001"},
      {"DAY_C2", "VC43D002", 11106, "VC43D002"}, {"DAY_C2", "VC46D006", 13776, "VC46D006"},
      {"DAY_C2", "VC46D009", 13791, "VC46D009"}, {"DAY_C2", "VC47C001", 14361, "VC47C001"},
      {"DAY_C2", "VC47D003", 14571, "VC47D003"}, {"DAY_C3", "VC72A006", 20092, "VC72A006"},
      {"DAY_D1", "VD13F014", 12448, "VD13F014"}, {"DAY_D1", "VD13F106", 13258, "VD13F006"},
      {"DAY_D1", "VD13F207", 14158, "VD13F007"}, {"DAY_D3", "VD33A099", 10181, "VD33A099"},
      {"DAY_D3", "VD33A150", 9581, "VD33A050"},  {"DAY_D3", "VD33A250", 9716, "VD33A050"},
      {"DAY_D3", "VD33A303", 9146, "VD33A003"},  {"DAY_D3", "VD33A499", 10721, "VD33A099"},
      {"DAY_D3", "VD33A503", 9416, "VD33A003"},  {"DAY_D3", "VD33A603", 9551, "VD33A003"},
      {"DAY_D3", "VD33A703", 9686, "VD33A003"},  {"DAY_D3", "VD33A803", 9821, "VD33A003"},
      {"DAY_D3", "VD33A909", 10046, "VD33A009"}, {"DAY_D3", "VD33A913", 10091, "VD33A003"},
      {"DAY_D3", "VD33A923", 10226, "VD33A003"}, {"DAY_D3", "VD33A933", 10361, "VD33A003"},
      {"DAY_D3", "VD33E005", 9311, "VD33E005"},  {"DAY_D3", "VD33E105", 9446, "VD33E005"},
      {"DAY_D4", "VD39A002", 12464, "VD39A002"}, {"DAY_D4", "VD39B001", 12509, "VD39B001"},
      {"DAY_D4", "VD39D003", 12734, "VD39D003"}, {"DAY_D5", "VV03A001", 11411, "VV03A001"},
      {"DAY_D5", "VV03B002", 11456, "VV03B002"}, {"DAY_D5", "VV03C003", 11501, "VV03C003"},
      {"DAY_D6", "VD74A003", 10157, "VD74A003"}, {"DAY_D6", "VD74A023", 10307, "VD74A003"},
      {"DAY_D6", "VD74A123", 11057, "VD74A003"}, {"DAY_D6", "VD80A002", 12392, "VD80A002"},
      {"DAY_D6", "VD80A012", 12422, "VD80A002"}, {"DAY_D6", "VD80A102", 12692, "VD80A002"},
      {"DAY_D6", "VD80A112", 12782, "VD80A002"}, {"DAY_D6", "VJ11X002", 14282, "VJ11X002"},
  };
  for (const Row& r : rows) {
    DupDay d(r.day, r.name, {{r.p, r.copy_name}});
    d.Locate(r.name, false);
    EXPECT_TRUE(d.PointsAtEntry(r.p)) << r.day << " " << r.name;
  }
}

TEST(TalvoScnFile, NamesWithoutACopyChangeNothing) {
  struct Row {
    const char* day;
    const char* name;
  };
  const Row rows[] = {
      {"DAY_B2", "VF37B002"}, {"DAY_B2", "VB37X012"}, {"DAY_C0", "VC02A004"}, {"DAY_C0", "VC04A004"},
      {"DAY_C0", "VC04A104"}, {"DAY_C0", "VC12A017"}, {"DAY_C0", "VC12A027"}, {"DAY_C2", "VC43B005"},
      {"DAY_C2", "VC46D007"}, {"DAY_C2", "VC46D008"}, {"DAY_C3", "VC72A005"}, {"DAY_D1", "VD13F015"},
      {"DAY_D1", "VD13F115"}, {"DAY_D1", "VD13F206"}, {"DAY_D3", "VD33A300"}, {"DAY_D3", "VD33A402"},
      {"DAY_D3", "VD33A501"}, {"DAY_D3", "VD33A602"}, {"DAY_D3", "VD33A700"}, {"DAY_D3", "VD33A801"},
      {"DAY_D3", "VD33A902"}, {"DAY_D3", "VD33A910"}, {"DAY_D3", "VD33A921"}, {"DAY_D3", "VD33A932"},
      {"DAY_A0", "VD74A001"}, {"DAY_D6", "VX01X001"},
  };
  for (const Row& r : rows) {
    DupDay d(r.day, r.name, {});
    d.b.PadTo(25000);
    Bytes before = d.b.Build();
    EXPECT_EQ(d.Locate(r.name, true), "") << r.day << " " << r.name;
    Bytes after = image_of(d.f);
    EXPECT_EQ(after, before) << r.day << " " << r.name;
    EXPECT_EQ(dead_area_count(d.f), 1) << r.day << " " << r.name;  // the entry's own text
  }
}

TEST(TalvoScnFile, DuplicateChainsReachEveryCopy) {
  struct Chain {
    const char* day;
    const char* name;
    std::vector<Copy> copies;
    std::vector<uint16_t> untouched;  // name-pointer positions the chain must not reach
  };
  std::vector<Copy> vd33a005, vd74a001, vd80a001, vd33e005;
  for (uint16_t p : {8771, 8906, 9041, 9176, 9311, 9446, 9581, 9716, 9851, 9986, 10121, 10256, 10391}) {
    vd33a005.push_back({p, "VD33A005"});
  }
  for (int k = 0; k <= 14; ++k) vd74a001.push_back({static_cast<uint16_t>(10127 + 75 * k), "VD74A001"});
  for (int j = 0; j <= 10; ++j) vd80a001.push_back({static_cast<uint16_t>(12377 + 30 * j), "VD80A001"});
  vd80a001.push_back({12767, "VD80A001"});
  for (uint16_t p : {9311, 9446, 9581, 9716, 9851, 9986, 10121, 10256, 10391}) {
    vd33e005.push_back({p, "VD33E005"});
  }
  const Chain chains[] = {
      {"DAY_B2", "VB35B001",
       {{16047, "VB35B001"}, {16062, "VB35B001"}, {16077, "VB35B001"}, {16092, "VB35B001"},
        {16107, "VB35B001"}},
       {16122}},
      {"DAY_B2", "VB35B003", {{16077, "VB35B003"}, {16092, "VB35B001"}, {16107, "VB35B001"}}, {16062, 16122}},
      {"DAY_C0", "VC04A001", {{17260, "VC04A001"}, {17440, "VC04A001"}}, {17275}},
      {"DAY_C0", "VC04A006", {{17335, "VC04A006"}, {17425, "VC04A006"}, {17530, "VC04A006"}}, {}},
      {"DAY_D1", "VD13F007", {{12343, "VD13F007"}, {13273, "VD13F007"}, {14158, "VD13F007"}}, {}},
      {"DAY_D1", "VD13F006", {{12328, "VD13F006"}, {13258, "VD13F006"}}, {14143}},
      {"DAY_D3", "VD33A005", vd33a005, {10526}},
      {"DAY_D3", "VD33A004", {{8756, "VD33A004"}, {9026, "VD33A004"}}, {8891, 9161}},
      {"DAY_D3", "VD33E005", vd33e005, {10526}},
      {"DAY_D6", "VD74A001", vd74a001, {11252}},
      {"DAY_D6", "VD80A001", vd80a001, {12797}},
  };
  for (const Chain& c : chains) {
    uint32_t far = 0;
    for (uint16_t u : c.untouched) far = std::max<uint32_t>(far, u + 64u);
    DupDay d(c.day, c.name, c.copies, 200, far);
    for (uint16_t u : c.untouched) d.b.SetU16(u, 0x1234);
    EXPECT_EQ(d.Locate(c.name, true), "") << c.name;
    for (size_t i = 0; i < c.copies.size(); ++i) {
      const Copy& copy = c.copies[i];
      EXPECT_TRUE(d.PointsAtEntry(copy.p)) << c.name << " copy at " << copy.p;
      // Each copy's own name and text become one dead area.
      EXPECT_TRUE(has_dead_area(d.f, d.copy_name_offsets[i], 26))
          << c.name << " copy at " << copy.p;
    }
    for (uint16_t u : c.untouched) EXPECT_EQ(u16_at(d.f, u), 0x1234) << c.name << " at " << u;
  }
}

TEST(TalvoScnFile, DuplicateRepairStopsOnAWrongNameOrASharedOffset) {
  {
    DupDay d("DAY_C0", "VC04A001", {{17260, "VC04A009"}, {17440, "VC04A001"}});
    EXPECT_EQ(d.Locate("VC04A001", false), "Duplicate has not same name!\n");
    EXPECT_FALSE(d.PointsAtEntry(17260));
    EXPECT_FALSE(d.PointsAtEntry(17440));  // the whole chain stops
  }
  {
    DupDay d("DAY_C0", "VC04A001", {{17260, "VC04A001"}, {17440, "VC04A101"}});
    EXPECT_EQ(d.Locate("VC04A001", false), "Duplicate has not same name!\n");
    EXPECT_TRUE(d.PointsAtEntry(17260));
    EXPECT_FALSE(d.PointsAtEntry(17440));
  }
  {
    // The entry itself lies where its copy is expected.
    DupDay d("DAY_C0", "VC04A001", {{17440, "VC04A001"}}, 17255);
    EXPECT_EQ(d.Locate("VC04A001", false), "Duplicate has some same offset as source!\n");
    EXPECT_FALSE(d.PointsAtEntry(17440));
  }
  {
    // A copy already showing the entry's name.
    DupDay d("DAY_C0", "VC04A002", {{17275, "VC04A002"}});
    d.b.SetU16(17275, d.b.GetU16(d.b.VARecord(0) + 5));
    EXPECT_EQ(d.Locate("VC04A002", false), "Duplicate has some same offset as source!\n");
  }
}

TEST(TalvoScnFile, MovedTextsCarryTheirCopiesAlong) {
  DupDay d("DAY_C0", "VC04A001", {{17260, "VC04A001"}, {17440, "VC04A001"}});
  d.Locate("VC04A001", true);
  ASSERT_TRUE(d.f.SetVAText(&d.va, "A translated line that is longer", true, true, false, false, false));
  EXPECT_TRUE(d.PointsAtEntry(17260));
  EXPECT_TRUE(d.PointsAtEntry(17440));
  EXPECT_EQ(string_at(d.f, u16_at(d.f, 17435)), "A translated line that is longer");
  // Without the repair the copies keep the old text.
  DupDay e("DAY_C0", "VC04A001", {{17260, "VC04A001"}});
  e.Locate("VC04A001", false);
  ASSERT_TRUE(e.f.SetVAText(&e.va, "A translated line that is longer", false, false, false, false, false));
  EXPECT_FALSE(e.PointsAtEntry(17260));
}

TEST(TalvoScnFile, DuplicateCopyOutsideTheImageIsReported) {
  DupDay d("DAY_C0", "VC04A001", {});
  std::string err = d.Locate("VC04A001", false);
  EXPECT_EQ(err, "Error: duplicate of VC04A001 at 17260 lies outside the scn file.\n");
}

TEST(TalvoScnFile, EveryOptionGroupCopyIsRepaired) {
  struct Row {
    const char* day;
    const char* name;
    const char* copy_name;
    uint16_t offsets[4];
    uint16_t positions[4];
  };
  const Row rows[] = {
      {"DAY_B1", "EVB12", "EVB12", {13864, 13870, 13879, 13890}, {5375, 5392, 5438, 5435}},
      {"DAY_B1", "Hack2", "FC08c", {14329, 14335, 14350, 0}, {7060, 7100, 7097, 0}},
      {"DAY_C1", "GAYA24", "GAYA24", {17192, 17199, 17212, 17227}, {3298, 3419, 3416, 3413}},
      {"DAY_C1", "Hack2", "GAYA24", {17406, 17413, 17428, 0}, {3820, 3879, 3876, 0}},
      {"DAY_C1", "SE009", "SE009", {17581, 17587, 17600, 0}, {4176, 4213, 4210, 0}},
      {"DAY_C2", "SE033", "SE033", {16604, 16610, 16627, 0}, {3068, 3118, 3115, 0}},
      {"DAY_C2", "EVB10", "EVB10", {16920, 16926, 16933, 16944}, {4134, 4151, 4191, 4188}},
      {"DAY_C2", "EVB12b", "EVB12b", {17610, 17617, 17626, 17645}, {6635, 6652, 6728, 6725}},
      {"DAY_C2", "EVB13", "EVB13", {17928, 17934, 17939, 17950}, {7768, 7785, 7828, 7825}},
  };
  for (const Row& r : rows) {
    const bool three = r.offsets[3] != 0;
    for (int variant = 0; variant < 3; ++variant) {  // 0 repaired, 1 wrong name, 2 shared position
      ScnBuilder b(2000);
      b.PutString(r.offsets[0], variant == 1 ? "WRONG" : r.copy_name);
      b.PutString(r.offsets[1], std::string(r.offsets[2] - r.offsets[1] - 1, 'a'));
      size_t len2 = three ? r.offsets[3] - r.offsets[2] - 1 : 4;
      b.PutString(r.offsets[2], std::string(len2, 'b'));
      if (three) b.PutString(r.offsets[3], "cccc");
      for (int i = 0; i < (three ? 4 : 3); ++i) b.SetU16(r.positions[i], r.offsets[i]);
      std::vector<uint16_t> row = {1000, 1003, 1006};
      if (three) row.push_back(1009);
      if (variant == 2) row[2] = r.positions[2];
      std::vector<std::string> texts = {"first", "second"};
      if (three) texts.push_back("third");
      b.AddOptionGroup(row, r.name, texts);
      row.resize(16, 0);

      TalvoScnFile f(r.day);
      ASSERT_TRUE(load(f, b));
      EVType ev{};
      std::string err =
          stderr_of([&] { ASSERT_TRUE(f.FindEVByOffsets(row.data(), r.name, &ev, three, true, true)); });
      const std::string where = std::string(r.day) + " " + r.name + " variant " + std::to_string(variant);
      if (variant == 1) {
        EXPECT_EQ(err, "Duplicate has not same name!\n") << where;
        EXPECT_EQ(u16_at(f, r.positions[1]), r.offsets[1]) << where;
        continue;
      }
      if (variant == 2) {
        EXPECT_EQ(err, "Duplicate has some same offset as source!\n") << where;
        EXPECT_EQ(u16_at(f, r.positions[1]), r.offsets[1]) << where;
        continue;
      }
      EXPECT_EQ(err, "") << where;
      EXPECT_EQ(u16_at(f, r.positions[0]), r.offsets[0]) << where;  // the name pointer stays
      EXPECT_EQ(u16_at(f, r.positions[1]), ev.text1_offset) << where;
      EXPECT_EQ(u16_at(f, r.positions[2]), ev.text2_offset) << where;
      if (three) {
        EXPECT_EQ(u16_at(f, r.positions[3]), ev.text3_offset) << where;
      }
      uint16_t copy_len = static_cast<uint16_t>((three ? r.offsets[3] + 5 : r.offsets[2] + 5) - r.offsets[1]);
      EXPECT_TRUE(has_dead_area(f, r.offsets[1], copy_len)) << where;

      // Setting new texts carries the copy along.
      ASSERT_TRUE(f.SetEVText(&ev, "A much longer first answer", "two", three ? "three" : nullptr, true, true));
      EXPECT_EQ(u16_at(f, r.positions[1]), ev.text1_offset) << where;
      EXPECT_EQ(string_at(f, u16_at(f, r.positions[1])), "A much longer first answer") << where;
    }
  }
}
