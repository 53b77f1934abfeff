#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "translation/encoding.h"
#include "tests/support/capture.h"

namespace {

// Shift-JIS is the JIS mapping on every system, where Windows' own differs
// (same bytes, other characters, rows JIS lacks); failures print nothing.
TEST(Translation, ConversionsUseTheJisMappingAndFailSilently) {
  const struct { const char* sjis; const char* utf8; } round_trips[] = {  // null: not Shift-JIS
      {"\x83\x5A\x81\x5B\x83\x75\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48", "セーブしますか？"},
      {"\x81\x60\x81\x61\x81\x7C", "\xE3\x80\x9C\xE2\x80\x96\xE2\x88\x92"},
      {"\x5C\x81\x5F", "\xC2\xA5\xEF\xBC\xBC"},  // YEN SIGN, FULLWIDTH REVERSE SOLIDUS
      {"\x83", nullptr},                         // incomplete double-byte character
      {"\x87\x40", nullptr},                     // NEC's circled one
      {"\xFA\x40", nullptr},                     // IBM's small roman one
  };
  testsupport::Output o;
  for (const auto& c : round_trips) {
    OwnedText utf8(testsupport::captured(&o, [&] { return sjis_to_utf8(c.sjis); }));
    EXPECT_EQ(utf8 != nullptr, c.utf8 != nullptr) << c.sjis;
    if (!utf8 || !c.utf8) continue;
    EXPECT_STREQ(utf8.get(), c.utf8);
    OwnedText back(x_to_sjis(c.utf8, "UTF-8"));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back.get(), c.sjis);
  }
  const struct { const char* text; const char* encoding; const char* sjis; } to_sjis[] = {
      {"\xA5\xA2", "EUC-JP", "\x83\x41"},  // "ア": any iconv name is a source
      // Characters Windows IMEs type become their JIS twins.
      {"\xEF\xBD\x9E\xE2\x88\xA5\xEF\xBC\x8D", "UTF-8", "\x81\x60\x81\x61\x81\x7C"},
      {"abc", "NO-SUCH-ENCODING", nullptr},
      {"\xEF\xBD\x9E\xC3\x28", "UTF-8", nullptr},  // invalid UTF-8 after a twin
      {"\xE2\x91\xA0", "UTF-8", nullptr},          // CIRCLED DIGIT ONE
  };
  for (const auto& c : to_sjis) {
    OwnedText sjis(testsupport::captured(&o, [&] { return x_to_sjis(c.text, c.encoding); }));
    EXPECT_EQ(sjis != nullptr, c.sjis != nullptr) << c.text;
    if (!sjis || !c.sjis) continue;
    EXPECT_STREQ(sjis.get(), c.sjis);
  }
  EXPECT_EQ(o.err, "");
}

TEST(Translation, ConvertResultMustFitWithItsTerminator) {
  // Each Shift-JIS "ア" (2 bytes) becomes 3 bytes of UTF-8: 341 give 1023.
  for (int chars : {341, 342}) {
    std::string sjis;
    for (int i = 0; i < chars; i++) sjis += "\x83\x41";
    OwnedText utf8(sjis_to_utf8(sjis.c_str()));
    EXPECT_EQ(utf8 ? strlen(utf8.get()) : 0u, chars == 341 ? 1023u : 0u);
  }
  EXPECT_FALSE(OwnedText(convert(std::string(1024, 'a').c_str(), "UTF-8", "SHIFT_JIS")));
  // The buffer is always the fixed size and zero beyond the text.
  OwnedText empty(sjis_to_utf8(""));
  ASSERT_TRUE(empty);
  for (int i = 0; i < kConvertBufferSize; i++) ASSERT_EQ(empty.get()[i], 0) << i;
}

}  // namespace
