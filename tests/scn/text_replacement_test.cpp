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
  const uint32_t size = f.GetSize();
  ASSERT_TRUE(set(f, vas[0], "Short.", false) && set(f, vas[1], "y", false));  // in place, also at equal length
  EXPECT_EQ(string_at(f, old_text), "Short.");
  EXPECT_EQ(u16_at(f, vas[1].p_offset), x_at);
  EXPECT_EQ(f.GetSize(), size);
  ASSERT_TRUE(set(f, vas[0], "Now a rather longer line.", false));  // moved, old text dead
  EXPECT_EQ(string_at(f, u16_at(f, vas[0].p_offset)), "Now a rather longer line.");
  EXPECT_EQ(u16s_at(f, {vas[0].p_offset, 4}), (U16s{static_cast<uint16_t>(size), static_cast<uint16_t>(size + 26)}));
  EXPECT_TRUE(has_dead_area(f, old_text, 7));
  ASSERT_TRUE(set(f, vas[1], "fits in dead space", false));  // never reused without kill_areas
  EXPECT_EQ(vas[1].text_offset, size + 26);
  TalvoScnFile g("DAY_A0");
  vas = locate(g, day({"twelve bytes", "a text of 20 bytes..", "z"}), 3, true);
  EXPECT_EQ(g.GetDeadTotal(), 13u + 21u + 2u);
  const uint16_t first = vas[0].text_offset, second = vas[1].text_offset;
  const uint32_t size2 = g.GetSize();
  ASSERT_TRUE(set(g, vas[2], "twelve chars", true));  // an area of exactly the size: used up
  EXPECT_EQ(u16_at(g, vas[2].p_offset), first);
  EXPECT_FALSE(has_dead_area(g, first, 13));
  ASSERT_TRUE(set(g, vas[0], "ten bytes", true));  // best fit keeps its tail
  EXPECT_EQ(vas[0].text_offset, second);
  EXPECT_TRUE(has_dead_area(g, second + 10, 11));
  ASSERT_TRUE(set(g, vas[1], "a text that fits nowhere at all", true));
  EXPECT_EQ(vas[1].text_offset, size2);
  EXPECT_EQ(take(g.GetVAText(&vas[1], true)), "a text that fits nowhere at all");
}

TEST(TalvoScnFile, UserAndMachineLinkingShareTexts) {
  TalvoScnFile f("DAY_A0");
  auto vas = locate(f, day({"one", "two", "three", "four"}), 4, true);
  ASSERT_TRUE(set(f, vas[0], "Same text", true, true, true));
  EXPECT_EQ(stderr_of([&] { ASSERT_TRUE(set(f, vas[1], "VA01X001", true, true)); }), "");
  EXPECT_EQ(u16_at(f, vas[1].p_offset), vas[0].text_offset);
  // A name never cached: a warning, and the name stored as text.
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
  // A full cache: the 1025th entry is refused, texts are still written.
  for (int i = 0; i < TalvoScnFile::kTextCacheEntries - 4; ++i) ASSERT_TRUE(f.AddTextToCache("VA01X001", 100)) << i;
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.AddTextToCache("VA01X001", 100)); }), "Warning: cache overflow.\n");
  EXPECT_EQ(stderr_of([&] { ASSERT_TRUE(set(f, vas[1], "new text", true, false, true)); }),
            "Warning: cache overflow.\n");
  EXPECT_EQ(string_at(f, vas[1].text_offset), "new text");
}

TEST(TalvoScnFile, TextsStopAtTheSizeLimit) {
  ScnBuilder b = day({"x"});
  b.PadTo(65500);
  TalvoScnFile f("DAY_A0");
  VAType va = locate(f, b, 1, false)[0];
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
  const uint16_t row3[16] = {150, 156, 153, 159}, row2[16] = {170, 173, 176};
  EVType three{}, two{};
  ASSERT_TRUE(load(f, b) && f.FindEVByOffsets(row3, "EVA11", &three, true, true, false) &&
              f.FindEVByOffsets(row2, "EVA05", &two, false, true, false));
  const uint16_t area = three.text1_offset, area2 = two.text1_offset;
  // A third text for a two-text entry (and the reverse): refused, nothing written.
  Bytes before = image_of(f);
  EXPECT_FALSE(f.SetEVText(&two, "a", "b", "c", true, false) || f.SetEVText(&three, "a", "b", nullptr, true, false));
  EXPECT_EQ(image_of(f), before);
  // 13 bytes of texts for the 13-byte area: back to back.
  ASSERT_TRUE(f.SetEVText(&three, "Yes", "No", "Maybe", true, false));
  EXPECT_EQ(u16s_at(f, {156, 153, 159}), (U16s{area, uint16_t(area + 4), uint16_t(area + 7)}));
  EXPECT_EQ(string_at(f, area + 7), "Maybe");
  // No exact area: the first takes the front of the 11-byte area, the second is appended.
  const uint32_t size = f.GetSize();
  ASSERT_TRUE(f.SetEVText(&two, "Left!", "Right now, please", nullptr, true, false));
  EXPECT_EQ(u16s_at(f, {173, 176}), (U16s{area2, uint16_t(size)}));
  char *t1, *t2, *t3;
  ASSERT_TRUE(f.GetEVText(&two, &t1, &t2, &t3, true));
  EXPECT_EQ(take(t1) + "|" + take(t2) + "|" + take(t3), "Left!|Right now, please|<null>");
  // In-place mode keeps a shorter text and kills the one it moves, joining the tail "Left!" left.
  ASSERT_TRUE(f.SetEVText(&two, "Left!", "Much further right, and more", nullptr, false, false));
  EXPECT_EQ(u16s_at(f, {173, 176}), (U16s{area2, uint16_t(size + 18)}));
  EXPECT_TRUE(has_dead_area(f, area2 + 6, 5 + 18));
}

