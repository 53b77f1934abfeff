#include "tests/support/synthetic_game.h"

#include <gtest/gtest.h>

#include "translation/day_tables.h"
#include "translation/digest.h"

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
      EXPECT_TRUE(compare_md5(s.scn.data(), s.scn.size(), day.md5));
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
