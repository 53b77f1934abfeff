// The scn container: loading checks, resizing, dead areas and the save prompt.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/scn/scn_test_util.h"

using namespace scntest;

TEST(TalvoScnFile, LoadRefusesBadSizesSignaturesAndLengthFields) {
  Bytes huge = ScnBuilder(65536).Build();
  TalvoScnFile f("DAY_A0");
  for (unsigned int len : {0u, 5u, 65536u}) {
    EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetData(huge.data(), len)); }),
              "Invalid size for scn file: " + std::to_string(len) + " bytes.\n");
  }
  Bytes largest = ScnBuilder(65535).Build();
  EXPECT_TRUE(f.SetData(largest.data(), 65535));
  Bytes tiny = {'s', 'c', 'n', 0, 6, 0};
  EXPECT_TRUE(f.SetData(tiny.data(), 6));
  const std::pair<int, const char*> bad[] = {{3, "Invalid scn signature.\n"},
                                             {4, "Scn size mismatch with the one in header.\n"}};
  for (auto [at, message] : bad) {
    Bytes b = tiny;
    b[at] = 7;
    EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetData(b.data(), 6)); }), message);
    // A failed load leaves no image at all, not the previous one.
    EXPECT_EQ(f.GetData(false, nullptr), nullptr);
  }
}

TEST(TalvoScnFile, ResizeKeepsBytesZeroFillsAndStopsAt65535) {
  ScnBuilder b(100);
  Bytes original = b.Build();
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  unsigned char* copy = f.GetData(true, nullptr);
  EXPECT_NE(copy, f.GetData(false, nullptr));
  EXPECT_EQ(Bytes(copy, copy + 100), original);
  std::free(copy);
  uint16_t pos = 0;
  ASSERT_TRUE(f.Increase(50, &pos));
  EXPECT_EQ(pos, 100);
  Bytes grown = image_of(f);
  EXPECT_EQ(talvo::read_le16(&grown[4]), 150);
  EXPECT_TRUE(std::equal(original.begin() + 6, original.end(), grown.begin() + 6));
  EXPECT_EQ(Bytes(grown.begin() + 100, grown.end()), Bytes(50, 0));
  ASSERT_TRUE(f.Resize(80));
  EXPECT_EQ(u16_at(f, 4), 80);
  ASSERT_TRUE(f.Resize(65535));
  EXPECT_EQ(u16_at(f, 4), 65535);
  Bytes before = image_of(f);
  const char* too_big = "Scn file cannot be bigger than 65535 bytes.\n";
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.Resize(65536)); }), too_big);
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.Increase(1, nullptr)); }), too_big);
  // A wrapping increase, and a size below the header's own length field.
  EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.Increase(0xFFFFFFFFu, nullptr)); }), "");
  EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.Resize(5)); }), "");
  EXPECT_EQ(image_of(f), before);
}

TEST(TalvoScnFile, DeadAreasMergeForwardAndAreHandedOutExactOrBestFit) {
  TalvoScnFile f("DAY_A0");
  EXPECT_FALSE(f.AddDeadArea(90, 10));  // no image
  ASSERT_TRUE(load(f, ScnBuilder(400)));
  EXPECT_FALSE(f.AddDeadArea(0, 5));
  ASSERT_TRUE(f.AddDeadArea(90, 10));
  ASSERT_TRUE(f.AddDeadArea(100, 10));  // continues the last one: merged
  EXPECT_TRUE(f.AddDeadArea(95, 5));    // wholly inside: nothing changes
  ASSERT_TRUE(f.AddDeadArea(200, 10));
  ASSERT_TRUE(f.AddDeadArea(194, 6));  // ends where one begins: not merged
  ASSERT_TRUE(f.AddDeadArea(300, 50));
  EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.AddDeadArea(395, 6)); }), "");  // past the end
  EXPECT_EQ(stdout_of([&] { f.PrintDeadAreas(); }), "5a: 20\nc8: 10\nc2: 6\n12c: 50\n");
  EXPECT_EQ(f.GetDeadTotal(), 86u);
  uint16_t at = 0;
  EXPECT_FALSE(f.FindAndRemoveDeadArea(0, &at, false));
  EXPECT_FALSE(f.FindAndRemoveDeadArea(7, &at, true));
  ASSERT_TRUE(f.FindAndRemoveDeadArea(7, &at, false));  // front of the smallest larger area
  EXPECT_EQ(at, 200);
  EXPECT_TRUE(has_dead_area(f, 207, 3));
  ASSERT_TRUE(f.FindAndRemoveDeadArea(6, &at, true));
  EXPECT_EQ(at, 194);
  // Shrinking cuts the areas at the new end.
  ASSERT_TRUE(f.Resize(320));
  EXPECT_TRUE(has_dead_area(f, 300, 20));
  EXPECT_EQ(dead_area_count(f), 3);
  EXPECT_EQ(f.GetDeadTotal(), 43u);
  EXPECT_FALSE(f.FindAndRemoveDeadArea(50, &at, false));
  ASSERT_TRUE(load(f, ScnBuilder(5000)));
  EXPECT_EQ(dead_area_count(f), 0);
  for (int i = 0; i < TalvoScnFile::kDeadAreaSlots; ++i) {
    ASSERT_TRUE(f.AddDeadArea(static_cast<uint16_t>(100 + 4 * i), 2)) << i;
  }
  EXPECT_FALSE(f.AddDeadArea(4500, 2));
}

