// The command line: which row runs, with which converted parameters, and what
// a wrong command line prints and returns.
#include "cli/dispatcher.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
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

// The usage text byte for byte, with the program as it was called in place of "talvo":
// on stdout with status -1 for a wrong command line, 0 when asked for.
TEST(Dispatcher, WrongCommandLinesAndHelpPrintTheUsageText) {
  std::ifstream file(std::string(TALVO_SOURCE_DIR) + "/tests/cli/usage.txt", std::ios::binary);
  const std::string usage((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(usage.empty());
  const std::pair<std::vector<std::string>, int> runs[] = {
      {{}, 255}, {{"dump", "only_one"}, 255}, {{"frobnicate", "a", "b"}, 255}, {{"check_ini", "a", "b"}, 255},
      {{"--help"}, 0}, {{"-h"}, 0}, {{"--help", "x"}, 255}};
  for (const auto& [args, status] : runs) {
    testsupport::ToolResult r = testsupport::run_talvo(args);
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.err, "");
    const std::string program = TALVO_EXECUTABLE;
    for (size_t at = r.out.find(program); at != std::string::npos; at = r.out.find(program, at)) {
      r.out.replace(at, program.size(), "talvo");
    }
    EXPECT_EQ(r.out, usage);
  }
}

}  // namespace
