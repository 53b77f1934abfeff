// Writing VA texts: in-place, dead-area and appended placement, user and machine linking.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/scn/scn_test_util.h"

using namespace scntest;

namespace {

const std::vector<const char*> kNames = {"VA01X001", "VA01X002", "VA01X003", "VA01X004"};

// Records 0..n-1 of a VA area at 200 named from kNames, with these texts.
ScnBuilder day(const std::vector<const char*>& texts) {
  ScnBuilder b(400);
  b.SetVAArea(200);
  for (size_t i = 0; i < texts.size(); ++i) b.AddVA(static_cast<int>(i), kNames[i], texts[i]);
  return b;
}
std::vector<VAType> locate(TalvoScnFile& f, const ScnBuilder& b, size_t n, bool kill) {
  return locate_vas(f, b, std::vector<const char*>(kNames.begin(), kNames.begin() + n), kill);
}
bool set(TalvoScnFile& f, VAType& va, const char* text, bool kill, bool user = false, bool machine = false) {
  return f.SetVAText(&va, text, kill, false, user, machine, false);
}

}  // namespace

TEST(TalvoScnFile, TextsStayInPlaceMoveOrFillDeadSpace) {
  TalvoScnFile f("DAY_A0");
  auto vas = locate(f, day({"A long first line.", "x"}), 2, false);
  const uint16_t old_text = vas[0].text_offset, x_at = vas[1].text_offset;
  const uint16_t size = static_cast<uint16_t>(f.GetSize());
  ASSERT_TRUE(set(f, vas[0], "Short.", false) && set(f, vas[1], "y", false));  // in place, also at equal length
  EXPECT_EQ(u16s_at(f, {vas[0].p_offset, vas[1].p_offset, 4}), (U16s{old_text, x_at, size}));
  ASSERT_TRUE(set(f, vas[0], "Now a rather longer line.", false));  // moved, old text dead
  EXPECT_EQ(u16s_at(f, {vas[0].p_offset, 4}), (U16s{size, uint16_t(size + 26)}));
  EXPECT_TRUE(has_dead_area(f, old_text, 7));
  ASSERT_TRUE(set(f, vas[1], "fits in dead space", false));  // never reused without kill_areas
  EXPECT_EQ(vas[1].text_offset, size + 26);
  TalvoScnFile g("DAY_A0");
  vas = locate(g, day({"twelve bytes", "a text of 20 bytes..", "z"}), 3, true);
  EXPECT_EQ(g.GetDeadTotal(), 13u + 21u + 2u);
  const uint16_t first = vas[0].text_offset, second = vas[1].text_offset, size2 = uint16_t(g.GetSize());
  ASSERT_TRUE(set(g, vas[2], "twelve chars", true));  // an area of exactly the size: used up
  EXPECT_TRUE(u16_at(g, vas[2].p_offset) == first && !has_dead_area(g, first, 13));
  ASSERT_TRUE(set(g, vas[0], "ten bytes", true));  // best fit keeps its tail
  EXPECT_TRUE(vas[0].text_offset == second && has_dead_area(g, second + 10, 11));
  ASSERT_TRUE(set(g, vas[1], "a text that fits nowhere at all", true));
  EXPECT_TRUE(vas[1].text_offset == size2 && take(g.GetVAText(&vas[1], true)) == "a text that fits nowhere at all");
}

TEST(TalvoScnFile, UserAndMachineLinkingShareTexts) {
  TalvoScnFile f("DAY_A0");
  auto vas = locate(f, day({"one", "two", "three", "four"}), 4, true);
  ASSERT_TRUE(set(f, vas[0], "Same text", true, true, true) && set(f, vas[1], "VA01X001", true, true));
  EXPECT_EQ(u16_at(f, vas[1].p_offset), vas[0].text_offset);
  // A name never cached: a warning, and the name stored as text.
  EXPECT_EQ(stderr_of([&] { ASSERT_TRUE(set(f, vas[2], "VA01X009", true, true)); }),
            "Warning: \"VA01X009\" was not linked to \"VA01X003\". Either a typo or order is probably wrong!\n");
  EXPECT_EQ(string_at(f, vas[2].text_offset), "VA01X009");
  // Machine linking shares equal texts, not texts differing in case.
  stderr_of([&] {
    ASSERT_TRUE(set(f, vas[3], "Same text", true, false, true) && set(f, vas[2], "same text", true, false, true));
  });
  EXPECT_TRUE(vas[3].text_offset == vas[0].text_offset && vas[2].text_offset != vas[0].text_offset);
}
