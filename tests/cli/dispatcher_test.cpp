// The command line: which row runs, with which converted parameters, and what
// a wrong command line prints and returns.
#include "cli/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

// Owns the argument vector, since a parsed command points into it.
struct Parsed {
  std::vector<const char*> argv;
  bool ok = false;
  Command command;
};

Parsed parse(std::vector<const char*> words) {
  Parsed p;
  p.argv = std::move(words);
  p.argv.insert(p.argv.begin(), "talvo");
  p.ok = parse_command_line(static_cast<int>(p.argv.size()), p.argv.data(), &p.command);
  return p;
}

TEST(Dispatcher, MatchesNamesWithoutCaseAndOnlyWithTheirParameterCounts) {
  EXPECT_FALSE(parse({}).ok);
  EXPECT_FALSE(parse({"dump", "a"}).ok);
  EXPECT_FALSE(parse({"dump", "a", "b", "c"}).ok);
  EXPECT_FALSE(parse({"nonsense", "a", "b"}).ok);
  EXPECT_FALSE(parse({"check_ini", "a", "b"}).ok);
  EXPECT_FALSE(parse({"translate", "a", "b"}).ok);
  EXPECT_FALSE(parse({"translate", "a", "b", "c", "d", "e", "f"}).ok);

  Parsed dump = parse({"DUMP", "in.iso", "out.ini"});
  ASSERT_TRUE(dump.ok);
  EXPECT_EQ(dump.command.operation, Operation::kDump);
  EXPECT_STREQ(dump.command.params[1], "out.ini");

  struct Row {
    const char* word;
    int params;
    Operation op;
  } rows[] = {
      {"Dump_RR", 2, Operation::kDumpRr},          {"translate", 3, Operation::kTranslate},
      {"translate", 5, Operation::kTranslate},     {"completion", 2, Operation::kCompletion},
      {"print_va_idx", 2, Operation::kPrintVaIdx}, {"print_ev_poffsets", 2, Operation::kPrintEvPoffsets},
      {"print_va_names", 2, Operation::kPrintVaNames}, {"extract_dc", 4, Operation::kExtractDc},
      {"insert_dc", 3, Operation::kInsertDc},      {"uncompress_lzss", 3, Operation::kUncompressLzss},
      {"compress_lzss", 3, Operation::kCompressLzss}, {"extract_lzss_dc", 3, Operation::kExtractLzssDc},
      {"insert_lzss_dc", 3, Operation::kInsertLzssDc}, {"extract_pp", 4, Operation::kExtractPp},
      {"insert_pp", 5, Operation::kInsertPp},      {"extract_lzss_pp", 3, Operation::kExtractLzssPp},
      {"insert_lzss_pp", 4, Operation::kInsertLzssPp}, {"extract_lzss_pp4", 3, Operation::kExtractLzssPp4},
      {"insert_lzss_pp4", 4, Operation::kInsertLzssPp4}, {"extract_mato", 3, Operation::kExtractMato},
      {"insert_mato", 5, Operation::kInsertMato},  {"extract_lzss_mato", 3, Operation::kExtractLzssMato},
      {"insert_lzss_mato", 5, Operation::kInsertLzssMato},
      {"extract_all_images", 2, Operation::kExtractAllImages},
      {"copy_with_actor_comments", 3, Operation::kCopyWithActorComments},
      {"replace_file", 3, Operation::kReplaceFile}, {"check_ini", 1, Operation::kCheckIni},
  };
  for (const Row& row : rows) {
    std::vector<const char*> words{row.word};
    for (int i = 0; i < row.params; ++i) words.push_back("x");
    Parsed p = parse(words);
    ASSERT_TRUE(p.ok) << row.word;
    EXPECT_EQ(p.command.operation, row.op) << row.word;
    EXPECT_EQ(p.command.param_count, row.params);
    words.push_back("x");
    words.push_back("x");
    if (row.params != 3 || row.op != Operation::kTranslate) {
      EXPECT_FALSE(parse(words).ok) << row.word << " with two words too many";
    }
  }
}

TEST(Dispatcher, ConvertsOffsetsAsHexadecimalAndBadWordsToZero) {
  EXPECT_EQ(parse({"extract_dc", "i", "p", "b", "30"}).command.offset, 0x30u);
  EXPECT_EQ(parse({"insert_dc", "i", "p", "b", "0x1F"}).command.offset, 0x1Fu);
  EXPECT_EQ(parse({"extract_pp", "i", "p", "b", "zz"}).command.offset, 0u);
  EXPECT_EQ(parse({"extract_pp", "i", "p", "b"}).command.offset, 0u);
  // Beyond 32 signed bits the word saturates instead of wrapping to its low bits.
  EXPECT_EQ(parse({"insert_pp", "i", "p", "b", "ffffffff"}).command.offset, 0x7FFFFFFFu);
  EXPECT_EQ(parse({"extract_pp", "i", "p", "b", "100000028"}).command.offset, 0x7FFFFFFFu);
  EXPECT_EQ(parse({"extract_dc", "i", "p", "b", "-100000028"}).command.offset, 0x80000000u);
}

