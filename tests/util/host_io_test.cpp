// The host-file seam where the systems differ most: a rename that replaces,
// files renamed and removed while open (the journal does both), positioned
// transfers that leave the shared position alone, file identity (stat has
// no inode number on Windows), locks between two opens of one file, and
// folders made twice. The names are UTF-8, with a Japanese folder.
#include "util/host_io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "util/guards.h"

using namespace talvo;

namespace {

std::string scratch_root() { return std::string(TALVO_SCRATCH_DIR) + "/host_io_" + std::to_string(::getpid()); }

std::string scratch_folder() {
  std::string dir = scratch_root();
  make_host_directory(dir.c_str());
  dir += "/\xE4\xBD\x9C\xE6\xA5\xAD";  // 作業
  make_host_directory(dir.c_str());
  return dir;
}

void put(const std::string& path, const std::string& text) {
  FdGuard fd(open_host_file(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC));
  ASSERT_GE(fd.get(), 0) << path;
  ASSERT_TRUE(write_at(fd.get(), text.data(), text.size(), 0));
}

std::string get(const std::string& path) {
  FdGuard fd(open_host_file(path.c_str(), O_RDONLY));
  int64_t length = fd.get() < 0 ? -1 : host_file_length(fd.get());
  if (length < 0) return "(unreadable)";
  std::string text(static_cast<size_t>(length), '\0');
  return read_at(fd.get(), &text[0], text.size(), 0) ? text : "(unreadable)";
}

// The scratch folder goes when the test passed; a failed test's stays for inspection.
class HostIo : public testing::Test {
 protected:
  void TearDown() override {
    std::error_code ignored;
    if (!HasFailure()) std::filesystem::remove_all(std::filesystem::u8path(scratch_root()), ignored);
  }
};

TEST_F(HostIo, ReplacesRemovesAndTellsFilesApart) {
  const std::string dir = scratch_folder();
  const std::string a = dir + "/a.bin", b = dir + "/b.bin";
  put(a, "new\n");
  put(b, "old contents\n");
  HostFileId a_id, b_id, again;
  ASSERT_TRUE(host_file_id(a.c_str(), &a_id));
  ASSERT_TRUE(host_file_id(b.c_str(), &b_id));
  ASSERT_TRUE(host_file_id((dir + "/./a.bin").c_str(), &again));
  EXPECT_FALSE(a_id == b_id);
  EXPECT_TRUE(a_id == again);

  // Open, renamed over an existing file, then removed while still open; the
  // name is gone once it is closed (on Windows not before).
  FdGuard open_a(open_host_file(a.c_str(), O_RDONLY));
  ASSERT_GE(open_a.get(), 0);
  ASSERT_TRUE(replace_host_file(a.c_str(), b.c_str()));
  EXPECT_EQ(get(b), "new\n");
  EXPECT_FALSE(is_regular_host_file(a.c_str()));
  EXPECT_TRUE(is_regular_host_file(b.c_str()));
  EXPECT_TRUE(remove_host_file(b.c_str()));
  ::close(open_a.release());
  EXPECT_FALSE(is_regular_host_file(b.c_str()));

  EXPECT_EQ(make_host_directory(dir.c_str()), -1);
  EXPECT_EQ(errno, EEXIST);
}

TEST_F(HostIo, PositionedTransfersAndLocks) {
  const std::string path = scratch_folder() + "/image.iso";
  put(path, std::string(100, 'x'));
  FdGuard fd(open_host_file(path.c_str(), O_RDWR));
  ASSERT_GE(fd.get(), 0);
  ASSERT_EQ(lseek(fd.get(), 10, SEEK_SET), 10);
  ASSERT_TRUE(write_at(fd.get(), "abc", 3, 200));  // beyond the end: the gap reads as zeros
  char back[3] = {};
  ASSERT_TRUE(read_at(fd.get(), back, 3, 200));
  EXPECT_EQ(std::string(back, 3), "abc");
  EXPECT_FALSE(read_at(fd.get(), back, 3, 202));  // cut short by the end
  EXPECT_EQ(lseek(fd.get(), 0, SEEK_CUR), 10);     // a stream on a duplicate keeps its place
  EXPECT_EQ(host_file_length(fd.get()), 203);
  ASSERT_TRUE(truncate_host_file(fd.get(), 50));
  EXPECT_EQ(host_file_length(fd.get()), 50);
  EXPECT_TRUE(sync_host_file(fd.get()));

  FdGuard other(open_host_file(path.c_str(), O_RDONLY));
  ASSERT_GE(other.get(), 0);
  ASSERT_TRUE(try_lock_host_file(fd.get(), true));
  EXPECT_FALSE(try_lock_host_file(other.get(), false));
  // The lock covers no data: this run's own other descriptor still reads.
  EXPECT_TRUE(read_at(other.get(), back, 3, 0));
}

}  // namespace
