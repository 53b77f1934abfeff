// Reading and writing texts: in-place, dead-area and appended placement,
// user and machine linking, option groups, truncation and the link searches.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/scn/scn_test_util.h"

using namespace scntest;

namespace {

// VA records 0..n-1 at 200 with the given names and texts.
ScnBuilder day(const std::vector<std::pair<const char*, const char*>>& entries) {
  ScnBuilder b(400);
  b.SetVAArea(200);
  for (size_t i = 0; i < entries.size(); ++i) b.AddVA(static_cast<int>(i), entries[i].first, entries[i].second);
  return b;
}

bool set(TalvoScnFile& f, VAType& va, const char* text, bool kill, bool user = false, bool machine = false) {
  return f.SetVAText(&va, text, kill, false, user, machine, false);
}

const uint16_t kRow2[16] = {170, 173, 176};
const uint16_t kRow3[16] = {150, 156, 153, 159};

}  // namespace

TEST(TalvoScnFile, InPlaceModeOverwritesShortTextsAndMovesLongOnes) {
  TalvoScnFile f("DAY_A0");
  auto vas = locate_vas(f, day({{"VA01X001", "A long first line."}, {"VA01X002", "x"}}), {"VA01X001", "VA01X002"}, false);
  const uint16_t old_text = vas[0].text_offset;
  const uint32_t size = f.GetSize();
  ASSERT_TRUE(set(f, vas[0], "Short.", false));
  EXPECT_EQ(vas[0].text_offset, old_text);
  EXPECT_EQ(string_at(f, old_text), "Short.");
  EXPECT_EQ(f.GetSize(), size);
  EXPECT_EQ(dead_area_count(f), 0);

  ASSERT_TRUE(set(f, vas[0], "Now a rather longer line.", false));
  EXPECT_EQ(u16_at(f, vas[0].p_offset), size);
  EXPECT_EQ(string_at(f, size), "Now a rather longer line.");
  EXPECT_EQ(u16_at(f, 4), size + 26);
  EXPECT_TRUE(has_dead_area(f, old_text, 7));  // "Short." and its zero
  // Without kill_areas that space is never reused for a VA text.
  ASSERT_TRUE(set(f, vas[1], "fits in dead space", false));
  EXPECT_EQ(vas[1].text_offset, size + 26);
  char* text = f.GetVAText(&vas[1], true);
  EXPECT_STREQ(text, "fits in dead space");
  std::free(text);
}

TEST(TalvoScnFile, KillAreasPlaceTextsInExactOrBestFittingDeadSpace) {
  TalvoScnFile f("DAY_A0");
  auto vas = locate_vas(f, day({{"VA01X001", "twelve bytes"}, {"VA01X002", "a text of 20 bytes.."}, {"VA01X003", "z"}}),
                        {"VA01X001", "VA01X002", "VA01X003"}, true);
  EXPECT_EQ(f.GetDeadTotal(), 13u + 21u + 2u);
  const uint16_t first = vas[0].text_offset, second = vas[1].text_offset;
  const uint32_t size = f.GetSize();
  // Exactly the needed size: the text lands there and the area is gone.
  ASSERT_TRUE(set(f, vas[2], "twelve chars", true));
  EXPECT_EQ(u16_at(f, vas[2].p_offset), first);
  EXPECT_FALSE(has_dead_area(f, first, 13));
  // Best fit: the smallest larger area keeps its tail.
  ASSERT_TRUE(set(f, vas[0], "ten bytes", true));
  EXPECT_EQ(vas[0].text_offset, second);
  EXPECT_TRUE(has_dead_area(f, second + 10, 11));
  EXPECT_EQ(f.GetSize(), size);
  ASSERT_TRUE(set(f, vas[1], "a text that fits nowhere at all", true));
  EXPECT_EQ(vas[1].text_offset, size);
}

