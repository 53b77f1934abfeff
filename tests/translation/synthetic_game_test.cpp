#include "tests/support/synthetic_game.h"

#include <gtest/gtest.h>

#include "translation/day_tables.h"
#include "translation/digest.h"
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
      // The digests and the texts at the catalogue's places are the files'.
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
      // The files alone give the tables back, full-size days as well.
      DayTables derived;
      ASSERT_TRUE(resolve_day_tables(game.catalogue_without_tables().days[d], s.scn.data(),
                                     static_cast<int>(s.scn.size()), &derived));
      EXPECT_TRUE(derived.va_names == game.true_tables(d).va_names &&
                  derived.va_idx == game.true_tables(d).va_idx &&
                  derived.ev_poffsets == game.true_tables(d).ev_poffsets);
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

}  // namespace
