// Completing a catalogue from the day files: derived tables equal the true
// ones, and every check refuses a file crafted to break it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sample/synthetic_game.h"
#include "tests/translation/translation_fixture.h"
#include "translation/day_tables.h"
#include "translation/table_derivation.h"
#include "util/byte_order.h"

namespace {

using testsupport::Bytes;
using sample::SyntheticGame;

const SyntheticGame& game() { return translation_test::game(false); }

bool equal_tables(const DayTables& a, const DayTables& b) {
  return a.va_names == b.va_names && a.va_idx == b.va_idx && a.ev_poffsets == b.ev_poffsets;
}

// The error of a resolution that must fail, "" when it succeeded.
std::string resolve_error(const ScnDay& day, const Bytes& scn) {
  DayTables t;
  const translation_test::Ran r = translation_test::run_captured(
      [&] { return resolve_day_tables(day, scn.data(), static_cast<int>(scn.size()), &t); });
  EXPECT_EQ(r.ok, r.err.empty()) << r.err;
  return r.err;
}

// Tables from the files alone (also at the game's full size) and complete
// built-in tables without the file both equal what the files really hold.
TEST(TableDerivation, DerivedAndBuiltInTablesEqualTheTrueTables) {
  for (bool full : {false, true}) {
    sample::SyntheticGameOptions options;
    options.full_size = full;
    SyntheticGame g(options);
    for (int d = 0; d < 17; d++) {
      const sample::SyntheticDay& s = g.days()[d];
      SCOPED_TRACE(s.name);
      DayTables derived, builtin;
      ASSERT_TRUE(resolve_day_tables(g.catalogue_without_tables().days[d], s.scn.data(),
                                     static_cast<int>(s.scn.size()), &derived));
      EXPECT_TRUE(equal_tables(derived, g.true_tables(d)));
      ASSERT_TRUE(resolve_day_tables(g.catalogue().days[d], nullptr, 0, &builtin));
      EXPECT_TRUE(equal_tables(builtin, g.true_tables(d)));
    }
  }
}

// DAY_A0 of the synthetic disc in a catalogue of its own without tables, with
// facts about its first and last VA and first option row: a file changed
// from the catalogue's digest, or crafted to break a fact, is refused.
TEST(TableDerivation, FilesThatBreakAFactAreRefused) {
  const DayTables truth = game().true_tables(0);  // DAY_A0: option groups, no duplicated records
  ScnCatalogue bare = game().catalogue_without_tables();
  std::vector<ScnDay> days(bare.days, bare.days + bare.count);
  const ScnDay& a0 = days[0];
  const std::vector<VaIndexFact> va_facts = {
      {a0.name, 0, truth.va_names[0].c_str(), truth.va_idx[0]},
      {a0.name, -1, truth.va_names.back().c_str(), truth.va_idx.back()}};
  const EvPoffsetRow& row = truth.ev_poffsets[0];
  const std::vector<PoffsetFact> row_facts = {
      {a0.name, a0.ev_groups[0].name, {row.begin(), row.begin() + a0.ev_groups[0].choices + 1}}};
  CatalogueFacts facts;
  facts.va_indexes = &va_facts;
  facts.poffsets = &row_facts;
  set_catalogue_facts({days.data(), bare.count}, &facts);
  const Bytes original = game().days()[0].scn;
  Bytes scn = original;
  auto at = [&](uint32_t offset) { return scn.data() + offset; };
  const uint32_t record0 = a0.va_search_start + 15 * truth.va_idx[0];
  auto name_of_first = [&] { return talvo::read_le16(at(record0 + 5)); };
  // Resolves `scn`, with its digest made the catalogue's unless `keep_digest`.
  auto resolve = [&](bool keep_digest = false) {
    if (!keep_digest) sample::md5_digest(scn.data(), scn.size(), days[0].md5);
    return resolve_error(days[0], scn);
  };
  EXPECT_EQ(resolve(), "");
  const struct { std::function<void()> craft; std::string message; bool keep_digest; } cases[] = {
      {[&] { scn[scn.size() - 2] ^= 0x01; }, "is not the unchanged one the catalogue describes", true},
      {[&] { memcpy(at(name_of_first()), "VZ99X999", 8); }, "VA 0 is VZ99X999, not ", false},
      {[&] { talvo::write_le16(at(row[1]), talvo::read_le16(at(row[2]))); },  // an answer pointer moved
       "the pointer row of " + std::string(a0.ev_groups[0].name), false},
  };
  for (const auto& c : cases) {
    scn = original;
    c.craft();
    std::string error = resolve(c.keep_digest);
    EXPECT_EQ(error.rfind("Error: cannot build the tables of DAY_A0: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  // The same day in another catalogue carries no facts.
  scn = original;
  memcpy(at(name_of_first()), "VZ99X999", 8);
  EXPECT_NE(resolve(), "");
  EXPECT_EQ(resolve_error(ScnDay(a0), scn), "");
  set_catalogue_facts({days.data(), bare.count}, nullptr);
}

TEST(TableDerivation, ChecksCatchBrokenTables) {
  // DAY_B1 of the synthetic disc: copies of VA records and a group taken at
  // fixed positions.
  const int d = 3, hack1 = 1;
  const ScnDay& day = game().catalogue_without_tables().days[d];
  ASSERT_STREQ(day.ev_groups[hack1].name, "Hack1");
  std::string why;
  ASSERT_TRUE(check_day_tables(day, game().true_tables(d), TableParts::kComplete, &why)) << why;
  struct Case { const char* expect; void (*breaks)(DayTables*, int); } cases[] = {
      {"VA names, the catalogue expects", [](DayTables* t, int) { t->va_names.pop_back(); }},
      {"is not a VA name", [](DayTables* t, int) { t->va_names[2] = "VA1X0001"; }},
      {"does not rise", [](DayTables* t, int) { t->va_idx[2] = t->va_idx[1]; }},
      {"lies outside the VA area (0 to 306)", [](DayTables* t, int) { t->va_idx.back() = 307; }},
      {"option rows, the catalogue expects", [](DayTables* t, int) { t->ev_poffsets.pop_back(); }},
      {"does not fit 3 choices", [](DayTables* t, int) { t->ev_poffsets[0][4] = 9; }},
      {"differs from its fixed entry", [](DayTables* t, int k) { t->ev_poffsets[k][1] += 3; }},
  };
  for (const Case& c : cases) {
    DayTables t = game().true_tables(d);
    c.breaks(&t, hack1);
    why.clear();
    EXPECT_FALSE(check_day_tables(day, t, TableParts::kComplete, &why)) << c.expect;
    EXPECT_NE(why.find(c.expect), std::string::npos) << why;
  }
  // An index of exactly va_search_length / 15 is a record the area reaches.
  DayTables t = game().true_tables(d);
  t.va_idx.back() = 306;
  EXPECT_TRUE(check_day_tables(day, t, TableParts::kComplete, &why)) << why;
}

}  // namespace
