// The scn container: loading checks, resizing, dead areas and the save prompt.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/scn/scn_test_util.h"

using namespace scntest;

TEST(TalvoScnFile, LoadRefusesBadSizesSignaturesAndLengthFields) {
  ScnBuilder big(65536);
  Bytes huge = big.Build();
  TalvoScnFile f("DAY_A0");
  for (unsigned int len : {0u, 3u, 5u, 65536u}) {
    std::string err = stderr_of([&] { EXPECT_FALSE(f.SetData(huge.data(), len)); });
    EXPECT_EQ(err, "Invalid size for scn file: " + std::to_string(len) + " bytes.\n");
  }
  EXPECT_FALSE(f.SetData(nullptr, 100));

  Bytes tiny = {'s', 'c', 'n', 0, 6, 0};
  EXPECT_TRUE(f.SetData(tiny.data(), 6));
  EXPECT_EQ(f.GetSize(), 6u);

  ScnBuilder max(65535);
  Bytes largest = max.Build();
  EXPECT_TRUE(f.SetData(largest.data(), 65535));

  Bytes bad_sig = tiny;
  bad_sig[3] = 'x';
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetData(bad_sig.data(), 6)); }),
            "Invalid scn signature.\n");
  // A failed load leaves no image at all, not the previous one.
  EXPECT_EQ(f.GetData(false, nullptr), nullptr);
  EXPECT_EQ(f.GetSize(), 0u);

  Bytes bad_len = tiny;
  bad_len[4] = 7;
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetData(bad_len.data(), 6)); }),
            "Scn size mismatch with the one in header.\n");
}

TEST(TalvoScnFile, GetDataHandsOutTheImageOrAnOwnedCopy) {
  ScnBuilder b(100);
  TalvoScnFile f("DAY_A0");
  unsigned int size = 123;
  EXPECT_EQ(f.GetData(false, &size), nullptr);
  ASSERT_TRUE(load(f, b));
  unsigned char* inside = f.GetData(false, &size);
  EXPECT_EQ(size, 100u);
  unsigned char* copy = f.GetData(true, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, inside);
  EXPECT_EQ(std::memcmp(copy, inside, 100), 0);
  EXPECT_EQ(Bytes(copy, copy + 100), b.Build());
  std::free(copy);
}

TEST(TalvoScnFile, ResizeKeepsBytesZeroFillsAndRewritesTheLengthField) {
  ScnBuilder b(100);
  Bytes original = b.Build();
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));

  uint16_t pos = 0;
  ASSERT_TRUE(f.Increase(50, &pos));
  EXPECT_EQ(pos, 100);
  Bytes grown = image_of(f);
  ASSERT_EQ(grown.size(), 150u);
  EXPECT_EQ(talvo::read_le16(&grown[4]), 150);
  EXPECT_TRUE(std::equal(original.begin() + 6, original.end(), grown.begin() + 6));
  for (size_t i = 100; i < 150; ++i) EXPECT_EQ(grown[i], 0) << i;

  ASSERT_TRUE(f.Resize(80));
  EXPECT_EQ(f.GetSize(), 80u);
  EXPECT_EQ(u16_at(f, 4), 80);

  ASSERT_TRUE(f.Resize(65535));
  EXPECT_EQ(u16_at(f, 4), 65535);
  Bytes before = image_of(f);
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.Resize(65536)); }),
            "Scn file cannot be bigger than 65535 bytes.\n");
  EXPECT_EQ(image_of(f), before);
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.Increase(1, nullptr)); }),
            "Scn file cannot be bigger than 65535 bytes.\n");
  // An increase that would wrap 32 bits is refused too.
  EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(f.Increase(0xFFFFFFFFu, nullptr)); }).empty());
  // Below the header the image would lose its own length field.
  EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(f.Resize(5)); }).empty());
  EXPECT_EQ(image_of(f), before);
}