TEST(TalvoScnFile, UserAndMachineLinkingShareTexts) {
  TalvoScnFile f("DAY_A0");
  auto vas = locate_vas(f, day({{"VA01X001", "one"}, {"VA01X002", "two"}, {"VA01X003", "three"}, {"VA01X004", "four"}}),
                        {"VA01X001", "VA01X002", "VA01X003", "VA01X004"}, true);
  ASSERT_TRUE(set(f, vas[0], "Same text", true, true, true));
  EXPECT_EQ(stderr_of([&] { ASSERT_TRUE(set(f, vas[1], "VA01X001", true, true)); }), "");
  EXPECT_EQ(u16_at(f, vas[1].p_offset), vas[0].text_offset);
  // A name that was never cached: a warning, and the name stored as text.
  EXPECT_EQ(stderr_of([&] { ASSERT_TRUE(set(f, vas[2], "VA01X009", true, true)); }),
            "Warning: \"VA01X009\" was not linked to \"VA01X003\". Either a typo or order is probably wrong!\n");
  EXPECT_EQ(string_at(f, vas[2].text_offset), "VA01X009");
  EXPECT_EQ(stderr_of([&] { ASSERT_TRUE(set(f, vas[3], "VA01X001", true, false, true)); }),
            "Warning: \"VA01X001\" looks like a va name, but user_linking is not enabled!\n");

  EXPECT_EQ(stdout_of([&] { ASSERT_TRUE(set(f, vas[3], "Same text", true, false, true)); }),
            "Machine link VA01X004 -> VA01X001\n");
  EXPECT_EQ(vas[3].text_offset, vas[0].text_offset);
  // Texts differing in case are stored twice.
  EXPECT_EQ(stdout_of([&] { ASSERT_TRUE(set(f, vas[2], "same text", true, false, true)); }), "");
  EXPECT_NE(vas[2].text_offset, vas[0].text_offset);
  EXPECT_EQ(string_at(f, vas[2].text_offset), "same text");
}

TEST(TalvoScnFile, TextCacheOverflowsAtThe1025thEntry) {
  TalvoScnFile f("DAY_A0");
  auto vas = locate_vas(f, day({{"VA01X001", "one"}}), {"VA01X001"}, false);
  for (int i = 0; i < TalvoScnFile::kTextCacheEntries; ++i) ASSERT_TRUE(f.AddTextToCache("VA01X001", 100));
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.AddTextToCache("VA01X001", 100)); }), "Warning: cache overflow.\n");
  // A text set now is still written; it just cannot be linked to.
  EXPECT_EQ(stderr_of([&] { ASSERT_TRUE(set(f, vas[0], "new text", false, false, true)); }),
            "Warning: cache overflow.\n");
  EXPECT_EQ(string_at(f, vas[0].text_offset), "new text");
}

TEST(TalvoScnFile, TextsStopAtTheSizeLimit) {
  ScnBuilder b(65500);
  b.SetVAArea(200);
  b.AddVA(0, "VA01X001", "x");
  TalvoScnFile f("DAY_A0");
  VAType va = locate_vas(f, b, {"VA01X001"}, false)[0];
  std::string fits(65535 - f.GetSize() - 1, 'a');
  ASSERT_TRUE(set(f, va, fits.c_str(), false));
  EXPECT_EQ(f.GetSize(), 65535u);
  Bytes before = image_of(f);
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(set(f, va, (fits + "b").c_str(), false)); }),
            "Scn file cannot be bigger than 65535 bytes.\n");
  EXPECT_EQ(image_of(f), before);
}

