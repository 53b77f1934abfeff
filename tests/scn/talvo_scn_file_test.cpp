// The scn container: loading checks, resizing, dead areas and the save prompt.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include "tests/scn/scn_test_util.h"

using namespace scntest;

TEST(TalvoScnFile, LoadRefusesBadSizesSignaturesAndLengthFields) {
  Bytes largest = ScnBuilder(65535).Build(), tiny = {'s', 'c', 'n', 0, 6, 0};
  largest.push_back(0);
  TalvoScnFile f("DAY_A0");
  EXPECT_TRUE(f.SetData(largest.data(), 65535) && f.SetData(tiny.data(), 6));
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetData(tiny.data(), 5)); }), "Invalid size for scn file: 5 bytes.\n");
  for (int at : {3, 4}) {  // the signature, the length field
    Bytes b = tiny;
    b[at] = 7;
    stderr_of([&] { EXPECT_FALSE(f.SetData(b.data(), 6) || f.SetData(largest.data(), 65536)); });
    EXPECT_EQ(f.GetData(false, nullptr), nullptr);  // not the previous image either
  }
}

TEST(TalvoScnFile, ResizeKeepsBytesZeroFillsAndStopsAt65535) {
  Bytes original = ScnBuilder(100).Build();
  TalvoScnFile f("DAY_A0");
  uint16_t pos = 0;
  ASSERT_TRUE(load(f, ScnBuilder(100)) && f.Increase(50, &pos));
  original.resize(150);
  original[4] = 150;  // the length field
  EXPECT_TRUE(pos == 100 && image_of(f) == original);
  ASSERT_TRUE(f.Resize(80) && f.Resize(65535));
  Bytes before = image_of(f);
  // One byte too many, a wrapping increase, a size below the header's own length field.
  stderr_of([&] {
    EXPECT_FALSE(f.Resize(65536) || f.Increase(1, nullptr) || f.Increase(0xFFFFFFFFu, nullptr) || f.Resize(5));
  });
  EXPECT_TRUE(image_of(f) == before && u16_at(f, 4) == 65535);
}

TEST(TalvoScnFile, DeadAreasMergeForwardAndAreHandedOutExactOrBestFit) {
  TalvoScnFile f("DAY_A0");
  EXPECT_FALSE(f.AddDeadArea(90, 10));  // no image
  ASSERT_TRUE(load(f, ScnBuilder(400)));
  stderr_of([&] { EXPECT_FALSE(f.AddDeadArea(0, 5) || f.AddDeadArea(395, 6)); });  // in the header, past the end
  // Continuing the last one merges, one inside changes nothing, one ending where another begins stays apart.
  ASSERT_TRUE(f.AddDeadArea(90, 10) && f.AddDeadArea(100, 10) && f.AddDeadArea(95, 5) && f.AddDeadArea(200, 10) &&
              f.AddDeadArea(194, 6) && f.AddDeadArea(300, 50));
  EXPECT_TRUE(dead_area_count(f) == 4 && has_dead_area(f, 90, 20) && has_dead_area(f, 194, 6));
  uint16_t at = 0;
  EXPECT_FALSE(f.FindAndRemoveDeadArea(0, &at, false) || f.FindAndRemoveDeadArea(7, &at, true));
  ASSERT_TRUE(f.FindAndRemoveDeadArea(7, &at, false));  // front of the smallest larger area
  EXPECT_TRUE(at == 200 && has_dead_area(f, 207, 3));
  EXPECT_TRUE(f.FindAndRemoveDeadArea(6, &at, true) && at == 194);
  ASSERT_TRUE(f.Resize(320));  // cuts the areas at the new end
  EXPECT_TRUE(has_dead_area(f, 300, 20) && dead_area_count(f) == 3 && f.GetDeadTotal() == 43u);
  ASSERT_TRUE(load(f, ScnBuilder(5000)) && dead_area_count(f) == 0);
  for (int i = 0; i < TalvoScnFile::kDeadAreaSlots; ++i) ASSERT_TRUE(f.AddDeadArea(uint16_t(100 + 4 * i), 2)) << i;
  EXPECT_FALSE(f.AddDeadArea(4500, 2));
}

TEST(TalvoScnFile, SaveMessageIsReplacedInPlaceOnlyAndInsideTheImage) {
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, ScnBuilder(200)));
  EXPECT_EQ(take(f.GetSaveMessage(true)), sample::kStockSavePrompt);
  // 16 bytes of room; once replaced, the stock-only mode leaves it alone; then 5 bytes of room.
  ASSERT_TRUE(!f.SetSaveMessage("12345678901234567", false) && f.SetSaveMessage("Save your game?!", true));
  ASSERT_TRUE(!f.SetSaveMessage("Save?", true) && f.SetSaveMessage("Save?", false));
  stderr_of([&] { EXPECT_FALSE(f.SetSaveMessage("Save it?", false)); });
  EXPECT_EQ(string_at(f, 73), "Save?");
}

// A length of 0x113 puts the save command byte at 4; a text pointer of 0 reads the signature as a string.
// Neither may be written over.
TEST(TalvoScnFile, HeaderBytesAreNeverTakenForText) {
  ScnBuilder b(275);
  b.SetU16(70, 4);
  b.SetVAArea(200);
  b.SetVARecord(0, 0, 100);
  b.PutString(100, "VA01X001");
  TalvoScnFile f("DAY_A0");
  VAType va = locate_vas(f, b, {"VA01X001"}, false)[0];
  stderr_of([&] { EXPECT_FALSE(f.GetSaveMessage(false) || f.AddDeadArea(3, 2)); });
  ASSERT_TRUE(f.SetVAText(&va, "ab", false, false, false, false, false));
  EXPECT_TRUE(va.text_offset == 275 && string_at(f, 0) == "scn" && dead_area_count(f) == 0);
  va.p_offset = 2;
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetVAText(&va, "cd", false, false, false, false, false)); }),
            "Error: pointer position 2 lies in the scn header.\n");
}
