#include "cli/image_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "iso/iso9660_filesystem.h"
#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"

using namespace testsupport;

namespace {

const char kTarget[] = "/DATA/TARGET.BIN";

FileMap sample_files() {
  FileMap files;
  files[kTarget] = random_bytes(5000, 21);
  files["/DATA/NEXT.BIN"] = random_bytes(7000, 22);
  files["/DATA/SUB/DEEP.TXT"] = random_bytes(300, 23);
  files["/EMPTY.BIN"] = Bytes();
  files["/TEN.BIN"] = random_bytes(10, 24);
  return files;
}

// Checks with pycdlib that both trees hold exactly `files`, agree with each
// other, and that both volume descriptors give the image's real size.
void expect_image_holds(const std::string& iso, const FileMap& files, bool joliet) {
  IsoContents c = read_iso_contents(iso);
  ASSERT_TRUE(c.ok) << c.error;
  ASSERT_EQ(c.has_joliet, joliet);
  uint32_t sectors = static_cast<uint32_t>(host_file_size(iso) / 2048);
  EXPECT_EQ(c.pvd_space, sectors);
  if (joliet) {
    EXPECT_EQ(c.svd_space, sectors);
    EXPECT_EQ(c.joliet_tree.size(), files.size());
  }
  ASSERT_EQ(c.iso_tree.size(), files.size());
  for (const auto& f : files) {
    SCOPED_TRACE(f.first);
    ASSERT_EQ(c.iso_tree.count(f.first), 1u);
    EXPECT_EQ(c.iso_tree[f.first].length, f.second.size());
    EXPECT_TRUE(c.iso_tree[f.first].data == f.second);
    if (joliet) {
      ASSERT_EQ(c.joliet_tree.count(f.first), 1u);
      EXPECT_EQ(c.joliet_tree[f.first].extent, c.iso_tree[f.first].extent);
      EXPECT_EQ(c.joliet_tree[f.first].length, f.second.size());
    }
  }
}

struct Captured {
  bool result;
  std::string out, err;
};

template <typename F>
Captured capture(F f) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  bool result = f();
  Captured c;
  c.result = result;
  c.out = testing::internal::GetCapturedStdout();
  c.err = testing::internal::GetCapturedStderr();
  return c;
}

struct ImageFilesTest : ::testing::TestWithParam<bool> {
  void SetUp() override {
    joliet = GetParam();
    dir = make_scratch_dir("image_files");
    files = sample_files();
    iso = build_iso(dir, files, joliet);
    ASSERT_FALSE(iso.empty());
  }
  // The images reach tens of MB; keep the scratch space from piling up.
  void TearDown() override { run("rm -rf " + shell_quote(dir)); }
  bool joliet = false;
  std::string dir, iso;
  FileMap files;
};

}  // namespace

