#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "translation/encoding.h"
#include "tests/support/capture.h"

namespace {

// "セーブしますか？" in Shift-JIS and in UTF-8.
const char kSjisPrompt[] =
    "\x83\x5A\x81\x5B\x83\x75\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48";
const char kUtf8Prompt[] = "セーブしますか？";

TEST(Translation, ConvertBothWaysAndFailSilently) {
  OwnedText utf8(sjis_to_utf8(kSjisPrompt));
  ASSERT_TRUE(utf8);
  EXPECT_STREQ(utf8.get(), kUtf8Prompt);
  OwnedText sjis(x_to_sjis(kUtf8Prompt, "UTF-8"));
  ASSERT_TRUE(sjis);
  EXPECT_STREQ(sjis.get(), kSjisPrompt);
  OwnedText euc(x_to_sjis("\xA5\xA2", "EUC-JP"));  // "ア": any iconv name is a source
  ASSERT_TRUE(euc);
  EXPECT_STREQ(euc.get(), "\x83\x41");
  testsupport::Output o;
  testsupport::captured(&o, [] {
    EXPECT_EQ(x_to_sjis("abc", "NO-SUCH-ENCODING"), nullptr);
    EXPECT_EQ(sjis_to_utf8("\x83"), nullptr);            // incomplete double-byte character
    EXPECT_EQ(x_to_sjis("\xC3\x28", "UTF-8"), nullptr);  // invalid UTF-8
  });
  EXPECT_EQ(o.err, "");
}

TEST(Translation, WindowsOnlyCharactersBecomeTheirJisTwins) {
  const struct {
    const char* text;
    const char* encoding;
    const char* sjis;
  } cases[] = {
      {"a\xEF\xBD\x9E!", "UTF-8", "a\x81\x60!"},   // FULLWIDTH TILDE as Windows IMEs type it
      {"\xE3\x80\x9C", "UTF-8", "\x81\x60"},       // WAVE DASH, as ever
      {"\xE2\x88\xA5\xEF\xBC\x8D\xE3\x82\xA2", "UTF-8", "\x81\x61\x81\x7C\x83\x41"},
      {"\x81\x60\x81\x7C", "CP932", "\x81\x60\x81\x7C"},  // Windows' own Shift-JIS
  };
  for (const auto& c : cases) {
    OwnedText sjis(x_to_sjis(c.text, c.encoding));
    ASSERT_TRUE(sjis) << c.text;
    EXPECT_STREQ(sjis.get(), c.sjis) << c.text;
  }
  EXPECT_EQ(x_to_sjis("\xEF\xBD\x9E\xC3\x28", "UTF-8"), nullptr);  // still invalid UTF-8
}

TEST(Translation, ShiftJisIsTheJisMappingOnEverySystem) {
  // Where Windows' own Shift-JIS differs: same bytes, other characters, and
  // rows JIS does not have.
  const struct {
    const char* sjis;
    const char* utf8;  // null: not Shift-JIS
  } cases[] = {
      {"\x81\x60\x81\x61\x81\x7C", "\xE3\x80\x9C\xE2\x80\x96\xE2\x88\x92"},
      {"\x81\x91\x81\x92\x81\xCA", "\xC2\xA2\xC2\xA3\xC2\xAC"},
      {"\x5C\x81\x5F", "\xC2\xA5\xEF\xBC\xBC"},  // YEN SIGN, FULLWIDTH REVERSE SOLIDUS
      {"\x87\x40", nullptr},                         // NEC's circled one
      {"\xFA\x40", nullptr},                         // IBM's small roman one
  };
  for (const auto& c : cases) {
    OwnedText utf8(sjis_to_utf8(c.sjis));
    EXPECT_EQ(utf8 != nullptr, c.utf8 != nullptr) << c.sjis;
    if (!utf8 || !c.utf8) continue;
    EXPECT_STREQ(utf8.get(), c.utf8);
    OwnedText back(x_to_sjis(c.utf8, "UTF-8"));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back.get(), c.sjis);
  }
  EXPECT_EQ(x_to_sjis("\xE2\x91\xA0", "UTF-8"), nullptr);  // CIRCLED DIGIT ONE
}

TEST(Translation, ConvertResultMustFitWithItsTerminator) {
  // Each Shift-JIS "ア" (2 bytes) becomes 3 bytes of UTF-8: 341 give 1023.
  for (int chars : {341, 342}) {
    std::string sjis;
    for (int i = 0; i < chars; i++) sjis += "\x83\x41";
    OwnedText utf8(sjis_to_utf8(sjis.c_str()));
    EXPECT_EQ(utf8 != nullptr, chars == 341);
    if (utf8) {
      EXPECT_EQ(strlen(utf8.get()), 1023u);
    }
  }
  EXPECT_FALSE(OwnedText(convert(std::string(1024, 'a').c_str(), "UTF-8", "SHIFT_JIS")));
  // The buffer is always the fixed size and zero beyond the text.
  OwnedText empty(sjis_to_utf8(""));
  ASSERT_TRUE(empty);
  for (int i = 0; i < kConvertBufferSize; i++) ASSERT_EQ(empty.get()[i], 0) << i;
}

TEST(Translation, ConvertWarnsAboutApproximations) {
  testsupport::Output o;
  OwnedText ascii(testsupport::captured(&o, [] { return convert("caf\xC3\xA9", "UTF-8", "ASCII//TRANSLIT"); }));
  const std::string& err = o.err;
  ASSERT_TRUE(ascii);
  EXPECT_EQ(std::string(ascii.get()).substr(0, 3), "caf");  // the rest depends on the locale
  EXPECT_EQ(err, "Warning: non reversible conversion: caf\xC3\xA9\n");
}

TEST(Translation, ReplaceString) {
  const struct {
    const char* text;
    const char* search;
    const char* replacement;
    const char* expected;
  } cases[] = {
      {"a%F%Nb c%F%N.", "%F%N", "%F %N", "a%F %Nb c%F %N."},
      {"%N", "%N", "", ""},
      {"Hi %N!", "%N", "Kei", "Hi Kei!"},
      {"%F%F%F", "%F", "%F%F", "%F%F%F%F%F%F"},  // replacements are not rescanned
      {"no placeholder", "%N", "x", "no placeholder"},
  };
  for (const auto& c : cases) {
    OwnedText out(replace_string(strdup(c.text), c.search, c.replacement));
    ASSERT_TRUE(out);
    EXPECT_STREQ(out.get(), c.expected) << c.text;
  }
}

}  // namespace