TEST(TalvoScnFile, SaveMessageIsReplacedInPlaceOnlyAndInsideTheImage) {
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, ScnBuilder(200)));
  EXPECT_EQ(take(f.GetSaveMessage(true)), sample::kStockSavePrompt);
  EXPECT_FALSE(f.SetSaveMessage("12345678901234567", false));
  ASSERT_TRUE(f.SetSaveMessage("Save your game?!", true));  // 16 bytes
  EXPECT_FALSE(f.SetSaveMessage("Save?", true));  // no longer the stock prompt
  ASSERT_TRUE(f.SetSaveMessage("Save?", false));
  EXPECT_STREQ(f.GetSaveMessage(false), "Save?");
  EXPECT_EQ(string_at(f, 73), "Save?");
  // Five bytes of room now: a longer text would overwrite the script.
  EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.SetSaveMessage("Save it?", false)); }), "");
  // field: the value at 70; command: the byte there (-1: left as it is)
  struct Case { uint32_t size; uint16_t field; int command; bool unterminated, error_line; };
  const Case cases[] = {
      {60, 0, -1, false, true},      {100, 100, -1, false, true}, {100, 65535, -1, false, true},
      {100, 80, 0x12, false, false}, {100, 95, 0x13, true, true},
  };
  for (const Case& c : cases) {
    ScnBuilder b(c.size);
    if (c.size >= 72) b.SetU16(70, c.field);
    if (c.command >= 0) b.SetByte(c.field, static_cast<uint8_t>(c.command));
    for (uint32_t i = c.field + 1u; c.unterminated && i < c.size; ++i) b.SetByte(i, 'x');
    ASSERT_TRUE(load(f, b));
    std::string err = stderr_of([&] {
      EXPECT_EQ(f.GetSaveMessage(false), nullptr);
      EXPECT_EQ(f.GetSaveMessage(true), nullptr);
      EXPECT_FALSE(f.SetSaveMessage("x", false));
    });
    EXPECT_EQ(!err.empty(), c.error_line) << c.size << " " << c.field << ": " << err;
    EXPECT_EQ(image_of(f), b.Build());
  }
}

TEST(TalvoScnFile, HeaderBytesAreNeverTakenForText) {
  // A length of 0x113 puts the save command byte at 4; a text pointer of 0
  // reads the signature as a string. Neither may be written over.
  ScnBuilder b(275);
  b.SetU16(70, 4);
  b.SetVAArea(200);
  b.SetVARecord(0, 0, 100);
  b.PutString(100, "VA01X001");
  TalvoScnFile f("DAY_A0");
  VAType va = locate_vas(f, b, {"VA01X001"}, false)[0];
  EXPECT_NE(stderr_of([&] { EXPECT_EQ(f.GetSaveMessage(false), nullptr); }), "");
  EXPECT_NE(stderr_of([&] { EXPECT_FALSE(f.AddDeadArea(3, 2)); }), "");
  ASSERT_TRUE(f.SetVAText(&va, "ab", false, false, false, false, false));
  EXPECT_EQ(va.text_offset, 275);
  EXPECT_EQ(string_at(f, 0), "scn");
  EXPECT_EQ(u16_at(f, 4), 278);
  EXPECT_EQ(dead_area_count(f), 0);
  va.p_offset = 2;
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetVAText(&va, "cd", false, false, false, false, false)); }),
            "Error: pointer position 2 lies in the scn header.\n");
}
