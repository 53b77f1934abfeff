// The command line: which row runs, with which converted parameters, and what
// a wrong command line prints and returns.
#include "cli/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/operation_table.h"
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
  EXPECT_FALSE(parse({"nonsense", "a", "b"}).ok);

  Parsed dump = parse({"DUMP", "in.iso", "out.ini"});
  ASSERT_TRUE(dump.ok);
  EXPECT_STREQ(dump.command.name, "dump");
  EXPECT_STREQ(dump.command.params[1], "out.ini");

  // Every row is reachable at both ends of its range and at no count outside
  // it; a word matching a row's name at a count out of range matches no other.
  for (size_t r = 0; r < kOperationRowCount; ++r) {
    const OperationRow& row = kOperationRows[r];
    for (int n = row.min_params - 1; n <= row.max_params + 1; ++n) {
      std::vector<const char*> words{row.name};
      words.resize(1 + n, "x");
      Parsed p = parse(words);
      bool in_range = n >= row.min_params && n <= row.max_params;
      EXPECT_EQ(p.ok, in_range) << row.name << " with " << n;
      if (in_range && p.ok) {
        EXPECT_STREQ(p.command.name, row.name);
        EXPECT_EQ(p.command.run, row.run) << row.name;
      }
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
      {{"insert_pp", "i", "p", "b", "28", "whatever"}, true, false, false},
      {{"insert_lzss_pp", "i", "p", "b", "False"}, false, false, false},
      {{"insert_lzss_pp", "i", "p", "b"}, true, false, false},
      {{"insert_mato", "i", "p", "pre", "fix_palette", "1"}, false, true, true},
      {{"insert_lzss_mato", "i", "p", "pre", "default", "0"}, true, false, false},
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
}

TEST(Dispatcher, HelpAndVersionAnswerOnStdoutWithStatusZero) {
  const std::string usage = testsupport::run_talvo({}).out;
  for (const char* word : {"--help", "-h"}) {
    testsupport::ToolResult r = testsupport::run_talvo({word});
    EXPECT_EQ(r.status, 0) << word;
    EXPECT_EQ(r.out, usage) << word;
    EXPECT_EQ(r.err, "") << word;
  }
  testsupport::ToolResult r = testsupport::run_talvo({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("talvo ") + TALVO_VERSION + "\n");
  EXPECT_EQ(testsupport::run_talvo({"--help", "x"}).status, 255);  // not a request for help
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
  // Twenty-two sections, each opened by its name; the last example ends the
  // text without a blank line after it.
  const char* sections[] = {"translate", "dump", "dump_rr", "completion", "extract_dc", "insert_dc",
                            "extract_lzss_dc", "insert_lzss_dc", "extract_pp", "insert_pp",
                            "extract_lzss_pp", "insert_lzss_pp", "extract_lzss_pp4", "insert_lzss_pp4",
                            "extract_mato", "insert_mato", "extract_lzss_mato", "insert_lzss_mato",
                            "extract_all_images", "replace_file", "verify", "list"};
  size_t at = 0;
  for (const char* s : sections) {
    size_t found = r.out.find("\n" + std::string(s) + ":\n" + program + " " + s + " ", at);
    ASSERT_NE(found, std::string::npos) << s;
    at = found + 1;
  }
  const std::string tail = "Eg: " + program + " list Talvo_Zorv1.iso /MKRT/SP\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

}  // namespace
