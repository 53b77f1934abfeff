// Reading and writing texts: in-place, dead-area and appended placement,
// user and machine linking, option groups, truncation and the link searches.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/scn/scn_test_util.h"

using namespace scntest;
using talvo::EVType;
using talvo::MOType;
using talvo::VAType;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// A day whose VA records 0..n-1 hold the given names and texts.
struct Day {
  ScnBuilder b{400};
  std::vector<std::string> names;
  TalvoScnFile f{"DAY_A0"};
  std::vector<VAType> vas;

  explicit Day(const Entries& entries) {
    b.SetVAArea(200);
    for (size_t i = 0; i < entries.size(); ++i) {
      b.AddVA(static_cast<int>(i), entries[i].first, entries[i].second);
      names.push_back(entries[i].first);
    }
  }
  // Loads and locates every VA.
  void Locate(bool kill_areas) {
    ASSERT_TRUE(load(f, b));
    ASSERT_TRUE(f.SetVASearch(200, static_cast<int>(15 * names.size())));
    vas.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      ASSERT_TRUE(f.FindVAByIndex(static_cast<int>(i), names[i].c_str(), &vas[i], kill_areas, false));
    }
  }
};

}  // namespace

TEST(TalvoScnFile, InPlaceModeOverwritesShortTextsAndMovesLongOnes) {
  Day d({{"VA01X001", "A long first line."}, {"VA01X002", "x"}});
  d.Locate(false);
  VAType& va = d.vas[0];
  const uint16_t old_text = va.text_offset;
  const uint32_t size = d.f.GetSize();

  ASSERT_TRUE(d.f.SetVAText(&va, "Short.", false, false, false, false, false));
  EXPECT_EQ(va.text_offset, old_text);
  EXPECT_EQ(string_at(d.f, old_text), "Short.");
  EXPECT_EQ(d.f.GetSize(), size);
  EXPECT_EQ(dead_area_count(d.f), 0);
  uint16_t cached;
  EXPECT_FALSE(d.f.FindTextInCache("VA01X002", "Short.", true, true, &cached));

  ASSERT_TRUE(d.f.SetVAText(&va, "Now a rather longer line.", false, false, false, false, false));
  EXPECT_EQ(va.text_offset, size);
  EXPECT_EQ(u16_at(d.f, va.p_offset), size);
  EXPECT_EQ(string_at(d.f, size), "Now a rather longer line.");
  EXPECT_EQ(d.f.GetSize(), size + 26);
  EXPECT_EQ(u16_at(d.f, 4), size + 26);
  // The text it replaces ("Short." and its zero) becomes dead space.
  EXPECT_TRUE(has_dead_area(d.f, old_text, 7));
  EXPECT_EQ(d.f.GetDeadTotal(), 7u);

  // Without kill_areas that space is never reused for a VA text.
  ASSERT_TRUE(d.f.SetVAText(&d.vas[1], "fits in dead space", false, false, false, false, false));
  EXPECT_EQ(d.vas[1].text_offset, size + 26);
  char* text = d.f.GetVAText(&d.vas[1], true);
  EXPECT_STREQ(text, "fits in dead space");
  std::free(text);
}

