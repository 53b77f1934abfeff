// Completing a catalogue from the day files: derived tables equal the true
// ones, and every check refuses a file crafted to break it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ini/ini_file.h"
#include "sample/synthetic_game.h"
#include "tests/support/test_files.h"
#include "tests/translation/translation_fixture.h"
#include "translation/day_tables.h"
#include "translation/dump.h"
#include "translation/table_derivation.h"
#include "util/byte_order.h"

namespace {

using testsupport::Bytes;
using sample::SyntheticGame;
using translation_test::read_text;

const SyntheticGame& game() { return translation_test::game(false); }

bool equal_tables(const DayTables& a, const DayTables& b) {
  return a.va_names == b.va_names && a.va_idx == b.va_idx && a.ev_poffsets == b.ev_poffsets;
}

// The error of a resolution that must fail, "" when it succeeded.
std::string resolve_error(const ScnDay& day, const Bytes& scn) {
  DayTables t;
  const translation_test::Ran r =
      translation_test::run_captured([&] { return resolve_day_tables(day, scn.data(), static_cast<int>(scn.size()), &t); });
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

TEST(TableDerivation, DumpWithDerivedTablesEqualsDumpWithBuiltInTables) {
  std::string dir = testsupport::make_scratch_dir("derived_dump");
  const std::string& iso = translation_test::game_iso(false);
  ASSERT_NE(iso, "");
  for (bool rr : {false, true}) {
    std::string a = dir + "/builtin.ini", b = dir + "/derived.ini";
    translation_test::Ran r = translation_test::run_captured([&] {
      return dump_iso(iso.c_str(), a.c_str(), rr, game().catalogue()) &&
             dump_iso(iso.c_str(), b.c_str(), rr, game().catalogue_without_tables());
    });
    ASSERT_TRUE(r.ok) << r.err;
    std::string text = read_text(a);
    EXPECT_GT(text.size(), 1000u);
    EXPECT_TRUE(text == read_text(b)) << "dump_rr: " << rr;
  }
}

// The synthetic disc in a catalogue of its own without tables, with facts
// about DAY_A0's first and last VA and first option row, and DAY_A0's file
// to craft. A refused file fails the resolution and a dump, which writes nothing.
class CraftedDay : public testing::Test {
 protected:
  void SetUp() override {
    const int d = 0;  // DAY_A0: option groups, no duplicated records
    truth_ = game().true_tables(d);
    ScnCatalogue bare = game().catalogue_without_tables();
    days_.assign(bare.days, bare.days + bare.count);
    scn_ = game().days()[d].scn;
    va_start_ = days_[0].va_search_start;
    facts_va_ = {{days_[0].name, 0, truth_.va_names[0].c_str(), truth_.va_idx[0]},
                 {days_[0].name, -1, truth_.va_names.back().c_str(), truth_.va_idx.back()}};
    std::vector<uint16_t> row(truth_.ev_poffsets[0].begin(),
                              truth_.ev_poffsets[0].begin() + days_[0].ev_groups[0].choices + 1);
    facts_rows_ = {{days_[0].name, days_[0].ev_groups[0].name, row}};
    CatalogueFacts facts;
    facts.va_indexes = &facts_va_;
    facts.poffsets = &facts_rows_;
    set_catalogue_facts(catalogue(), &facts);
  }
  void TearDown() override { set_catalogue_facts(catalogue(), nullptr); }

  ScnCatalogue catalogue() { return {days_.data(), static_cast<int>(days_.size())}; }

  // Resolves the crafted file; its digest is made the catalogue's first.
  std::string resolve(bool follow_digest = true) {
    if (follow_digest) sample::md5_digest(scn_.data(), scn_.size(), days_[0].md5);
    return resolve_error(days_[0], scn_);
  }

  void expect_refused(const std::string& message, bool follow_digest) {
    SCOPED_TRACE(message);
    EXPECT_EQ(resolve(follow_digest), message);
    std::string dir = testsupport::make_scratch_dir("crafted_dump");
    testsupport::FileMap files = game().files();
    files[days_[0].path] = scn_;
    std::string iso = testsupport::build_iso(dir, files, true);
    ASSERT_NE(iso, "");
    std::string out = dir + "/out.ini";
    translation_test::Ran r = translation_test::run_captured(
        [&] { return dump_iso(iso.c_str(), out.c_str(), false, catalogue()); });
    EXPECT_EQ(r.out, "Now dumping DAY_A0\n");
    EXPECT_EQ(r.err, message);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(testsupport::file_exists(out));
  }

  uint16_t name_pointer_of(int position) {
    return talvo::read_le16(scn_.data() + va_start_ + 15 * truth_.va_idx[position] + 5);
  }

  DayTables truth_;
  std::vector<ScnDay> days_;
  Bytes scn_;
  uint16_t va_start_ = 0;
  std::vector<VaIndexFact> facts_va_;
  std::vector<PoffsetFact> facts_rows_;
};

TEST_F(CraftedDay, FilesThatBreakAFactAreRefused) {
  EXPECT_EQ(resolve(), "");
  const std::string no = "Error: cannot build the tables of DAY_A0: ";
  const EvPoffsetRow& row = truth_.ev_poffsets[0];
  const int last = static_cast<int>(truth_.va_idx.size()) - 1;
  auto record = [&](int position) { return scn_.data() + va_start_ + 15 * truth_.va_idx[position]; };
  auto at = [&](uint16_t offset) { return scn_.data() + offset; };
  auto row_text = [&](int x, int y, int z) {
    return std::to_string(row[x]) + ", " + std::to_string(row[y]) + ", " + std::to_string(row[z]);
  };
  const Bytes original = scn_;
  const struct { std::function<void()> craft; std::string message; bool follow_digest; } cases[] = {
      // First, while the catalogue still has the true digest.
      {[&] { scn_[scn_.size() - 2] ^= 0x01; },
       no + "the program has no built-in tables for it and its file is not the unchanged one the "
            "catalogue describes (its digest differs)\n", false},
      {[&] { talvo::write_le16(record(last) + 5, 0xFFFF); },
       no + "it has " + std::to_string(last) + " VA names, the catalogue expects " +
           std::to_string(last + 1) + "\n", true},
      {[&] { memcpy(at(name_pointer_of(0)), "VZ99X999", 8); },
       no + "VA 0 is VZ99X999, not " + truth_.va_names[0] + "\n", true},
      {[&] {  // the first two answer pointers trade places
         uint16_t a = talvo::read_le16(at(row[1]));
         talvo::write_le16(at(row[1]), talvo::read_le16(at(row[2])));
         talvo::write_le16(at(row[2]), a);
       },
       no + "the pointer row of " + days_[0].ev_groups[0].name + " is " + row_text(0, 2, 1) +
           ", not " + row_text(0, 1, 2) + "\n", true},
      // The record still names the first VA, but its text no longer follows the name.
      {[&] { talvo::write_le16(record(0), name_pointer_of(0)); },
       no + "VA " + truth_.va_names[0] + " cannot be found in DAY_A0 by name\n", true},
  };
  for (const auto& c : cases) {
    scn_ = original;
    c.craft();
    expect_refused(c.message, c.follow_digest);
  }
  // The same day in another catalogue carries no facts.
  scn_ = original;
  memcpy(at(name_pointer_of(0)), "VZ99X999", 8);
  EXPECT_NE(resolve(), "");
  ScnDay other = days_[0];
  EXPECT_EQ(resolve_error(other, scn_), "");
}

TEST(TableDerivation, ChecksCatchBrokenTables) {
  // DAY_B1 of the synthetic disc: copies of VA records and a group taken at
  // fixed positions.
  int d = 3;
  const ScnDay& day = game().catalogue_without_tables().days[d];
  ASSERT_STREQ(day.name, "DAY_B1");
  int hack1 = -1;
  for (int k = 0; k < day.ev_count; k++) {
    if (strcmp(day.ev_groups[k].name, "Hack1") == 0) hack1 = k;
  }
  ASSERT_GE(hack1, 0);
  std::string why;
  ASSERT_TRUE(check_day_tables(day, game().true_tables(d), TableParts::kComplete, &why)) << why;
  struct Case { const char* expect; void (*breaks)(DayTables*, int); } cases[] = {
      {"VA names, the catalogue expects", [](DayTables* t, int) { t->va_names.pop_back(); }},
      {"is not a VA name", [](DayTables* t, int) { t->va_names[2] = "VA1X0001"; }},
      {"stands twice", [](DayTables* t, int) { t->va_names[2] = t->va_names[1]; }},
      {"does not rise", [](DayTables* t, int) { t->va_idx[2] = t->va_idx[1]; }},
      {"lies outside the VA area (0 to 306)", [](DayTables* t, int) { t->va_idx.back() = 307; }},
      {"option rows, the catalogue expects", [](DayTables* t, int) { t->ev_poffsets.pop_back(); }},
      {"does not fit 3 choices", [](DayTables* t, int) { t->ev_poffsets[0][4] = 9; }},
      {"does not fit 3 choices", [](DayTables* t, int) { t->ev_poffsets[0][3] = 0; }},
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

TEST(TableDerivation, TheGameFactsHoldForTheBuiltInCatalogue) {
  // DAY_A0's names from an INI file: right count, wrong first name.
  std::string ini = "[DAY_A0]\r\n";
  for (int i = 0; i < 352; i++) {
    char line[64];
    snprintf(line, sizeof line, "VA%02dX%03d = \"t\"\r\n", i / 30 + 1, i % 30 + 1);
    ini += line;
  }
  talvo::IniFile doc;
  ASSERT_TRUE(doc.SetData(ini.data(), static_cast<unsigned>(ini.size())));
  DayTables t;
  const translation_test::Ran r = translation_test::run_captured([&] { return resolve_day_names(scn_days[0], &doc, &t); });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err,
            "Error: cannot build the tables of DAY_A0: the VA keys of the INI file: the last VA "
            "is VA12X022, not VA19A009\n");
}

TEST(TableDerivation, IniNamesAreTheVAKeysOfTheSectionInFileOrder) {
  std::string ini =
      "[General]\r\nVA00X001 = \"x\"\r\n[DAY_T0]\r\n; VA01X009 = \"a comment\"\r\n"
      "VA01X002 = \"b\"\r\nVA01X001 = VA01X002\r\nsave_msg = \"x\"\r\nEVA05 OPTION1 = \"y\"\r\n"
      "VA01X002 = \"again\"\r\nVA1X0003 = \"not a VA name\"\r\n\r\n[DAY_T1] ; a header\r\n"
      "VA02X001 = \"c\"\r\n";
  talvo::IniFile doc;
  ASSERT_TRUE(doc.SetData(ini.data(), static_cast<unsigned>(ini.size())));
  // The commented header of DAY_T1 ends DAY_T0's keys.
  EXPECT_EQ(ini_va_names(&doc, "DAY_T0"), (std::vector<std::string>{"VA01X002", "VA01X001"}));
  EXPECT_EQ(ini_va_names(&doc, "DAY_T1"), (std::vector<std::string>{"VA02X001"}));
  EXPECT_TRUE(ini_va_names(&doc, "DAY_T9").empty());
}

}  // namespace
