#include "iso/filesystem.h"

#include <gtest/gtest.h>

// One absolute spelling, refused (not cut short) when it does not fit.
TEST(Iso, NormalizePathMakesOneAbsoluteSpellingWhenItFits) {
  struct Case { const char* in; unsigned room; const char* out; } cases[] = {  // out null: does not fit
      {"a//\\b///", 64, "/a/b"}, {"", 64, "/"}, {"", 0, nullptr},
      {"SCNBIN\\DAY_A0.SCN", 19, "/SCNBIN/DAY_A0.SCN"}, {"SCNBIN\\DAY_A0.SCN", 18, nullptr},
      {"ab/", 4, nullptr}, {"ab/", 5, "/ab"},  // the trailing separator needs its room while it is copied
  };
  for (const Case& c : cases) {
    char out[64];
    EXPECT_EQ(Filesystem::NormalizePath(c.in, out, c.room), c.out != nullptr) << c.in << c.room;
    if (c.out) {
      EXPECT_STREQ(out, c.out) << c.in;
    }
  }
}
