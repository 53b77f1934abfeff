#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "translation/encoding.h"

namespace {

struct Freed {
  void operator()(char* p) const { free(p); }
};
using Text = std::unique_ptr<char, Freed>;

// "セーブしますか？" in Shift-JIS and in UTF-8.
const char kSjisPrompt[] =
    "\x83\x5A\x81\x5B\x83\x75\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48";
const char kUtf8Prompt[] = "セーブしますか？";

TEST(Translation, ConvertBothWays) {
  Text utf8(sjis_to_utf8(kSjisPrompt));
  ASSERT_TRUE(utf8);
  EXPECT_STREQ(utf8.get(), kUtf8Prompt);
  Text sjis(x_to_sjis(kUtf8Prompt, "UTF-8"));
  ASSERT_TRUE(sjis);
  EXPECT_STREQ(sjis.get(), kSjisPrompt);
  // Any iconv name works as a source; the buffer is always the fixed size
  // and zero beyond the text.
  Text euc(x_to_sjis("\xA5\xA2", "EUC-JP"));  // "ア"
  ASSERT_TRUE(euc);
  EXPECT_STREQ(euc.get(), "\x83\x41");
  Text empty(sjis_to_utf8(""));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty.get()[0], 0);
  EXPECT_EQ(empty.get()[kConvertBufferSize - 1], 0);
}

TEST(Translation, ConvertFailuresAreSilent) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(convert("abc", "NO-SUCH-ENCODING", "UTF-8"), nullptr);
  EXPECT_EQ(x_to_sjis("abc", "NO-SUCH-ENCODING"), nullptr);
  EXPECT_EQ(sjis_to_utf8("\x83"), nullptr);          // incomplete double-byte character
  EXPECT_EQ(x_to_sjis("\xC3\x28", "UTF-8"), nullptr);  // invalid UTF-8
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Translation, ConvertResultMustFitWithItsTerminator) {
  // Each Shift-JIS "ア" (2 bytes) becomes 3 bytes of UTF-8.
  for (int chars : {341, 342}) {
    std::string sjis;
    for (int i = 0; i < chars; i++) sjis += "\x83\x41";
    Text utf8(sjis_to_utf8(sjis.c_str()));
    if (chars * 3 <= kConvertBufferSize - 1) {
      ASSERT_TRUE(utf8) << chars;
      EXPECT_EQ(strlen(utf8.get()), static_cast<size_t>(chars * 3));
    } else {
      EXPECT_FALSE(utf8) << chars;  // 1026 bytes: too long
    }
  }
  // Exactly 1024 bytes of result would leave no terminator: refused; 1023 fits.
  EXPECT_FALSE(Text(convert(std::string(1024, 'a').c_str(), "UTF-8", "SHIFT_JIS")));
  Text fits(convert(std::string(1023, 'a').c_str(), "UTF-8", "SHIFT_JIS"));
  ASSERT_TRUE(fits);
  EXPECT_EQ(strlen(fits.get()), 1023u);
}

TEST(Translation, ConvertWarnsAboutApproximations) {
  testing::internal::CaptureStderr();
  Text ascii(convert("caf\xC3\xA9", "UTF-8", "ASCII//TRANSLIT"));
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(ascii);
  EXPECT_EQ(std::string(ascii.get()).substr(0, 3), "caf");  // the rest depends on the locale
  EXPECT_EQ(err, "Warning: non reversible conversion: caf\xC3\xA9\n");
}

TEST(Translation, LineBreakSubstitution) {
  char text[] = "A\x0E" "B\x0E\x0E";
  glines_to_nlines(text);
  EXPECT_STREQ(text, "A\nB\n\n");
  nlines_to_glines(text);
  EXPECT_STREQ(text, "A\x0E" "B\x0E\x0E");
  char empty[] = "";
  glines_to_nlines(empty);
  nlines_to_glines(empty);
  EXPECT_STREQ(empty, "");
  // Shift-JIS trail bytes never collide with either byte.
  char sjis[] = "\x83\x5A\x0E\x81\x5B";
  glines_to_nlines(sjis);
  EXPECT_STREQ(sjis, "\x83\x5A\n\x81\x5B");
}

char* dup(const char* s) { return strdup(s); }

TEST(Translation, ReplaceString) {
  const struct {
    const char* text;
    const char* search;
    const char* replacement;
    const char* expected;
  } cases[] = {
      {"a%F%Nb c%F%N.", "%F%N", "%F %N", "a%F %Nb c%F %N."},
      {"%N%N", "%N", "x", "xx"},
      {"%N", "%N", "", ""},
      {"Hi %N!", "%N", "Kei", "Hi Kei!"},
      {"%F%F%F", "%F", "%F%F", "%F%F%F%F%F%F"},  // replacements are not rescanned
      {"ab", "abc", "x", "ab"},
  };
  for (const auto& c : cases) {
    Text out(replace_string(dup(c.text), c.search, c.replacement));
    ASSERT_TRUE(out);
    EXPECT_STREQ(out.get(), c.expected) << c.text;
  }
  // Without a match the very same buffer comes back; an empty text too.
  for (const char* s : {"no placeholder", ""}) {
    char* text = dup(s);
    char* out = replace_string(text, "%N", "x");
    EXPECT_EQ(out, text);
    free(out);
  }
}

}  // namespace
