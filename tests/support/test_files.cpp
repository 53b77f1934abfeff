#include "tests/support/test_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>

namespace testsupport {

namespace {

// The sample code's own rule breaks fail the test that met them.
void fail_test(const std::string& what) { ADD_FAILURE() << what; }
[[maybe_unused]] const bool kSampleProblemsFailTests = (sample::set_problem_handler(fail_test), true);

// Scratch folders go when they are done with: a test's own at its end, the
// ones the whole program shares at the program's end; a failure keeps them
// for inspection.
class ScratchCleaner : public testing::EmptyTestEventListener {
 public:
  void Add(const std::string& dir, bool lasting) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool in_test = testing::UnitTest::GetInstance()->current_test_info() != nullptr;
    (lasting || !in_test ? program_dirs_ : test_dirs_).push_back(dir);
  }
  void OnTestEnd(const testing::TestInfo& test) override { remove(&test_dirs_, !test.result()->Failed()); }
  void OnTestProgramEnd(const testing::UnitTest& unit) override { remove(&program_dirs_, unit.Passed()); }

 private:
  void remove(std::vector<std::string>* dirs, bool passed) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& dir : *dirs) {
      std::error_code ignored;  // a folder that cannot go is only left behind
      if (passed) std::filesystem::remove_all(dir, ignored);
    }
    dirs->clear();
  }
  std::mutex mutex_;
  std::vector<std::string> test_dirs_, program_dirs_;
};

ScratchCleaner* const kScratchCleaner = [] {
  auto* cleaner = new ScratchCleaner;  // the listener list owns it
  testing::UnitTest::GetInstance()->listeners().Append(cleaner);
  return cleaner;
}();

std::string new_scratch_dir(const std::string& name, bool lasting) {
  static std::atomic<int> counter{0};
  std::string dir = std::string(TALVO_SCRATCH_DIR) + "/" + name + "_" +
                    std::to_string(::getpid()) + "_" + std::to_string(counter++);
  run("rm -rf " + shell_quote(dir));
  sample::make_parents(dir + "/");
  kScratchCleaner->Add(dir, lasting);
  return dir;
}

}  // namespace

using sample::make_parents;

std::string make_scratch_dir(const std::string& name) { return new_scratch_dir(name, false); }

std::string make_lasting_scratch_dir(const std::string& name) { return new_scratch_dir(name, true); }

void write_file(const std::string& path, const Bytes& data) {
  ASSERT_TRUE(sample::write_file(path, data)) << path;
}

void write_file(const std::string& path, const std::string& data) {
  write_file(path, Bytes(data.begin(), data.end()));
}

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

ToolResult run_talvo(const std::vector<std::string>& args, const std::string& shell_prefix) {
  std::string dir = make_scratch_dir("talvo_run");
  std::string cmd = shell_prefix + " " + shell_quote(TALVO_EXECUTABLE);
  for (const std::string& a : args) cmd += " " + shell_quote(a);
  cmd += " 2>" + shell_quote(dir + "/stderr");
  ToolResult r;
  r.status = run(cmd, &r.out);
  Bytes err = read_file_bytes(dir + "/stderr");
  r.err.assign(err.begin(), err.end());
  return r;
}

bool isoinfo_extract(const std::string& iso, const std::string& path, Bytes* data, bool joliet) {
  // isoinfo prints nothing for a missing file: its listing tells that from an empty one.
  std::string isoinfo = std::string("isoinfo ") + (joliet ? "-J" : "") + " -i " + shell_quote(iso);
  std::string version = joliet ? "" : ";1", out = make_scratch_dir("isoinfo") + "/out";
  if (run(isoinfo + " -f 2>/dev/null | grep -qxF -e " + shell_quote(path) + " -e " + shell_quote(path + ";1")) != 0 ||
      run(isoinfo + " -x " + shell_quote(path + version) + " > " + shell_quote(out) + " 2>/dev/null") != 0) {
    return false;
  }
  *data = read_file_bytes(out);
  return true;
}

int run_python(const std::string& script, const std::vector<std::string>& args, std::string* out) {
  std::string dir = make_scratch_dir("py");
  write_file(dir + "/script.py", script);
  std::string cmd = std::string(TALVO_PYTHON) + " " + shell_quote(dir + "/script.py");
  for (const std::string& a : args) cmd += " " + shell_quote(a);
  return run(cmd, out);
}

}  // namespace testsupport
