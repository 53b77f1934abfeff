// Outputs replaced whole: the new bytes reach the file the user means,
// behind symbolic and hard links and in folders that take no new file.
#include "files/atomic_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/test_files.h"

namespace {

using testsupport::make_scratch_dir;
using testsupport::write_file;

std::string read_text(const std::string& path) {
  testsupport::Bytes b = testsupport::read_file_bytes(path);
  return std::string(b.begin(), b.end());
}

// Create and, when `commit`, Commit of "new" through path.
bool put_new(const std::string& path, bool commit = true) {
  ReplacingOutputFile out;
  return out.Create(path.c_str()) && (!commit || out.Commit("new", 3));
}

struct stat stat_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

TEST(OutputFile, LinksKeepPointingAtTheFileThatGetsTheNewBytes) {
  std::string dir = make_scratch_dir("output_links");
  write_file(dir + "/real/texts.ini", std::string("old"));
  ASSERT_EQ(symlink("real/texts.ini", (dir + "/link.ini").c_str()), 0);
  ASSERT_EQ(symlink("link.ini", (dir + "/link2.ini").c_str()), 0);
  ASSERT_EQ(symlink("real/fresh.ini", (dir + "/dangling.ini").c_str()), 0);
  ASSERT_EQ(link((dir + "/real/texts.ini").c_str(), (dir + "/hard.ini").c_str()), 0);
  const ino_t inode = stat_of(dir + "/hard.ini").st_ino;
  for (const char* name : {"/link2.ini", "/hard.ini", "/dangling.ini"}) {
    SCOPED_TRACE(name);
    write_file(dir + "/real/texts.ini", std::string("old"));
    // Nothing changes before the commit, even where the file is overwritten.
    ASSERT_TRUE(put_new(dir + name, false));
    EXPECT_EQ(read_text(dir + "/real/texts.ini"), "old");
    ASSERT_TRUE(put_new(dir + name));
    EXPECT_TRUE(S_ISLNK(stat_of(dir + "/link.ini").st_mode) && S_ISLNK(stat_of(dir + "/link2.ini").st_mode));
    EXPECT_EQ(stat_of(dir + "/hard.ini").st_ino, inode);
    EXPECT_EQ(stat_of(dir + "/hard.ini").st_nlink, 2u);
    std::string changed = std::string(name) == "/dangling.ini" ? "/real/fresh.ini" : "/hard.ini";
    EXPECT_EQ(read_text(dir + changed), "new");
  }
  std::string listing;  // no temporary files left
  testsupport::run("ls -A " + testsupport::shell_quote(dir + "/real"), &listing);
  EXPECT_EQ(listing, "fresh.ini\ntexts.ini\n");
}

TEST(OutputFile, ReplacedFileKeepsItsModeAndOwner) {
  std::string path = make_scratch_dir("output_owner") + "/texts.ini";
  write_file(path, std::string("old"));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  if (chown(path.c_str(), 65534, 65534) != 0) GTEST_SKIP() << "cannot give files away here";
  ASSERT_TRUE(put_new(path));
  struct stat st = stat_of(path);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(read_text(path), "new");
}

TEST(OutputFile, WritableFileInAFolderTheUserCannotWrite) {
  std::string dir = make_scratch_dir("output_folder");
  write_file(dir + "/texts.ini", std::string("old"));
  write_file(dir + "/locked.ini", std::string("old"));
  ASSERT_EQ(chmod((dir + "/texts.ini").c_str(), 0666), 0);
  ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
  // As an ordinary user: the writable file is overwritten; a read-only one
  // and a new file in the folder are refused.
  testsupport::ChildResult r = testsupport::run_in_child(
      [&] {
        return put_new(dir + "/texts.ini") && !put_new(dir + "/locked.ini") &&
               !put_new(dir + "/new.ini");
      },
      true);
  if (!r.ran) GTEST_SKIP() << "cannot drop privileges here";
  EXPECT_TRUE(r.ok) << r.err;
  EXPECT_EQ(read_text(dir + "/texts.ini"), "new");
  EXPECT_EQ(read_text(dir + "/locked.ini"), "old");
  EXPECT_FALSE(testsupport::file_exists(dir + "/new.ini"));
}

}  // namespace
