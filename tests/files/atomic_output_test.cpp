#include "files/atomic_output.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "tests/support/test_files.h"

namespace {

using namespace testsupport;

std::string read_text(const std::string& path) {
  Bytes b = read_file_bytes(path);
  return std::string(b.begin(), b.end());
}

std::string listing(const std::string& dir) {
  std::string out;
  run("ls -A " + shell_quote(dir), &out);
  return out;
}

// Create and, when `commit`, Commit of text through path.
bool put(const std::string& path, const std::string& text = "new", bool commit = true) {
  ReplacingOutputFile out;
  return out.Create(path.c_str()) && (!commit || out.Commit(text.data(), text.size()));
}

struct stat stat_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

// Links keep pointing at the file that gets the new bytes, which keeps its mode and owner;
// nothing changes before the commit.
TEST(OutputFile, LinksKeepPointingAtTheFileThatGetsTheNewBytes) {
  std::string dir = make_scratch_dir("output_links"), real = dir + "/real/texts.ini";
  write_file(real, std::string("old"));
  ASSERT_TRUE(chmod(real.c_str(), 0640) == 0 && chown(real.c_str(), 65534, 65534) == 0);
  ASSERT_EQ(symlink("real/texts.ini", (dir + "/link.ini").c_str()), 0);
  ASSERT_EQ(symlink("link.ini", (dir + "/link2.ini").c_str()), 0);
  ASSERT_EQ(symlink("real/fresh.ini", (dir + "/dangling.ini").c_str()), 0);
  ASSERT_TRUE(put(dir + "/link2.ini", "new", false));
  EXPECT_EQ(read_text(real), "old");
  ASSERT_TRUE(put(dir + "/link2.ini") && put(dir + "/dangling.ini"));
  EXPECT_TRUE(S_ISLNK(stat_of(dir + "/link.ini").st_mode) && S_ISLNK(stat_of(dir + "/link2.ini").st_mode));
  struct stat st = stat_of(real);
  EXPECT_TRUE((st.st_mode & 07777) == 0640 && st.st_uid == 65534u && st.st_gid == 65534u);
  EXPECT_TRUE(read_text(real) == "new" && read_text(dir + "/real/fresh.ini") == "new");
  // A file with a second name is overwritten in place, the shorter text cutting it.
  write_file(real, std::string("older text"));
  ASSERT_EQ(link(real.c_str(), (dir + "/hard.ini").c_str()), 0);
  ASSERT_TRUE(put(dir + "/hard.ini"));
  EXPECT_TRUE(stat_of(real).st_ino == stat_of(dir + "/hard.ini").st_ino && read_text(real) == "new");
  EXPECT_EQ(listing(dir + "/real"), "fresh.ini\ntexts.ini\n");  // no temporary files left
}

// Failed writes, replacing or in place, report failure and keep the old file.
TEST(OutputFile, FailedWritesReportFailureAndKeepTheOldFile) {
  std::string dir = make_scratch_dir("output_full");
  write_file(dir + "/texts.ini", std::string("old"));
  // The replacement cannot be written whole: a child limited to files of 100 bytes, as on a full disc.
  std::string err = make_scratch_dir("output_full_err") + "/stderr";
  pid_t pid = fork();
  if (pid == 0) {
    struct rlimit limit = {100, 100};
    signal(SIGXFSZ, SIG_IGN);
    if (!freopen(err.c_str(), "w", stderr) || setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
    const bool ok = put(dir + "/texts.ini", std::string(5000, 'x'));
    std::fflush(stderr);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_TRUE(pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(read_text(err), "Error writing output.\n");
  EXPECT_EQ(read_text(dir + "/texts.ini"), "old");
  EXPECT_EQ(listing(dir), "texts.ini\n");  // no temporary file left
  // Overwritten in place, on a device that takes no bytes.
  EXPECT_FALSE(run_captured([] { return put("/dev/full"); }).ok);
  // A socket passes the access check but cannot be opened.
  ASSERT_EQ(mknod((dir + "/socket").c_str(), S_IFSOCK | 0666, 0), 0);
  EXPECT_FALSE(put(dir + "/socket", "new", false));
}

}  // namespace
