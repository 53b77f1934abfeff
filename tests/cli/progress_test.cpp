// The pacifier of long work: under a pseudo-terminal (script) the image copy
// of translate and replace_file of a large file show a percentage on stderr,
// extract_all_images a count of files; through pipes the output is exactly
// what it was without one.
#include <gtest/gtest.h>

#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"

using namespace testsupport;

TEST(Progress, ShownOnATerminalOnly) {
  const std::string dir = make_scratch_dir("progress");
  const std::string iso = build_iso(dir, {{"/A.BIN", Bytes(100, 'a')}}, false);
  ASSERT_FALSE(iso.empty());
  const std::string big = dir + "/big.bin";
  write_file(big, random_bytes(17 << 20, 5));
  const std::string program = TALVO_EXECUTABLE;
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"replace_file", iso, "/A.BIN", big}, "%\b"},
      {{"translate", iso, dir + "/out.iso", dir + "/missing.ini"}, "%\b"},
      {{"extract_all_images", iso, dir + "/pictures"}, "1 files\b"}};
  for (const auto& [args, shown] : runs) {
    SCOPED_TRACE(args[0]);
    std::string command = shell_quote(program);
    for (const std::string& a : args) command += " " + shell_quote(a);
    std::string terminal;
    run("script -qec " + shell_quote(command) + " /dev/null </dev/null", &terminal);
    // The pacifier, erased again with backspaces so that the line reads as before.
    EXPECT_NE(terminal.find(shown), std::string::npos) << terminal;
    ToolResult piped = run_talvo(args);
    EXPECT_EQ(piped.out.find('%'), std::string::npos) << piped.out;
    EXPECT_EQ(piped.err.find('%'), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find("files"), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find('\b'), std::string::npos) << piped.err;
  }
}