TEST(Dispatcher, ConvertsColourFixModesAndFlags) {
  struct Case {
    std::vector<const char*> words;
    bool fix_transparent, fix_palette, ignore_missing;
  } cases[] = {
      {{"insert_pp", "i", "p", "b", "28", "FIX_PALETTE"}, false, true, false},
      {{"insert_pp", "i", "p", "b", "28", "true"}, true, false, false},
      {{"insert_pp", "i", "p", "b", "28", "whatever"}, true, false, false},
      {{"insert_pp", "i", "p", "b", "28"}, true, false, false},
      {{"insert_lzss_pp", "i", "p", "b", "0"}, false, false, false},
      {{"insert_lzss_pp", "i", "p", "b", "False"}, false, false, false},
      {{"insert_lzss_pp", "i", "p", "b"}, true, false, false},
      {{"insert_mato", "i", "p", "pre", "fix_palette", "1"}, false, true, true},
      {{"insert_mato", "i", "p", "pre"}, true, false, false},
      {{"insert_lzss_mato", "i", "p", "pre", "false", "false"}, false, false, false},
      {{"insert_lzss_mato", "i", "p", "pre", "default", "yes"}, true, false, true},
      {{"insert_lzss_pp4", "i", "p", "b"}, true, false, false},
      {{"insert_lzss_pp4", "i", "p", "b", "0"}, false, false, false},
  };
  for (const Case& c : cases) {
    Parsed p = parse(c.words);
    ASSERT_TRUE(p.ok) << c.words[0];
    EXPECT_EQ(p.command.fix_transparent, c.fix_transparent) << c.words[0] << " " << c.words.back();
    EXPECT_EQ(p.command.fix_palette, c.fix_palette) << c.words[0] << " " << c.words.back();
    EXPECT_EQ(p.command.ignore_missing_files, c.ignore_missing) << c.words[0] << " " << c.words.back();
  }
}

TEST(Dispatcher, TranslateTextsDefaultToNull) {
  Parsed p = parse({"translate", "a.iso", "b.iso", "t.ini", "DEFAULT", "Xyz"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.command.n_text, nullptr);
  EXPECT_STREQ(p.command.f_text, "Xyz");
  p = parse({"translate", "a.iso", "b.iso", "t.ini"});
  EXPECT_EQ(p.command.n_text, nullptr);
  EXPECT_EQ(p.command.f_text, nullptr);
  p = parse({"translate", "a.iso", "b.iso", "t.ini", "Ann"});
  EXPECT_STREQ(p.command.n_text, "Ann");
}

TEST(Dispatcher, WrongCommandLinesPrintTheUsageTextAndExitWithMinusOne) {
  using testsupport::run_talvo;
  const std::string program = TALVO_EXECUTABLE;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"dump", "only_one"}, {"frobnicate", "a", "b"}, {"check_ini", "a", "b"}}) {
    testsupport::ToolResult r = run_talvo(args);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.rfind("Usage: " + program + " operation parameters\nOperation is one of translate, dump, ", 0), 0u);
  }
  testsupport::ToolResult r = run_talvo({});
  // Twenty sections, each opened by its name; the last example ends the text
  // without a blank line after it.
  const char* sections[] = {"translate", "dump", "dump_rr", "completion", "extract_dc", "insert_dc",
                            "extract_lzss_dc", "insert_lzss_dc", "extract_pp", "insert_pp",
                            "extract_lzss_pp", "insert_lzss_pp", "extract_lzss_pp4", "insert_lzss_pp4",
                            "extract_mato", "insert_mato", "extract_lzss_mato", "insert_lzss_mato",
                            "extract_all_images", "replace_file"};
  size_t at = 0;
  for (const char* s : sections) {
    size_t found = r.out.find("\n" + std::string(s) + ":\n" + program + " " + s + " ", at);
    ASSERT_NE(found, std::string::npos) << s;
    at = found + 1;
  }
  const std::string tail = "Eg: " + program + " replace_file Talvo_English1.iso FONTDATA/ASCII16.FON ASCII16.FON.\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  EXPECT_NE(r.out.find("insert_lzss_mato\n\ntranslate:\n"), std::string::npos);
  EXPECT_NE(r.out.find("Eg: " + program + " extract_dc Talvo_Zorv1.iso /MKRT/NOWLOAD1.DG2 NOWLOAD1.BMP\nEg: " +
                       program + " extract_dc Talvo_Zorv1.iso /MKRT/CHG.TEX CHG_00000030.BMP 30\n\ninsert_dc:\n"),
            std::string::npos);
}

}  // namespace