TEST(TalvoScnFile, KillAreasPlaceTextsInExactOrBestFittingDeadSpace) {
  Day d({{"VA01X001", "twelve bytes"}, {"VA01X002", "a text of 20 bytes.."}, {"VA01X003", "z"}});
  d.Locate(true);
  EXPECT_EQ(d.f.GetDeadTotal(), 13u + 21u + 2u);
  const uint16_t first = d.vas[0].text_offset;
  const uint16_t second = d.vas[1].text_offset;
  const uint32_t size = d.f.GetSize();

  // Exactly the needed size (length plus one): the text lands there and the
  // area is gone.
  ASSERT_TRUE(d.f.SetVAText(&d.vas[2], "twelve chars", true, false, false, false, false));
  EXPECT_EQ(d.vas[2].text_offset, first);
  EXPECT_EQ(u16_at(d.f, d.vas[2].p_offset), first);
  EXPECT_FALSE(has_dead_area(d.f, first, 13));

  // Best fit: the smallest larger area keeps its tail.
  ASSERT_TRUE(d.f.SetVAText(&d.vas[0], "ten bytes", true, false, false, false, false));
  EXPECT_EQ(d.vas[0].text_offset, second);
  EXPECT_TRUE(has_dead_area(d.f, second + 10, 11));
  EXPECT_EQ(d.f.GetSize(), size);

  // Nothing large enough: appended.
  ASSERT_TRUE(d.f.SetVAText(&d.vas[1], "a text that fits nowhere at all", true, false, false, false, false));
  EXPECT_EQ(d.vas[1].text_offset, size);
}

TEST(TalvoScnFile, UserLinkingSharesTextsOfEarlierEntries) {
  Day d({{"VA01X001", "one"}, {"VA01X002", "two"}, {"VA01X003", "three"}});
  d.Locate(true);
  ASSERT_TRUE(d.f.SetVAText(&d.vas[0], "Hello.", true, false, true, false, false));
  std::string err = stderr_of(
      [&] { ASSERT_TRUE(d.f.SetVAText(&d.vas[1], "VA01X001", true, false, true, false, false)); });
  EXPECT_EQ(err, "");
  EXPECT_EQ(d.vas[1].text_offset, d.vas[0].text_offset);
  EXPECT_EQ(u16_at(d.f, d.vas[1].p_offset), d.vas[0].text_offset);

  // A name that was never cached: a warning, and the name stored as text.
  err = stderr_of(
      [&] { ASSERT_TRUE(d.f.SetVAText(&d.vas[2], "VA01X009", true, false, true, false, false)); });
  EXPECT_EQ(err,
            "Warning: \"VA01X009\" was not linked to \"VA01X003\". Either a typo or order is "
            "probably wrong!\n");
  EXPECT_EQ(string_at(d.f, d.vas[2].text_offset), "VA01X009");

  // Without user linking the same text gets the other warning.
  Day e(Entries{{"VA01X001", "one"}});
  e.Locate(false);
  err = stderr_of(
      [&] { ASSERT_TRUE(e.f.SetVAText(&e.vas[0], "VA01X001", false, false, false, true, false)); });
  EXPECT_EQ(err, "Warning: \"VA01X001\" looks like a va name, but user_linking is not enabled!\n");
}

TEST(TalvoScnFile, MachineLinkingStoresEqualTextsOnce) {
  Day d({{"VA01X001", "one"}, {"VA01X002", "two"}, {"VA01X003", "three"}});
  d.Locate(true);
  ASSERT_TRUE(d.f.SetVAText(&d.vas[0], "Same text", true, false, false, true, false));
  std::string out = stdout_of(
      [&] { ASSERT_TRUE(d.f.SetVAText(&d.vas[1], "Same text", true, false, false, true, false)); });
  EXPECT_EQ(out, "Machine link VA01X002 -> VA01X001\n");
  EXPECT_EQ(d.vas[1].text_offset, d.vas[0].text_offset);
  out = stdout_of(
      [&] { ASSERT_TRUE(d.f.SetVAText(&d.vas[2], "same text", true, false, false, true, false)); });
  EXPECT_EQ(out, "");
  EXPECT_NE(d.vas[2].text_offset, d.vas[0].text_offset);
  EXPECT_EQ(string_at(d.f, d.vas[2].text_offset), "same text");
}

