// Test fixtures shared by every layer: scratch folders, host file helpers,
// running external programs, and ISO images made and read by independent
// tools (genisoimage to make them, isoinfo and pycdlib to read them back).
#ifndef TALVO_TESTS_SUPPORT_TEST_FILES_H
#define TALVO_TESTS_SUPPORT_TEST_FILES_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample/host_tools.h"
#include "tests/support/capture.h"

namespace testsupport {

using sample::Bytes;

// A fresh, empty folder under the build's scratch space, unique per call.
// It is removed when the test that made it passed (made outside a test: when
// the program passed). A lasting one, for what later tests share, stays until
// the program ends.
std::string make_scratch_dir(const std::string& name);
std::string make_lasting_scratch_dir(const std::string& name);

// Host files. write_file creates parent folders; both abort the test on failure.
void write_file(const std::string& path, const Bytes& data);
void write_file(const std::string& path, const std::string& data);
using sample::read_file_bytes;
bool file_exists(const std::string& path);

// Shell commands and quoting, as the sample maker runs them.
using sample::run;
using sample::shell_quote;

// Runs build/talvo with the given words; stdout and stderr captured apart.
// shell_prefix (shell text) goes before the command, e.g. "ulimit -f 100;".
struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};
ToolResult run_talvo(const std::vector<std::string>& args, const std::string& shell_prefix = "");

// Reads a file out of an image with isoinfo (path like "/DIR/FILE.BIN", the
// ";1" version is added), or out of its Joliet tree. Returns false when
// isoinfo could not find it.
bool isoinfo_extract(const std::string& iso, const std::string& path, Bytes* data, bool joliet = false);

// The Python 3 found when the build was set up (it has pycdlib and Pillow): runs a script
// given as text with arguments; its stdout in *out.
int run_python(const std::string& script, const std::vector<std::string>& args,
               std::string* out = nullptr);

}  // namespace testsupport

#endif