TEST(Cli, MountReportsMissingAndNonIsoFiles) {
  std::string dir = make_scratch_dir("mount_errors");
  IsoFileDisc* disc = nullptr;
  Iso9660Filesystem* fs = nullptr;
  std::string missing = dir + "/missing.iso";
  Captured c = capture([&] { return mount_iso(&disc, &fs, missing.c_str(), true); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err, "Error opening iso file: " + missing +
                       "\nCheck that the file exists and is not in use by other program such as "
                       "a Virtual CD emulator.\n");
  std::string not_iso = dir + "/not.iso";
  write_file(not_iso, random_bytes(40000, 1));
  c = capture([&] { return mount_iso(&disc, &fs, not_iso.c_str(), false); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err, "Mount failed.\n");
  EXPECT_EQ(disc, nullptr);
  EXPECT_EQ(fs, nullptr);
  umount_iso(nullptr, nullptr);
}

TEST(Cli, ReadOnlyMountNeverNeedsWriteAccess) {
  // Root opens any file for writing, so the check runs as an unprivileged
  // user in a child process.
  std::string dir = make_scratch_dir("read_only");
  std::string iso = build_iso(dir, sample_files(), true);
  ASSERT_FALSE(iso.empty());
  ASSERT_EQ(chmod(iso.c_str(), 0444), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    MountedIso read_only, writable;
    bool ro = read_only.mount(iso.c_str(), true);
    int size = 0;
    unsigned char* data = ro ? read_iso_file(read_only.fs(), kTarget, &size) : nullptr;
    bool read_ok = data && size == 5000;
    free(data);
    bool rw = writable.mount(iso.c_str(), false);
    _exit(read_ok && !rw ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_P(ImageFilesTest, ReadAndWriteWholeImageFiles) {
  {
    MountedIso m;
    ASSERT_TRUE(m.mount(iso.c_str(), false));
    int size = -1;
    unsigned char* data = read_iso_file(m.fs(), "/EMPTY.BIN", &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 0);
    free(data);
    data = read_iso_file(m.fs(), "data/sub/deep.txt", &size);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(Bytes(data, data + size) == files["/DATA/SUB/DEEP.TXT"]);
    free(data);
    Captured c = capture([&] { return read_iso_file(m.fs(), "/NONE.BIN", &size) != nullptr; });
    EXPECT_FALSE(c.result);
    EXPECT_EQ(c.err, "Cannot open /NONE.BIN\n");

    // 3 bytes into a 10-byte file change only those bytes.
    const unsigned char three[3] = {7, 8, 9};
    ASSERT_TRUE(write_iso_file(m.fs(), "/TEN.BIN", three, 3));
    std::copy(three, three + 3, files["/TEN.BIN"].begin());
    // 5000 bytes into it grow it (relocated: it owned one sector).
    Bytes big = random_bytes(5000, 30);
    ASSERT_TRUE(write_iso_file(m.fs(), "/TEN.BIN", big.data(), 5000));
    files["/TEN.BIN"] = big;
    c = capture([&] { return write_iso_file(m.fs(), "/DATA", three, 3); });
    EXPECT_FALSE(c.result);
    EXPECT_EQ(c.err, "Cannot open /DATA\n");
    c = capture([&] { return write_iso_file(m.fs(), "/TEN.BIN", three, -1); });
    EXPECT_FALSE(c.result);
    EXPECT_EQ(c.err, "Error while writing /TEN.BIN\n");
  }
  expect_image_holds(iso, files, joliet);
}

TEST_P(ImageFilesTest, ReplaceFileLeavesTheImageFileEqualToTheLocalFile) {
  struct Case {
    const char* what;
    size_t size;
    bool relocates;
  } cases[] = {
      {"same size", 5000, false},
      {"longer within the last sector", 6100, false},
      {"shorter", 1234, false},
      {"longer, relocated", 9000, true},
      {"empty", 0, false},
      {"over 32 MiB: three chunks", 40 * 1000 * 1000 + 17, true},
      {"shorter again after relocation", 20000, false},
  };
  std::string local = dir + "/local.bin";
  uint32_t seed = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes data = random_bytes(c.size, ++seed);
    write_file(local, data);
    size_t before = host_file_size(iso);
    Captured r = capture([&] { return replace_file(iso.c_str(), kTarget, local.c_str()); });
    ASSERT_TRUE(r.result) << r.err;
    EXPECT_EQ(r.out, std::string("File \"") + kTarget + "\" replaced.\n");
    EXPECT_EQ(r.err, "");
    size_t after = host_file_size(iso);
    if (c.relocates) {
      EXPECT_EQ(after, before + (c.size + 2047) / 2048 * 2048);
    } else {
      EXPECT_EQ(after, before);
    }
    files[kTarget] = data;
    expect_image_holds(iso, files, joliet);
  }
}

TEST_P(ImageFilesTest, ReplaceFileRefusalsLeaveTheImageAlone) {
  Bytes original = read_whole_file(iso);
  std::string local = dir + "/local.bin";
  write_file(local, random_bytes(9000, 5));
  Captured c = capture([&] { return replace_file(iso.c_str(), "/DATA/NONE.BIN", local.c_str()); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err, "\"/DATA/NONE.BIN\" was not found in the iso.\n");
  c = capture([&] { return replace_file(iso.c_str(), "/DATA", local.c_str()); });
  EXPECT_FALSE(c.result);
  std::string missing = dir + "/missing.bin";
  c = capture([&] { return replace_file(iso.c_str(), kTarget, missing.c_str()); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err, "Cannot open local file \"" + missing + "\"\n");
  EXPECT_TRUE(read_whole_file(iso) == original);

  std::string not_iso = dir + "/not.iso";
  write_file(not_iso, random_bytes(50000, 6));
  c = capture([&] { return replace_file(not_iso.c_str(), kTarget, local.c_str()); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err, "Mount failed.\n");
  c = capture([&] { return replace_file(missing.c_str(), kTarget, local.c_str()); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err.rfind("Error opening iso file: " + missing + "\n", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cli, ImageFilesTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Joliet" : "IsoOnly";
                         });

TEST(Cli, ReadFileAndCopyFileMoveHostFiles) {
  std::string dir = make_scratch_dir("host_files");
  std::string empty = dir + "/empty.bin", big = dir + "/big.bin";
  write_file(empty, Bytes());
  Bytes big_data = random_bytes(16 * 1024 * 1024 + 5, 7);  // two blocks
  write_file(big, big_data);

  int size = -1;
  unsigned char* data = read_file(empty.c_str(), &size);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(size, 0);
  free(data);
  Captured c = capture([&] { return read_file((dir + "/none").c_str(), &size) != nullptr; });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err, "Cannot open " + dir + "/none\n");

  c = capture([&] { return copy_file(empty.c_str(), (dir + "/empty_copy").c_str()); });
  EXPECT_TRUE(c.result);
  EXPECT_EQ(c.out, "Copying file... done.\n");
  EXPECT_TRUE(file_exists(dir + "/empty_copy"));
  EXPECT_TRUE(read_whole_file(dir + "/empty_copy").empty());

  write_file(dir + "/old_copy", random_bytes(50 * 1024 * 1024, 8));  // truncated by the copy
  c = capture([&] { return copy_file(big.c_str(), (dir + "/old_copy").c_str()); });
  EXPECT_TRUE(c.result);
  EXPECT_TRUE(read_whole_file(dir + "/old_copy") == big_data);
  data = read_file(big.c_str(), &size);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(Bytes(data, data + size) == big_data);
  free(data);

  c = capture([&] { return copy_file((dir + "/none").c_str(), (dir + "/x").c_str()); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err, "Cannot open " + dir + "/none\n");
  c = capture([&] { return copy_file(big.c_str(), (dir + "/no/such/dir/x").c_str()); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.err, "Cannot open/create " + dir + "/no/such/dir/x\n");
  run("rm -rf " + shell_quote(dir));
}

TEST(Cli, CopyFileAndOutputsRefuseTheSameHostFile) {
  std::string dir = make_scratch_dir("same_file");
  std::string source = dir + "/image.iso", other = dir + "/other.iso";
  Bytes data = random_bytes(100000, 9);
  write_file(source, data);
  write_file(other, Bytes());
  ASSERT_EQ(link(source.c_str(), (dir + "/hard.iso").c_str()), 0);
  ASSERT_EQ(symlink(source.c_str(), (dir + "/soft.iso").c_str()), 0);
  for (std::string same : {source, dir + "/./image.iso", dir + "/hard.iso", dir + "/soft.iso"}) {
    SCOPED_TRACE(same);
    Captured c = capture([&] { return copy_file(source.c_str(), same.c_str()); });
    EXPECT_FALSE(c.result);
    EXPECT_EQ(c.err, "Error: source and destination are the same file: " + same + "\n");
    EXPECT_EQ(c.out, "");
    c = capture([&] { return output_is_not_image(same.c_str(), source.c_str()); });
    EXPECT_FALSE(c.result);
    EXPECT_EQ(c.err, "Error: output file is the disc image itself: " + same + "\n");
  }
  EXPECT_TRUE(read_whole_file(source) == data);
  EXPECT_TRUE(output_is_not_image(other.c_str(), source.c_str()));
  EXPECT_TRUE(output_is_not_image((dir + "/new.bmp").c_str(), source.c_str()));
}
