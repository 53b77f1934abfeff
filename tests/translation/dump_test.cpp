#include <gtest/gtest.h>

#include <string>

#include "tests/translation/translation_fixture.h"
#include "translation/dump.h"
#include "util/byte_order.h"

namespace {

using namespace translation_test;
using testsupport::make_scratch_dir;
using testsupport::read_file_bytes;

// The dump equals the oracle built from the game's own model, in both link modes.
TEST(Translation, DumpWritesEveryTextOfTheDisc) {
  ASSERT_FALSE(game_iso().empty());
  for (bool rr : {false, true}) {
    std::string out = make_scratch_dir("dump") + "/texts.ini";
    Ran r = run_captured([&] { return dump_iso(game_iso().c_str(), out.c_str(), rr, game().catalogue()); });
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_text(out), expected_dump(game(), rr)) << (rr ? "dump_rr" : "dump");
  }
}

// A failed dump leaves an existing output as it was and creates no file; the
// image itself is never an output.
TEST(Translation, FailedDumpLeavesTheOutputAsItWas) {
  std::string dir = make_scratch_dir("dump_fail");
  Bytes bad = game().day("DAY_B0").scn;  // no longer loads: its header length is wrong
  talvo::write_le16(&bad[4], static_cast<uint16_t>(bad.size() - 1));
  testsupport::FileMap no_a1 = game().files();
  no_a1.erase("/SCNBIN/DAY_A1.SCN");
  const struct { std::string iso, error; } cases[] = {
      {iso_with(dir + "/bad", {{"/SCNBIN/DAY_B0.SCN", bad}}), "Verify error on scn file.\n"},
      {testsupport::build_iso(dir + "/no_a1", no_a1, true), "Error opening /SCNBIN/DAY_A1.SCN\n"},
  };
  std::string out_dir = dir + "/out";
  testsupport::run("mkdir -p " + testsupport::shell_quote(out_dir));
  std::string out = out_dir + "/texts.ini", fresh = out_dir + "/fresh.ini";
  for (const auto& c : cases) {
    ASSERT_FALSE(c.iso.empty());
    testsupport::write_file(out, std::string("the translator's work"));
    for (const std::string& path : {out, fresh}) {
      Ran r = run_captured([&] { return dump_iso(c.iso.c_str(), path.c_str(), true, game().catalogue()); });
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
    EXPECT_EQ(read_text(out), "the translator's work");
    std::string listing;  // no new or stray files
    testsupport::run("ls -A " + testsupport::shell_quote(out_dir), &listing);
    EXPECT_EQ(listing, "texts.ini\n");
  }
  std::string copy = dir + "/image.iso";
  const Bytes before = read_file_bytes(game_iso());
  testsupport::write_file(copy, before);
  Ran r = run_captured([&] { return dump_iso(copy.c_str(), copy.c_str(), false, game().catalogue()); });
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(read_file_bytes(copy) == before);
}

}  // namespace