TEST(TalvoScnFile, TextCacheOverflowsAtThe1025thEntry) {
  Day d(Entries{{"VA01X001", "one"}});
  d.Locate(false);
  static const char* kName = "VA01X001";
  for (int i = 0; i < TalvoScnFile::kTextCacheEntries; ++i) {
    ASSERT_TRUE(d.f.AddTextToCache(kName, 100));
  }
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(d.f.AddTextToCache(kName, 100)); }),
            "Warning: cache overflow.\n");
  // A text set now is still written; it just cannot be linked to.
  std::string err = stderr_of(
      [&] { ASSERT_TRUE(d.f.SetVAText(&d.vas[0], "new text", false, false, false, true, false)); });
  EXPECT_EQ(err, "Warning: cache overflow.\n");
  EXPECT_EQ(string_at(d.f, d.vas[0].text_offset), "new text");
}

TEST(TalvoScnFile, TextsStopAtTheSizeLimit) {
  ScnBuilder b(65500);
  b.SetVAArea(200);
  b.AddVA(0, "VA01X001", "x");
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.SetVASearch(200, 15));
  VAType va{};
  ASSERT_TRUE(f.FindVAByIndex(0, "VA01X001", &va, false, false));
  const uint32_t room = 65535 - f.GetSize();
  std::string fits(room - 1, 'a');
  ASSERT_TRUE(f.SetVAText(&va, fits.c_str(), false, false, false, false, false));
  EXPECT_EQ(f.GetSize(), 65535u);
  Bytes before = image_of(f);
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetVAText(&va, (fits + "b").c_str(), false, false, false, false, false)); }),
            "Scn file cannot be bigger than 65535 bytes.\n");
  EXPECT_EQ(image_of(f), before);
}

TEST(TalvoScnFile, EVTextsGoBackToBackIntoAnExactAreaOrOneByOne) {
  ScnBuilder b(400);
  b.AddOptionGroup({150, 156, 153, 159}, "EVA11", {"yes", "no", "maybe"});
  b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  const uint16_t row3[16] = {150, 156, 153, 159};
  const uint16_t row2[16] = {170, 173, 176};
  EVType three{}, two{};
  ASSERT_TRUE(f.FindEVByOffsets(row3, "EVA11", &three, true, true, false));
  ASSERT_TRUE(f.FindEVByOffsets(row2, "EVA05", &two, false, true, false));
  const uint16_t area = three.text1_offset;

  // A third text for a two-text entry: refused, nothing written.
  Bytes before = image_of(f);
  EXPECT_FALSE(f.SetEVText(&two, "a", "b", "c", true, false));
  EXPECT_FALSE(f.SetEVText(&three, "a", "b", nullptr, true, false));
  EXPECT_EQ(image_of(f), before);

  // 13 bytes of texts for the 13-byte area of the three-text entry.
  ASSERT_TRUE(f.SetEVText(&three, "Yes", "No", "Maybe", true, false));
  EXPECT_EQ(three.text1_offset, area);
  EXPECT_EQ(three.text2_offset, area + 4);
  EXPECT_EQ(three.text3_offset, area + 7);
  EXPECT_EQ(u16_at(f, 153), area + 4);
  EXPECT_EQ(u16_at(f, 159), area + 7);
  EXPECT_EQ(string_at(f, area + 7), "Maybe");

  // Without an exact area the texts are placed one by one: the first takes
  // the front of the 11-byte area, the second does not fit and is appended.
  const uint32_t size = f.GetSize();
  const uint16_t area2 = two.text1_offset;
  ASSERT_TRUE(f.SetEVText(&two, "Left!", "Right now, please", nullptr, true, false));
  EXPECT_EQ(two.text1_offset, area2);
  EXPECT_EQ(two.text2_offset, size);
  EXPECT_EQ(u16_at(f, 176), size);
  char *t1, *t2, *t3;
  ASSERT_TRUE(f.GetEVText(&two, &t1, &t2, &t3, true));
  EXPECT_STREQ(t1, "Left!");
  EXPECT_STREQ(t2, "Right now, please");
  EXPECT_EQ(t3, nullptr);
  std::free(t1);
  std::free(t2);
}

