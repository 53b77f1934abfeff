#include "tests/support/synthetic_game.h"

#include <gtest/gtest.h>

#include "translation/digest.h"
#include "translation/encoding.h"
#include "util/byte_order.h"

namespace {

using testsupport::SyntheticGame;

TEST(Translation, SyntheticGameMatchesItsCatalogue) {
  for (bool full : {false, true}) {
    testsupport::SyntheticGameOptions options;
    options.full_size = full;
    SyntheticGame game(options);
    ScnCatalogue cat = game.catalogue();
    ASSERT_EQ(cat.count, 17);
    int vas = 0, groups = 0;
    for (int d = 0; d < 17; d++) {
      const ScnDay& day = cat.days[d];
      const testsupport::SyntheticDay& s = game.days()[d];
      SCOPED_TRACE(s.name);
      // Digests agree with the tool's own test, and the files hold what the
      // catalogue says where it says it.
      EXPECT_TRUE(compare_md5(s.scn.data(), s.scn.size(), day.md5));
      ASSERT_EQ(static_cast<int>(day.va_names->size()), day.va_count);
      for (int i = 0; i < day.va_count; i++) {
        uint32_t record = day.va_search_start + 15u * (*day.va_idx)[i];
        uint16_t name_at = talvo::read_le16(&s.scn[record + 5]);
        uint16_t text_at = talvo::read_le16(&s.scn[record]);
        EXPECT_STREQ(reinterpret_cast<const char*>(&s.scn[name_at]), (*day.va_names)[i]);
        EXPECT_EQ(reinterpret_cast<const char*>(&s.scn[text_at]), s.vas[i].sjis);
      }
      for (int k = 0; k < day.ev_count; k++) {
        const EvPoffsetRow& row = (*day.ev_poffsets)[k];
        EXPECT_STREQ(reinterpret_cast<const char*>(&s.scn[talvo::read_le16(&s.scn[row[0]])]),
                     day.ev_groups[k].name);
        for (int i = 0; i < day.ev_groups[k].choices; i++) {
          EXPECT_EQ(reinterpret_cast<const char*>(&s.scn[talvo::read_le16(&s.scn[row[i + 1]])]),
                    s.groups[k].sjis[i]);
        }
      }
      vas += day.va_count;
      groups += day.ev_count;
      EXPECT_EQ(game.catalogue_without_tables().days[d].va_names->size(), 0u);
    }
    EXPECT_EQ(groups, 95);
    if (full) {
      EXPECT_EQ(vas, 6331);
    }
  }
}

TEST(Translation, SyntheticTextsAreShiftJis) {
  // The builder's own Shift-JIS agrees with iconv's.
  SyntheticGame game;
  for (const auto& day : game.days()) {
    for (const auto& va : day.vas) {
      char* utf8 = sjis_to_utf8(va.sjis.c_str());
      ASSERT_NE(utf8, nullptr) << va.name;
      std::string expected = va.text;
      for (char& c : expected) c = c == '\n' ? '\x0E' : c;
      EXPECT_EQ(utf8, expected) << va.name;
      free(utf8);
    }
  }
}

TEST(Translation, Md5OfTestSupport) {
  unsigned char out[16];
  for (size_t n : {0, 3, 55, 56, 63, 64, 65, 1000}) {
    std::string s(n, 'x');
    testsupport::md5_digest(s.data(), s.size(), out);
    EXPECT_TRUE(compare_md5(s.data(), s.size(), out)) << n;
  }
}

}  // namespace