TEST(TalvoScnFile, AddDeadAreaMergesOnlyForwardAndRefusesBadAreas) {
  ScnBuilder b(300);
  TalvoScnFile f("DAY_A0");
  EXPECT_FALSE(f.AddDeadArea(90, 10));  // no image
  ASSERT_TRUE(load(f, b));
  EXPECT_FALSE(f.AddDeadArea(0, 5));

  ASSERT_TRUE(f.AddDeadArea(90, 10));
  ASSERT_TRUE(f.AddDeadArea(100, 10));
  EXPECT_TRUE(has_dead_area(f, 90, 20));
  EXPECT_EQ(f.GetDeadTotal(), 20u);
  EXPECT_TRUE(f.AddDeadArea(95, 5));  // wholly inside: nothing changes
  EXPECT_EQ(f.GetDeadTotal(), 20u);
  EXPECT_EQ(dead_area_count(f), 1);

  ASSERT_TRUE(f.AddDeadArea(200, 10));
  ASSERT_TRUE(f.AddDeadArea(190, 10));  // ends where one begins: not merged
  EXPECT_TRUE(has_dead_area(f, 200, 10));
  EXPECT_TRUE(has_dead_area(f, 190, 10));
  EXPECT_EQ(f.GetDeadTotal(), 40u);

  // An area reaching past the end of the image is never recorded.
  EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(f.AddDeadArea(295, 6)); }).empty());
  EXPECT_TRUE(f.AddDeadArea(295, 5));
}

TEST(TalvoScnFile, DeadAreaTableHoldsExactly1024Areas) {
  ScnBuilder b(5000);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  for (int i = 0; i < TalvoScnFile::kDeadAreaSlots; ++i) {
    ASSERT_TRUE(f.AddDeadArea(static_cast<uint16_t>(100 + 4 * i), 2)) << i;
  }
  EXPECT_FALSE(f.AddDeadArea(4500, 2));
  EXPECT_EQ(f.GetDeadTotal(), 2048u);
}

TEST(TalvoScnFile, FindAndRemoveDeadAreaPrefersExactThenSmallestLarger) {
  ScnBuilder b(300);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.AddDeadArea(100, 8));
  ASSERT_TRUE(f.AddDeadArea(120, 5));
  ASSERT_TRUE(f.AddDeadArea(140, 6));
  uint16_t at = 0;

  EXPECT_FALSE(f.FindAndRemoveDeadArea(0, &at, false));
  EXPECT_FALSE(f.FindAndRemoveDeadArea(4, &at, true));
  EXPECT_FALSE(f.FindAndRemoveDeadArea(9, &at, false));

  ASSERT_TRUE(f.FindAndRemoveDeadArea(4, &at, false));
  EXPECT_EQ(at, 120);
  EXPECT_TRUE(has_dead_area(f, 124, 1));
  EXPECT_EQ(f.GetDeadTotal(), 15u);

  ASSERT_TRUE(f.FindAndRemoveDeadArea(6, &at, true));
  EXPECT_EQ(at, 140);
  EXPECT_EQ(dead_area_count(f), 2);
  EXPECT_EQ(f.GetDeadTotal(), 9u);
}

TEST(TalvoScnFile, ShrinkingDropsDeadSpaceBeyondTheNewEnd) {
  ScnBuilder b(400);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.AddDeadArea(100, 20));
  ASSERT_TRUE(f.AddDeadArea(190, 20));
  ASSERT_TRUE(f.AddDeadArea(300, 50));
  ASSERT_TRUE(f.Resize(200));
  EXPECT_TRUE(has_dead_area(f, 100, 20));
  EXPECT_TRUE(has_dead_area(f, 190, 10));
  EXPECT_EQ(dead_area_count(f), 2);
  EXPECT_EQ(f.GetDeadTotal(), 30u);
  uint16_t at;
  EXPECT_FALSE(f.FindAndRemoveDeadArea(50, &at, false));
}

TEST(TalvoScnFile, PrintDeadAreasListsUsedSlotsInHex) {
  ScnBuilder b(400);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  ASSERT_TRUE(f.AddDeadArea(0x100, 12));
  ASSERT_TRUE(f.AddDeadArea(0x20, 3));
  EXPECT_EQ(stdout_of([&] { f.PrintDeadAreas(); }), "100: 12\n20: 3\n");
}