TEST(TalvoScnFile, EVTextsInPlaceModeKeepShortTextsAndKillReplacedOnes) {
  ScnBuilder b(400);
  b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  const uint16_t row2[16] = {170, 173, 176};
  EVType ev{};
  ASSERT_TRUE(f.FindEVByOffsets(row2, "EVA05", &ev, false, false, false));
  const uint16_t left = ev.text1_offset, right = ev.text2_offset;
  const uint32_t size = f.GetSize();
  ASSERT_TRUE(f.SetEVText(&ev, "L", "Much further right", nullptr, false, false));
  EXPECT_EQ(ev.text1_offset, left);
  EXPECT_EQ(ev.text2_offset, size);
  EXPECT_TRUE(has_dead_area(f, right, 6));
  char *t1, *t2, *t3;
  ASSERT_TRUE(f.GetEVText(&ev, &t1, &t2, &t3, false));
  EXPECT_STREQ(t1, "L");
  EXPECT_STREQ(t2, "Much further right");
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
  EXPECT_EQ(mo.text_offsets[0], area);
  EXPECT_EQ(mo.text_offsets[1], area + 2);
  EXPECT_EQ(mo.text_offsets[2], area + 4);
  EXPECT_EQ(u16_at(f, 156), area + 2);
  EXPECT_EQ(u16_at(f, 159), area + 4);
  char* joined = f.GetMOText(&mo, '/');
  EXPECT_STREQ(joined, "a/b/c");
  std::free(joined);

  // A fourth part: the first three are split, then false.
  ASSERT_TRUE(f.FindMOByOffsets(row, "BG30", &mo, 3, false));
  EXPECT_FALSE(f.SetMOText(&mo, "first/second/third/fourth", false, '/'));
  EXPECT_EQ(string_at(f, mo.text_offsets[0]), "first");
  EXPECT_EQ(string_at(f, mo.text_offsets[2]), "third/fourth");
  EXPECT_EQ(u16_at(f, 159), mo.text_offsets[2]);

  // Fewer parts leave the remaining pointers where they were.
  ASSERT_TRUE(f.FindMOByOffsets(row, "BG30", &mo, 3, false));
  const uint16_t third = u16_at(f, 159);
  ASSERT_TRUE(f.SetMOText(&mo, "x/y", false, '/'));
  EXPECT_EQ(u16_at(f, 159), third);
}

TEST(TalvoScnFile, TruncateAndRewriteAllVAAppendNamesAndTexts) {
  Day d({{"VA01X001", "one"}, {"VA01X002", "two"}});
  d.Locate(false);
  const uint16_t cut = d.vas[0].name_offset;
  ASSERT_TRUE(d.f.TruncateTo(&d.vas[0]));
  EXPECT_EQ(d.f.GetSize(), cut);
  EXPECT_EQ(u16_at(d.f, 4), cut);
  for (VAType& va : d.vas) {
    ASSERT_TRUE(d.f.SetVAText(&va, "text", false, false, false, false, true));
  }
  EXPECT_EQ(d.vas[0].name_offset, cut);
  EXPECT_EQ(d.vas[0].text_offset, cut + 9);
  EXPECT_EQ(d.vas[1].name_offset, cut + 14);
  EXPECT_EQ(string_at(d.f, u16_at(d.f, d.vas[1].name_p_offset)), "VA01X002");
  EXPECT_EQ(string_at(d.f, u16_at(d.f, d.vas[1].p_offset)), "text");
  EXPECT_EQ(d.f.GetSize(), cut + 28u);
}