TEST(TalvoScnFile, EVTextsGoIntoAnExactAreaOrOneByOne) {
  ScnBuilder b(400);
  b.AddOptionGroup({150, 156, 153, 159}, "EVA11", {"yes", "no", "maybe"});
  b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  EVType three{}, two{};
  ASSERT_TRUE(f.FindEVByOffsets(kRow3, "EVA11", &three, true, true, false));
  ASSERT_TRUE(f.FindEVByOffsets(kRow2, "EVA05", &two, false, true, false));
  const uint16_t area = three.text1_offset, area2 = two.text1_offset;
  // A third text for a two-text entry (and the reverse): refused, nothing written.
  Bytes before = image_of(f);
  EXPECT_FALSE(f.SetEVText(&two, "a", "b", "c", true, false));
  EXPECT_FALSE(f.SetEVText(&three, "a", "b", nullptr, true, false));
  EXPECT_EQ(image_of(f), before);

  // 13 bytes of texts for the 13-byte area: back to back.
  ASSERT_TRUE(f.SetEVText(&three, "Yes", "No", "Maybe", true, false));
  EXPECT_EQ(u16_at(f, 156), area);
  EXPECT_EQ(u16_at(f, 153), area + 4);
  EXPECT_EQ(u16_at(f, 159), area + 7);
  EXPECT_EQ(string_at(f, area + 7), "Maybe");
  // No exact area: the first takes the front of the 11-byte area, the
  // second does not fit and is appended.
  const uint32_t size = f.GetSize();
  ASSERT_TRUE(f.SetEVText(&two, "Left!", "Right now, please", nullptr, true, false));
  EXPECT_EQ(two.text1_offset, area2);
  EXPECT_EQ(u16_at(f, 176), size);
  char *t1, *t2, *t3;
  ASSERT_TRUE(f.GetEVText(&two, &t1, &t2, &t3, true));
  EXPECT_STREQ(t2, "Right now, please");
  EXPECT_EQ(t3, nullptr);
  std::free(t1);
  std::free(t2);
  // In-place mode keeps a shorter text and kills the one it moves.
  ASSERT_TRUE(f.SetEVText(&two, "L", "Much further right, and more", nullptr, false, false));
  EXPECT_EQ(two.text1_offset, area2);
  EXPECT_EQ(two.text2_offset, size + 18);
  EXPECT_TRUE(has_dead_area(f, area2 + 6, 5 + 18));  // joins the tail left by "Left!"
}

TEST(TalvoScnFile, MOTextIsSplitAtTheSeparator) {
  ScnBuilder b(400);
  b.AddOptionGroup({150, 153, 156, 159}, "BG30", {"one", "two", "three"});
  TalvoScnFile f("DAY_B2");
  ASSERT_TRUE(load(f, b));
  const uint16_t row[16] = {150, 153, 156, 159};
  MOType mo{};
  ASSERT_TRUE(f.FindMOByOffsets(row, "BG30", &mo, 3, true));
  const uint16_t area = mo.text_offsets[0];
  ASSERT_TRUE(f.SetMOText(&mo, "a/b/c", true, '/'));
  EXPECT_EQ(u16_at(f, 153), area);
  EXPECT_EQ(u16_at(f, 156), area + 2);
  EXPECT_EQ(u16_at(f, 159), area + 4);
  char* joined = f.GetMOText(&mo, '/');
  EXPECT_STREQ(joined, "a/b/c");
  std::free(joined);
  // Fewer parts leave the remaining pointers where they were.
  ASSERT_TRUE(f.SetMOText(&mo, "x/y", false, '/'));
  EXPECT_EQ(u16_at(f, 159), area + 4);
  // A fourth part: the first three are split, then false.
  EXPECT_FALSE(f.SetMOText(&mo, "first/second/third/fourth", false, '/'));
  EXPECT_EQ(string_at(f, mo.text_offsets[0]), "first");
  EXPECT_EQ(string_at(f, u16_at(f, 159)), "third/fourth");
}