TEST(TalvoScnFile, SaveMessageIsReadAndReplacedInPlace) {
  ScnBuilder b(200);
  TalvoScnFile f("DAY_A0");
  ASSERT_TRUE(load(f, b));
  EXPECT_STREQ(f.GetSaveMessage(false), testsupport::kStockSavePrompt);
  char* copy = f.GetSaveMessage(true);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, testsupport::kStockSavePrompt);
  std::free(copy);

  EXPECT_FALSE(f.SetSaveMessage("12345678901234567", false));
  ASSERT_TRUE(f.SetSaveMessage("Save your game?!", true));  // 16 bytes
  EXPECT_STREQ(f.GetSaveMessage(false), "Save your game?!");
  EXPECT_FALSE(f.SetSaveMessage("Save?", true));  // no longer the stock prompt
  ASSERT_TRUE(f.SetSaveMessage("Save?", false));
  EXPECT_EQ(f.GetSize(), 200u);
  EXPECT_EQ(string_at(f, 73), "Save?");
  // Five bytes of room now: a longer text would overwrite the script.
  Bytes before = image_of(f);
  EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(f.SetSaveMessage("Save it?", false)); }).empty());
  EXPECT_EQ(image_of(f), before);
}

TEST(TalvoScnFile, SavePromptOutsideTheImageIsRefused) {
  struct Case {
    uint32_t size;
    uint16_t field;     // value stored at 70 (when the image has room)
    int command;        // byte at the command offset, -1 to leave it
    bool terminated;    // whether the text ends inside the image
    bool error_line;
  };
  const Case cases[] = {
      {60, 0, -1, true, true},       // too short to hold the offset
      {100, 100, -1, true, true},    // offset at the end
      {100, 65535, -1, true, true},  // offset far outside
      {100, 80, 0x12, true, false},  // no save command there
      {100, 95, 0x13, false, true},  // text runs to the end of the image
  };
  for (const Case& c : cases) {
    ScnBuilder b(c.size);
    if (c.size >= 72) b.SetU16(70, c.field);
    if (c.command >= 0) b.SetByte(c.field, static_cast<uint8_t>(c.command));
    if (!c.terminated) {
      for (uint32_t i = c.field + 1u; i < c.size; ++i) b.SetByte(i, 'x');
    }
    TalvoScnFile f("DAY_A0");
    ASSERT_TRUE(load(f, b));
    Bytes before = image_of(f);
    std::string err = stderr_of([&] {
      EXPECT_EQ(f.GetSaveMessage(false), nullptr);
      EXPECT_EQ(f.GetSaveMessage(true), nullptr);
      EXPECT_FALSE(f.SetSaveMessage("x", false));
    });
    EXPECT_EQ(!err.empty(), c.error_line) << c.size << " " << c.field << ": " << err;
    EXPECT_EQ(image_of(f), before);
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
  ASSERT_TRUE(load(f, b));
  EXPECT_FALSE(stderr_of([&] { EXPECT_EQ(f.GetSaveMessage(false), nullptr); }).empty());
  EXPECT_FALSE(stderr_of([&] { EXPECT_FALSE(f.AddDeadArea(3, 2)); }).empty());
  ASSERT_TRUE(f.SetVASearch(200, 15));
  talvo::VAType va{};
  ASSERT_TRUE(f.FindVAByIndex(0, "VA01X001", &va, false, false));
  ASSERT_TRUE(f.SetVAText(&va, "ab", false, false, false, false, false));
  EXPECT_EQ(va.text_offset, 275);
  Bytes image = image_of(f);
  EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), (Bytes{'s', 'c', 'n', 0}));
  EXPECT_EQ(u16_at(f, 4), 278);
  EXPECT_EQ(dead_area_count(f), 0);
  va.p_offset = 2;
  EXPECT_EQ(stderr_of([&] { EXPECT_FALSE(f.SetVAText(&va, "cd", false, false, false, false, false)); }),
            "Error: pointer position 2 lies in the scn header.\n");
}