TEST(TalvoScnFile, MOTextIsSplitAtTheSeparator) {
  ScnBuilder b(400);
  b.AddOptionGroup({150, 153, 156, 159}, "BG30", {"one", "two", "three"});
  TalvoScnFile f("DAY_B2");
  const uint16_t row[16] = {150, 153, 156, 159};
  MOType mo{};
  ASSERT_TRUE(load(f, b) && f.FindMOByOffsets(row, "BG30", &mo, 3, true));
  const uint16_t area = mo.text_offsets[0];
  ASSERT_TRUE(f.SetMOText(&mo, "a/b/c", true, '/'));
  EXPECT_EQ(u16s_at(f, {153, 156, 159}), (U16s{area, uint16_t(area + 2), uint16_t(area + 4)}));
  EXPECT_EQ(take(f.GetMOText(&mo, '/')), "a/b/c");
  // Fewer or more parts than choices: refused before anything changes.
  for (const char* text : {"x/y", "first/second/third/fourth"}) {
    const Bytes before = image_of(f);
    EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.SetMOText(&mo, text, false, '/')); }), "") << text;
    EXPECT_EQ(image_of(f), before) << text;
  }
}

TEST(TalvoScnFile, InPlaceTextSharedWithAnotherLineGetsItsOwnStorage) {
  // Records 0 and 1 (other names) show one stored text, and so does record 2,
  // a copy carrying record 0's name.
  const char original[] = "A shared line of text.";
  ScnBuilder b = day({original, "x", "y"});
  b.SetU16(b.VARecord(1), b.GetU16(b.VARecord(0)));
  b.SetU16(b.VARecord(2), b.GetU16(b.VARecord(0)));
  b.SetU16(b.VARecord(2) + 5, b.AppendString(kNames[0]));
  for (bool copy_is_written : {false, true}) {
    SCOPED_TRACE(copy_is_written);
    TalvoScnFile f("DAY_A0");
    auto vas = locate(f, b, 2, false);
    const uint16_t shared = vas[0].text_offset;
    if (copy_is_written) {
      // Alone with its copy, a line takes the new text in place for both.
      VAType copy{};
      ASSERT_TRUE(f.FindVAByIndex(2, kNames[0], &copy, false, false));
      ASSERT_TRUE(set(f, vas[1], "Second.", false) && set(f, vas[0], "First.", false));
      EXPECT_EQ(u16s_at(f, {vas[0].p_offset, copy.p_offset}), (U16s{shared, shared}));
    } else {
      ASSERT_TRUE(set(f, vas[0], "First.", false) && set(f, vas[1], "Second.", false));
      // The copy keeps the old text, whose storage is therefore not free.
      EXPECT_EQ(u16_at(f, b.VARecord(2)), shared);
      EXPECT_EQ(string_at(f, shared), original);
      EXPECT_EQ(dead_area_count(f), 0);
    }
    EXPECT_EQ(string_at(f, u16_at(f, vas[0].p_offset)), "First.");
    EXPECT_EQ(string_at(f, u16_at(f, vas[1].p_offset)), "Second.");
  }
}

TEST(TalvoScnFile, TruncateAndRewriteAllVAAppendNamesAndTexts) {
  ScnBuilder b = day({"one", "two"});
  b.AddOptionGroup({170, 173, 176}, "EVA05", {"left", "right"});
  TalvoScnFile f("DAY_A0");
  auto vas = locate(f, b, 2, false);
  const uint16_t row2[16] = {170, 173, 176};
  EVType ev{};
  ASSERT_TRUE(f.FindEVByOffsets(row2, "EVA05", &ev, false, false, false));
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
  ScnBuilder b = day({"Hi.", "Other.", "Hi.", "x"});
  b.SetU16(b.VARecord(3), b.GetU16(b.VARecord(1)));  // record 3 shares record 1's text
  TalvoScnFile f("DAY_A0");
  auto vas = locate(f, b, 4, false);
  auto found_name = [](bool ok, VAType& found) {
    std::string n = ok ? found.name : "<none>";
    if (ok) delete[] found.name;
    return n;
  };
  VAType found{};
  EXPECT_EQ(found_name(f.FindFirstVALink(&vas[3], &found, 3, true, false), found), "VA01X002");
  EXPECT_EQ(found.p_offset, vas[1].p_offset);
  EXPECT_EQ(found_name(f.FindFirstVALink(&vas[1], &found, 1, true, false), found), "<none>");
  EXPECT_EQ(found_name(f.FindFirstVALink(&vas[1], &found, 1, false, false), found), "VA01X004");
  EXPECT_EQ(found_name(f.FindFirstVALink(&vas[1], &found, 1, false, true), found), "<none>");
  EXPECT_EQ(found_name(f.FindFirstVATextTwin(&vas[2], &found, 2, true, true), found), "VA01X001");
  EXPECT_EQ(found_name(f.FindFirstVATextTwin(&vas[0], &found, 0, true, true), found), "<none>");
}

