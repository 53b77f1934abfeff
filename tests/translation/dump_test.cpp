#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/scn_builder.h"
#include "tests/translation/translation_fixture.h"
#include "translation/dump.h"
#include "util/byte_order.h"

namespace {

using namespace translation_test;
using testsupport::file_exists;
using testsupport::make_scratch_dir;
using testsupport::read_file_bytes;

std::string read_text(const std::string& path) {
  Bytes b = read_file_bytes(path);
  return std::string(b.begin(), b.end());
}

std::string day_progress(int days) {
  std::string out;
  for (int d = 0; d < days; d++) out += "Now dumping " + game().days()[d].name + "\n";
  return out;
}

TEST(Translation, DumpWritesEveryTextOfTheDisc) {
  ASSERT_FALSE(game_iso().empty());
  for (bool rr : {false, true}) {
    std::string out = make_scratch_dir("dump") + "/texts.ini";
    bool ok = false;
    Captured c = capture([&] { ok = dump_iso(game_iso().c_str(), out.c_str(), rr, game().catalogue()); });
    EXPECT_TRUE(ok) << c.err;
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(c.out, day_progress(17) + "Dump complete.\n");
    std::string expected = expected_dump(game(), rr);
    std::string actual = read_text(out);
    EXPECT_EQ(actual, expected) << (rr ? "dump_rr" : "dump");
  }
}

TEST(Translation, DumpShowsWhatTheFileHolds) {
  // Spot checks of the expected file itself, so that it cannot drift into
  // agreeing with a wrong dump.
  std::string plain = expected_dump(game(), false);
  std::string rr = expected_dump(game(), true);
  const auto& a1 = game().day("DAY_A1");
  // Shared storage is a link in both; an equal text stored twice only in dump_rr.
  for (const std::string* f : {&plain, &rr}) {
    EXPECT_NE(f->find(a1.vas[8].name + " = " + a1.vas[3].name + "\r\n"), std::string::npos);
  }
  EXPECT_EQ(plain.find(a1.vas[6].name + " = " + a1.vas[2].name), std::string::npos);
  EXPECT_NE(rr.find(a1.vas[6].name + " = " + a1.vas[2].name + "\r\n"), std::string::npos);
  EXPECT_NE(plain.find("[DAY_C0]\r\nfix_duplicate_names = true\r\nuser_linking = true\r\n"
                       "rewrite_all_va = true\r\n\r\n; Normal texts"),
            std::string::npos);
  EXPECT_NE(plain.find("[DAY_A1]\r\nuser_linking = true\r\n\r\n; Normal texts"), std::string::npos);
  EXPECT_NE(plain.find("[DAY_D6]\r\n; If you modify"), std::string::npos);
  EXPECT_NE(plain.find("[DAY_A0]\r\n; Normal texts"), std::string::npos);
  EXPECT_NE(plain.find("; Actor: Unknown 4B\r\n"), std::string::npos);
  EXPECT_NE(plain.find("\\n"), std::string::npos);
  EXPECT_NE(plain.find("\\\""), std::string::npos);
  // A day whose groups all have more than three answers has only the second block.
  size_t d2 = plain.find("[DAY_D2]");
  size_t d3 = plain.find("[DAY_D3]");
  std::string d2_text = plain.substr(d2, d3 - d2);
  EXPECT_EQ(d2_text.find("; Options\r\n"), std::string::npos);
  EXPECT_NE(d2_text.find("\r\n\r\n; Options with more than 3 choices."), std::string::npos);
  // The last day has no closing empty line.
  EXPECT_NE(plain.substr(plain.size() - 4), "\r\n\r\n");
}

TEST(Translation, DumpOutputThatCannotBeCreated) {
  std::string dir = make_scratch_dir("dump_no_output");
  bool ok = true;
  Captured c = capture([&] {
    ok = dump_iso(game_iso().c_str(), (dir + "/missing/texts.ini").c_str(), false,
                  game().catalogue());
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.err, "Error opening output.\n");
  EXPECT_EQ(c.out, "");
  // A read-only existing file is refused too, and stays as it was.
  std::string locked = dir + "/locked.ini";
  testsupport::write_file(locked, std::string("keep"));
  chmod(locked.c_str(), 0444);
  if (access(locked.c_str(), W_OK) != 0) {  // root may write anyway
    c = capture([&] { ok = dump_iso(game_iso().c_str(), locked.c_str(), false, game().catalogue()); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(c.err, "Error opening output.\n");
    EXPECT_EQ(read_text(locked), "keep");
  }
  // The image itself is never an output.
  std::string copy = dir + "/image.iso";
  ASSERT_EQ(testsupport::run("cp " + testsupport::shell_quote(game_iso()) + " " +
                             testsupport::shell_quote(copy)), 0);
  Bytes before = read_file_bytes(copy);
  c = capture([&] { ok = dump_iso(copy.c_str(), copy.c_str(), false, game().catalogue()); });
  EXPECT_FALSE(ok);
  EXPECT_NE(c.err.find("Error: output file is the disc image itself"), std::string::npos);
  EXPECT_TRUE(read_file_bytes(copy) == before);
}

// The names of the files in a folder, one a line.
std::string listing(const std::string& dir) {
  std::string out;
  testsupport::run("ls -A " + testsupport::shell_quote(dir), &out);
  return out;
}

TEST(Translation, FailedDumpLeavesTheOutputAsItWas) {
  std::string dir = make_scratch_dir("dump_fail");
  // A day file that no longer loads: its header length is wrong.
  Bytes bad = game().day("DAY_B0").scn;
  talvo::write_le16(&bad[4], static_cast<uint16_t>(bad.size() - 1));
  std::string iso = iso_with(dir + "/disc", {{"/SCNBIN/DAY_B0.SCN", bad}});
  ASSERT_FALSE(iso.empty());
  std::string out_dir = dir + "/out";
  testsupport::run("mkdir -p " + testsupport::shell_quote(out_dir));
  std::string out = out_dir + "/texts.ini";
  testsupport::write_file(out, std::string("the translator's work"));
  bool ok = true;
  Captured c = capture([&] { ok = dump_iso(iso.c_str(), out.c_str(), false, game().catalogue()); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.out, day_progress(3));
  EXPECT_NE(c.err.find("Verify error on scn file.\n"), std::string::npos) << c.err;
  EXPECT_EQ(read_text(out), "the translator's work");
  EXPECT_EQ(listing(out_dir), "texts.ini\n");
  // Without an earlier file, none is created.
  std::string fresh = out_dir + "/fresh.ini";
  capture([&] { ok = dump_iso(iso.c_str(), fresh.c_str(), true, game().catalogue()); });
  EXPECT_FALSE(ok);
  EXPECT_FALSE(file_exists(fresh));
  EXPECT_EQ(listing(out_dir), "texts.ini\n");
}

TEST(Translation, DumpOfChangedDayFiles) {
  // A changed but loadable file is no error for the dump: its duplicate
  // settings are written out instead of commented.
  std::string dir = make_scratch_dir("dump_changed");
  Bytes b2 = game().day("DAY_B2").scn;
  const auto& va = game().day("DAY_B2").vas[0];
  uint16_t text_at = talvo::read_le16(&b2[game().day("DAY_B2").va_start + 15 * va.index]);
  b2[text_at] = '\x82';  // another hiragana of the same length
  b2[text_at + 1] = '\xA0';
  std::string iso = iso_with(dir + "/disc", {{"/SCNBIN/DAY_B2.SCN", b2}});
  std::string out = dir + "/texts.ini";
  bool ok = false;
  Captured c = capture([&] { ok = dump_iso(iso.c_str(), out.c_str(), false, game().catalogue()); });
  EXPECT_TRUE(ok) << c.err;
  std::string text = read_text(out);
  EXPECT_NE(text.find("[DAY_B2]\r\nfix_duplicate_names = true\r\n\r\n; Normal texts"),
            std::string::npos);
  EXPECT_NE(text.find("[DAY_B1]\r\n; If you modify"), std::string::npos);
}

TEST(Translation, DumpStopsAtADayWithoutTables) {
  // The built-in catalogue of this build carries no tables: the first day
  // is announced, then refused; nothing is written.
  std::string out = make_scratch_dir("dump_builtin") + "/texts.ini";
  bool ok = true;
  Captured c = capture([&] { ok = dump_iso(game_iso().c_str(), out.c_str(), false); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.out, "Now dumping DAY_A0\n");
  EXPECT_NE(c.err.find("DAY_A0"), std::string::npos);
  EXPECT_FALSE(file_exists(out));
}

TEST(Translation, DumpOfAMissingDayFile) {
  std::string dir = make_scratch_dir("dump_missing");
  testsupport::FileMap files = game().files();
  files.erase("/SCNBIN/DAY_A1.SCN");
  std::string iso = testsupport::build_iso(dir + "/disc", files, true);
  bool ok = true;
  Captured c = capture([&] {
    ok = dump_iso(iso.c_str(), (dir + "/t.ini").c_str(), false, game().catalogue());
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.out, day_progress(2));
  EXPECT_NE(c.err.find("Error opening /SCNBIN/DAY_A1.SCN\n"), std::string::npos) << c.err;
  EXPECT_FALSE(file_exists(dir + "/t.ini"));
}

}  // namespace