TEST(TalvoScnFile, TextsOutsideTheImageAreNeitherReadNorReused) {
  // After a truncation an option text may lie past the end: it is not
  // overwritten in place there but placed inside the image.
  Day d(Entries{{"VA01X001", "one"}});
  d.b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  d.Locate(false);
  const uint16_t row2[16] = {170, 173, 176};
  EVType ev{};
  ASSERT_TRUE(d.f.FindEVByOffsets(row2, "EVA05", &ev, false, false, false));
  ASSERT_TRUE(d.f.TruncateTo(&d.vas[0]));
  const uint32_t size = d.f.GetSize();
  ASSERT_TRUE(d.f.SetEVText(&ev, "L", "R", nullptr, false, false));
  EXPECT_EQ(ev.text1_offset, size);
  EXPECT_EQ(ev.text2_offset, size + 2);
  EXPECT_EQ(dead_area_count(d.f), 0);

  // Pointer positions outside the image are refused before anything changes.
  VAType stray = d.vas[0];
  stray.p_offset = 65000;
  Bytes before = image_of(d.f);
  EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(d.f.SetVAText(&stray, "t", false, false, false, false, false)); }).empty());
  EXPECT_EQ(image_of(d.f), before);
}

TEST(TalvoScnFile, LinkSearchesFindEarlierSharedAndEqualTexts) {
  Day d({{"VA01X001", "Hi."}, {"VA01X002", "Other."}, {"VA01X003", "Hi."}, {"VA01X004", "x"}});
  // Record 3 shares record 1's stored text.
  d.b.SetU16(d.b.VARecord(3), d.b.GetU16(d.b.VARecord(1)));
  d.Locate(false);
  VAType found{};
  ASSERT_TRUE(d.f.FindFirstVALink(&d.vas[3], &found, 3, true, false));
  EXPECT_STREQ(found.name, "VA01X002");
  EXPECT_EQ(found.p_offset, d.vas[1].p_offset);
  delete[] found.name;
  EXPECT_FALSE(d.f.FindFirstVALink(&d.vas[1], &found, 1, true, false));
  ASSERT_TRUE(d.f.FindFirstVALink(&d.vas[1], &found, 1, false, false));
  EXPECT_STREQ(found.name, "VA01X004");
  delete[] found.name;
  EXPECT_FALSE(d.f.FindFirstVALink(&d.vas[1], &found, 1, false, true));

  ASSERT_TRUE(d.f.FindFirstVATextTwin(&d.vas[2], &found, 2, true, true));
  EXPECT_STREQ(found.name, "VA01X001");
  delete[] found.name;
  EXPECT_FALSE(d.f.FindFirstVATextTwin(&d.vas[0], &found, 0, true, true));
}

TEST(TalvoScnFile, CheckVASCorrectionReportsRecordsOutOfOrder) {
  auto record = [](const char* name, uint16_t p) { return VAType{name, 0, 0, uint16_t(p + 5), p, 0}; };
  struct Case {
    std::vector<VAType> vas;
    std::string expected;
  };
  std::vector<Case> cases = {
      {{record("VA01X001", 100), record("VA01X002", 115)}, ""},
      {{record("VA01X001", 100), record("VA01X002", 145)}, "VAS correction failed for: VA01X002 (2)\n"},
      // A gap-list name may follow a gap of whole records; the next must follow it.
      {{record("VA01X001", 100), record("VA13X001", 145), record("VA13X002", 160)}, ""},
      {{record("VA01X001", 100), record("VA13X001", 145), record("VA13X002", 175)},
       "VAS correction failed for: VA13X001 (2)\nVAS correction failed for: VA13X002 (2)\n"},
      {{record("VA01X001", 100), record("VA13X001", 115 + 20)}, "VAS correction failed for: VA13X001 (2)\n"},
      {{record("VA01X001", 100), record("VD33E004", 145), record("VD33E005", 190)},
       "VAS correction failed for: VD33E005 (2)\n"},
      {{record("VA01X001", 100), record("VA13X001", 130)}, ""},
  };
  VAType bad = record("VA01X009", 100);
  bad.name_p_offset = 104;
  cases.push_back({{bad}, "VAS correction failed for: VA01X009 (1)\n"});
  for (const Case& c : cases) {
    EXPECT_EQ(stderr_of([&] { TalvoScnFile::CheckVASCorrection(c.vas.data(), static_cast<int>(c.vas.size())); }),
              c.expected);
  }
}