TEST(TalvoScnFile, TruncateAndRewriteAllVAAppendNamesAndTexts) {
  ScnBuilder b = day({{"VA01X001", "one"}, {"VA01X002", "two"}});
  b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  TalvoScnFile f("DAY_A0");
  auto vas = locate_vas(f, b, {"VA01X001", "VA01X002"}, false);
  EVType ev{};
  ASSERT_TRUE(f.FindEVByOffsets(kRow2, "EVA05", &ev, false, false, false));
  const uint16_t cut = vas[0].name_offset;
  ASSERT_TRUE(f.TruncateTo(&vas[0]));
  EXPECT_EQ(u16_at(f, 4), cut);
  for (VAType& va : vas) ASSERT_TRUE(f.SetVAText(&va, "text", false, false, false, false, true));
  EXPECT_EQ(vas[0].text_offset, cut + 9);
  EXPECT_EQ(string_at(f, u16_at(f, vas[1].name_p_offset)), "VA01X002");
  EXPECT_EQ(string_at(f, u16_at(f, vas[1].p_offset)), "text");
  EXPECT_EQ(f.GetSize(), cut + 28u);
  // Option texts now past the end are not overwritten in place there.
  ASSERT_TRUE(f.SetEVText(&ev, "L", "R", nullptr, false, false));
  EXPECT_EQ(ev.text1_offset, cut + 28);
  EXPECT_EQ(dead_area_count(f), 0);
  // Pointer positions outside the image are refused before anything changes.
  vas[0].p_offset = 65000;
  Bytes before = image_of(f);
  EXPECT_NE(stderr_of([&] { EXPECT_FALSE(set(f, vas[0], "t", false)); }), "");
  EXPECT_EQ(image_of(f), before);
}

TEST(TalvoScnFile, LinkSearchesFindEarlierSharedAndEqualTexts) {
  ScnBuilder b = day({{"VA01X001", "Hi."}, {"VA01X002", "Other."}, {"VA01X003", "Hi."}, {"VA01X004", "x"}});
  b.SetU16(b.VARecord(3), b.GetU16(b.VARecord(1)));  // record 3 shares record 1's text
  TalvoScnFile f("DAY_A0");
  auto vas = locate_vas(f, b, {"VA01X001", "VA01X002", "VA01X003", "VA01X004"}, false);
  VAType found{};
  ASSERT_TRUE(f.FindFirstVALink(&vas[3], &found, 3, true, false));
  EXPECT_STREQ(found.name, "VA01X002");
  EXPECT_EQ(found.p_offset, vas[1].p_offset);
  delete[] found.name;
  EXPECT_FALSE(f.FindFirstVALink(&vas[1], &found, 1, true, false));
  ASSERT_TRUE(f.FindFirstVALink(&vas[1], &found, 1, false, false));
  EXPECT_STREQ(found.name, "VA01X004");
  delete[] found.name;
  EXPECT_FALSE(f.FindFirstVALink(&vas[1], &found, 1, false, true));
  ASSERT_TRUE(f.FindFirstVATextTwin(&vas[2], &found, 2, true, true));
  EXPECT_STREQ(found.name, "VA01X001");
  delete[] found.name;
  EXPECT_FALSE(f.FindFirstVATextTwin(&vas[0], &found, 0, true, true));
}

TEST(TalvoScnFile, CheckVASCorrectionReportsRecordsOutOfOrder) {
  auto rec = [](const char* name, uint16_t p) { return VAType{name, 0, 0, uint16_t(p + 5), p, 0}; };
  const std::string fail = "VAS correction failed for: ";
  VAType bad = rec("VA01X009", 100);
  bad.name_p_offset = 104;
  const std::pair<std::vector<VAType>, std::string> cases[] = {
      {{rec("VA01X001", 100), rec("VA01X002", 115)}, ""},
      {{rec("VA01X001", 100), rec("VA01X002", 145)}, fail + "VA01X002 (2)\n"},
      // A gap-list name may follow a gap of whole records; the next must follow it.
      {{rec("VA01X001", 100), rec("VA13X001", 145), rec("VA13X002", 160)}, ""},
      {{rec("VA01X001", 100), rec("VA13X001", 145), rec("VA13X002", 175)},
       fail + "VA13X001 (2)\n" + fail + "VA13X002 (2)\n"},
      {{rec("VA01X001", 100), rec("VA13X001", 135)}, fail + "VA13X001 (2)\n"},
      {{rec("VA01X001", 100), rec("VD33E004", 145), rec("VD33E005", 190)}, fail + "VD33E005 (2)\n"},
      {{bad}, fail + "VA01X009 (1)\n"},
  };
  for (const auto& [vas, expected] : cases) {
    EXPECT_EQ(stderr_of([&] { TalvoScnFile::CheckVASCorrection(vas.data(), static_cast<int>(vas.size())); }),
              expected);
  }
}
