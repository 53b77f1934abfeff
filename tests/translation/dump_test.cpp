#include <gtest/gtest.h>

#include <string>

#include "sample/scn_builder.h"
#include "tests/translation/translation_fixture.h"
#include "translation/dump.h"
#include "util/byte_order.h"

namespace {

using namespace translation_test;
using testsupport::file_exists;
using testsupport::make_scratch_dir;
using testsupport::read_file_bytes;

std::string day_progress(int days) {
  std::string out;
  for (int d = 0; d < days; d++) out += "Now dumping " + game().days()[d].name + "\n";
  return out;
}

TEST(Translation, DumpWritesEveryTextOfTheDisc) {
  ASSERT_FALSE(game_iso().empty());
  for (bool rr : {false, true}) {
    std::string out = make_scratch_dir("dump") + "/texts.ini";
    Ran r = run_captured([&] { return dump_iso(game_iso().c_str(), out.c_str(), rr, game().catalogue()); });
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, day_progress(17) + "Dump complete.\n");
    EXPECT_EQ(read_text(out), expected_dump(game(), rr)) << (rr ? "dump_rr" : "dump");
  }
}

TEST(Translation, DumpOutputThatCannotBeCreated) {
  std::string dir = make_scratch_dir("dump_no_output");
  Ran r = run_captured([&] {
    return dump_iso(game_iso().c_str(), (dir + "/missing/texts.ini").c_str(), false, game().catalogue());
  });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "Error opening output.\n");
  EXPECT_EQ(r.out, "");
  // The image itself is never an output.
  std::string copy = dir + "/image.iso";
  ASSERT_EQ(testsupport::run("cp " + testsupport::shell_quote(game_iso()) + " " +
                             testsupport::shell_quote(copy)), 0);
  Bytes before = read_file_bytes(copy);
  r = run_captured([&] { return dump_iso(copy.c_str(), copy.c_str(), false, game().catalogue()); });
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("Error: output file is the disc image itself"), std::string::npos);
  EXPECT_TRUE(read_file_bytes(copy) == before);
}

TEST(Translation, FailedDumpLeavesTheOutputAsItWas) {
  std::string dir = make_scratch_dir("dump_fail");
  Bytes bad = game().day("DAY_B0").scn;  // no longer loads: its header length is wrong
  talvo::write_le16(&bad[4], static_cast<uint16_t>(bad.size() - 1));
  testsupport::FileMap no_a1 = game().files();
  no_a1.erase("/SCNBIN/DAY_A1.SCN");
  const struct {
    std::string iso;
    bool builtin_catalogue;  // this build's, which carries no tables
    int days_started;
    std::string error;
  } cases[] = {
      {iso_with(dir + "/bad", {{"/SCNBIN/DAY_B0.SCN", bad}}), false, 3,
       "Verify error on scn file.\n"},
      {testsupport::build_iso(dir + "/no_a1", no_a1, true), false, 2,
       "Error opening /SCNBIN/DAY_A1.SCN\n"},
      {game_iso(), true, 1, "DAY_A0"},
  };
  std::string out_dir = dir + "/out";
  testsupport::run("mkdir -p " + testsupport::shell_quote(out_dir));
  std::string out = out_dir + "/texts.ini", fresh = out_dir + "/fresh.ini";
  for (const auto& c : cases) {
    ASSERT_FALSE(c.iso.empty());
    testsupport::write_file(out, std::string("the translator's work"));
    for (const std::string& path : {out, fresh}) {
      Ran r = run_captured([&] {
        return c.builtin_catalogue ? dump_iso(c.iso.c_str(), path.c_str(), false)
                                   : dump_iso(c.iso.c_str(), path.c_str(), true, game().catalogue());
      });
      EXPECT_FALSE(r.ok);
      EXPECT_EQ(r.out, day_progress(c.days_started));
      EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
    EXPECT_EQ(read_text(out), "the translator's work");
    std::string listing;  // no new or stray files
    testsupport::run("ls -A " + testsupport::shell_quote(out_dir), &listing);
    EXPECT_EQ(listing, "texts.ini\n");
  }
}

TEST(Translation, DumpOfChangedDayFiles) {
  // A changed but loadable file is dumped with its duplicate settings active.
  std::string dir = make_scratch_dir("dump_changed");
  const auto& b2 = game().day("DAY_B2");
  Bytes scn = b2.scn;
  uint16_t text_at = talvo::read_le16(&scn[b2.va_start + 15 * b2.vas[0].index]);
  scn[text_at] = '\x82';  // another hiragana of the same length
  scn[text_at + 1] = '\xA0';
  std::string iso = iso_with(dir + "/disc", {{b2.path, scn}});
  std::string out = dir + "/texts.ini";
  Ran r = run_captured([&] { return dump_iso(iso.c_str(), out.c_str(), false, game().catalogue()); });
  EXPECT_TRUE(r.ok) << r.err;
  std::string text = read_text(out);
  EXPECT_NE(text.find("[DAY_B2]\r\nfix_duplicate_names = true\r\n\r\n; Normal texts"),
            std::string::npos);
  EXPECT_NE(text.find("[DAY_B1]\r\n; If you modify"), std::string::npos);
}

}  // namespace
