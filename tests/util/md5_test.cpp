// The system's MD5 on each platform: the digests of the algorithm's own
// published test suite, and a thousand zero bytes (many blocks, a partial
// last one).
#include "util/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string hex_md5(const std::string& input) {
  unsigned char digest[16];
  if (!talvo::md5_digest(input.data(), input.size(), digest)) return "failed";
  char text[33];
  for (int i = 0; i < 16; i++) snprintf(text + 2 * i, 3, "%02x", digest[i]);
  return text;
}

TEST(Md5, MatchesTheReferenceSuite) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {std::string(1000, '\0'), "ede3d3b685b4e137ba4cb2521329a75e"},
  };
  for (const auto& c : cases) EXPECT_EQ(hex_md5(c.input), c.digest) << c.input.size();
}

}  // namespace
