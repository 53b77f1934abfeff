#include "files/image_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "files/host_files.h"
#include "files/mounted_image.h"
#include "files/replace_file.h"
#include "images/lzss_operations.h"
#include "iso/iso9660_filesystem.h"
#include "tests/support/iso_image.h"

using namespace testsupport;

namespace {

const char kTarget[] = "/DATA/TARGET.BIN";

FileMap image_sample() {
  return {{kTarget, random_bytes(5000, 21)},          {"/DATA/NEXT.BIN", random_bytes(7000, 22)},
          {"/DATA/SUB/DEEP.TXT", random_bytes(300, 23)}, {"/EMPTY.BIN", Bytes()},
          {"/TEN.BIN", random_bytes(10, 24)}};
}

// The bytes of an image file read through read_iso_file; {0xEE} when it fails.
Bytes iso_file(Iso9660Filesystem* fs, const char* path) {
  int size = -1;
  unsigned char* data = read_iso_file(fs, path, &size);
  Bytes bytes = data ? Bytes(data, data + size) : Bytes{0xEE};
  free(data);
  return bytes;
}

// Expects call to fail with exactly err on stderr.
void expect_refused(const std::function<bool()>& call, const std::string& err) {
  Captured c = run_captured(call);
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.err, err);
}

struct ImageFilesTest : IsoImageTest {
  FileMap sample_files() const override { return image_sample(); }
};

}  // namespace

TEST(Files, ReadOnlyMountNeverNeedsWriteAccess) {
  // Root may write any file: the check runs unprivileged in a child process.
  std::string dir = make_scratch_dir("read_only");
  std::string iso = build_iso(dir, image_sample(), true);
  ASSERT_EQ(chmod(iso.c_str(), 0444), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    MountedIso read_only, writable;
    bool read_ok = read_only.mount(iso.c_str(), true) && iso_file(read_only.fs(), kTarget).size() == 5000;
    _exit(read_ok && !writable.mount(iso.c_str(), false) ? 0 : 1);
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
    EXPECT_TRUE(iso_file(m.fs(), "/EMPTY.BIN").empty());
    EXPECT_TRUE(iso_file(m.fs(), "data/sub/deep.txt") == files["/DATA/SUB/DEEP.TXT"]);
    // 3 bytes into a 10-byte file change only those bytes; 5000 grow it
    // (relocated: it owned one sector).
    const unsigned char three[3] = {7, 8, 9};
    ASSERT_TRUE(write_iso_file(m.fs(), "/TEN.BIN", three, 3));
    std::copy(three, three + 3, files["/TEN.BIN"].begin());
    EXPECT_TRUE(iso_file(m.fs(), "/TEN.BIN") == files["/TEN.BIN"]);
    files["/TEN.BIN"] = random_bytes(5000, 30);
    ASSERT_TRUE(write_iso_file(m.fs(), "/TEN.BIN", files["/TEN.BIN"].data(), 5000));
    expect_refused([&] { return iso_file(m.fs(), "/NONE.BIN") != Bytes{0xEE}; }, "Cannot open /NONE.BIN\n");
    expect_refused([&] { return write_iso_file(m.fs(), "/DATA", three, 3); }, "Cannot open /DATA\n");
    expect_refused([&] { return write_iso_file(m.fs(), "/TEN.BIN", three, -1); }, "Error while writing /TEN.BIN\n");
    ASSERT_TRUE(m.finish());
  }
  expect_image_holds(iso, files, joliet);
}

TEST_P(ImageFilesTest, ReplaceFileLeavesTheImageFileEqualToTheLocalFile) {
  struct Case { const char* what; size_t size; bool relocates; } cases[] = {
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
    files[kTarget] = random_bytes(c.size, ++seed);
    write_file(local, files[kTarget]);
    size_t before = host_file_size(iso);
    Captured r = run_captured([&] { return replace_file(iso.c_str(), kTarget, local.c_str()); });
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.out, std::string("File \"") + kTarget + "\" replaced.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(host_file_size(iso), before + (c.relocates ? (c.size + 2047) / 2048 * 2048 : 0));
    expect_image_holds(iso, files, joliet);
  }
}

TEST_P(ImageFilesTest, ReplaceFileAndMountRefusalsLeaveTheImageAlone) {
  Bytes original = read_file_bytes(iso);
  std::string local = dir + "/local.bin", missing = dir + "/missing.bin", not_iso = dir + "/not.iso";
  write_file(local, random_bytes(9000, 5));
  write_file(not_iso, random_bytes(50000, 6));
  struct Refusal { std::string image, path, local, err; } refusals[] = {
      {iso, "/DATA/NONE.BIN", local, "\"/DATA/NONE.BIN\" was not found in the iso.\n"},
      {iso, "/DATA", local, "\"/DATA\" was not found in the iso.\n"},
      {iso, kTarget, missing, "Cannot open local file \"" + missing + "\"\n"},
      {not_iso, kTarget, local, "Mount failed.\n"},
      {missing, kTarget, local,
       "Error opening iso file: " + missing +
           "\nCheck that the file exists and is not in use by other program such as a Virtual CD "
           "emulator.\n"},
  };
  for (const Refusal& r : refusals) {
    expect_refused([&] { return replace_file(r.image.c_str(), r.path.c_str(), r.local.c_str()); }, r.err);
  }
  EXPECT_TRUE(read_file_bytes(iso) == original);
  IsoFileDisc* disc = nullptr;
  Iso9660Filesystem* fs = nullptr;
  EXPECT_FALSE(run_captured([&] { return mount_iso(&disc, &fs, not_iso.c_str(), true); }).ok);
  EXPECT_TRUE(disc == nullptr && fs == nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, ImageFilesTest, ::testing::Values(false, true), joliet_param_name);

TEST(Files, ReadFileAndCopyFileMoveHostFiles) {
  std::string dir = make_scratch_dir("host_files");
  std::string empty = dir + "/empty.bin", big = dir + "/big.bin", copy = dir + "/copy";
  write_file(empty, Bytes());
  write_file(big, random_bytes(16 * 1024 * 1024 + 5, 7));
  write_file(copy, random_bytes(20 * 1024 * 1024, 8));  // longer: truncated by the copy
  for (const std::string& source : {empty, big}) {
    Captured c = run_captured([&] { return copy_file(source.c_str(), copy.c_str()); });
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.out, "Copying file... done.\n");
    EXPECT_TRUE(read_file_bytes(copy) == read_file_bytes(source));
    int size = -1;
    unsigned char* data = read_file(source.c_str(), &size);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(Bytes(data, data + size) == read_file_bytes(source));
    free(data);
  }
  std::string none = dir + "/none", no_dir = dir + "/no/such/dir/x";
  int size = -1;
  expect_refused([&] { return read_file(none.c_str(), &size) != nullptr; }, "Cannot open " + none + "\n");
  expect_refused([&] { return copy_file(none.c_str(), copy.c_str()); }, "Cannot open " + none + "\n");
  expect_refused([&] { return copy_file(big.c_str(), no_dir.c_str()); }, "Cannot open/create " + no_dir + "\n");
  // A device the kernel does not copy into: the block loop reports the full disc.
  expect_refused([&] { return copy_file(big.c_str(), "/dev/full"); }, "Error writing to /dev/full\n");
  run("rm -rf " + shell_quote(dir));
}

TEST(Files, CopyFileAndOutputsRefuseTheSameHostFile) {
  std::string dir = make_scratch_dir("same_file");
  std::string source = dir + "/image.iso";
  Bytes data = random_bytes(100000, 9);
  write_file(source, data);
  ASSERT_EQ(link(source.c_str(), (dir + "/hard.iso").c_str()), 0);
  ASSERT_EQ(symlink(source.c_str(), (dir + "/soft.iso").c_str()), 0);
  for (std::string same : {source, dir + "/./image.iso", dir + "/hard.iso", dir + "/soft.iso"}) {
    Captured c = run_captured([&] { return copy_file(source.c_str(), same.c_str()); });
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.err, "Error: source and destination are the same file: " + same + "\n");
    EXPECT_EQ(c.out, "");
    expect_refused([&] { return output_is_not_image(same.c_str(), source.c_str()); },
                   "Error: output file is the disc image itself: " + same + "\n");
  }
  EXPECT_TRUE(read_file_bytes(source) == data);
  write_file(dir + "/other.iso", Bytes());
  EXPECT_TRUE(output_is_not_image((dir + "/other.iso").c_str(), source.c_str()));
  EXPECT_TRUE(output_is_not_image((dir + "/new.bmp").c_str(), source.c_str()));
}

TEST(Files, ReplaceFileKeepsEveryTreeOfImagesMasteredByOtherTools) {
  // Joliet names that the ISO 9660 tree shortens, in a directory it shortens too.
  const std::string kLong = "/DATA/a_long_file_name_here.bin", kInLongDir = "/long_folder_name/DEEP.TXT";
  const FileMap sample = {{kTarget, random_bytes(5000, 41)}, {kLong, random_bytes(3000, 42)},
                          {kInLongDir, random_bytes(300, 43)}, {"/EMPTY.BIN", Bytes()},
                          {"/BOOT.IMG", Bytes(2048, 0)}};
  const FileMap replacements = {{kTarget, random_bytes(9000, 44)}, {kLong, random_bytes(7000, 45)},
                                {kInLongDir, random_bytes(4100, 46)}};
  struct Mastering { std::string options; bool rock_ridge, udf; } masterings[] = {
      {"-J", false, false},
      {"-R -J", true, false},
      {"-J -b BOOT.IMG -no-emul-boot -c BOOT.CAT", false, false},
      {"-J -iso-level 4", false, false},
      {"-J -udf", false, true},
  };
  for (std::string tool : {"genisoimage", "xorriso -as mkisofs"}) {
    for (const Mastering& m : masterings) {
      if (m.udf && tool != "genisoimage") continue;  // the only one of the two that writes UDF
      SCOPED_TRACE(tool + " " + m.options);
      std::string dir = make_scratch_dir("mastered");
      std::string iso = build_iso(dir, sample, true, tool + " -quiet " + m.options);
      ASSERT_FALSE(iso.empty());
      std::vector<std::string> views = {"", "-J"};
      if (m.rock_ridge) views.push_back("-R");
      std::map<std::string, FileMap> expected;
      for (const std::string& view : views) expected[view] = isoinfo_files(iso, view);
      Bytes before = read_file_bytes(iso);
      for (const auto& r : replacements) {
        std::string local = dir + "/local.bin";
        write_file(local, r.second);
        Captured c = run_captured([&] { return replace_file(iso.c_str(), r.first.c_str(), local.c_str()); });
        if (m.udf) {
          EXPECT_FALSE(c.ok);
          EXPECT_EQ(c.err, "Error: " + iso + " also holds a UDF file system, which would keep describing "
                           "the old files: it can be read but not changed.\n");
          continue;
        }
        ASSERT_TRUE(c.ok) << c.err;
        EXPECT_EQ(c.err, "");
        // In every view, the file that held the old contents now holds the new.
        for (auto& view : expected) {
          for (auto& f : view.second) {
            if (f.second == sample.at(r.first)) f.second = r.second;
          }
        }
      }
      if (m.udf) {
        EXPECT_TRUE(read_file_bytes(iso) == before);
        MountedIso read_only;
        ASSERT_TRUE(read_only.mount(iso.c_str(), true));
        EXPECT_TRUE(iso_file(read_only.fs(), kLong.c_str()) == sample.at(kLong));
        continue;
      }
      for (const std::string& view : views) {
        SCOPED_TRACE("isoinfo " + view);
        EXPECT_EQ(isoinfo_files(iso, view), expected[view]);
      }
      expect_trees_in_step(iso);
      run("rm -rf " + shell_quote(dir));
    }
  }
}

TEST(Files, ReplaceFileReadsPipesAndRefusesTheImageItself) {
  std::string dir = make_scratch_dir("replace_self");
  FileMap files = image_sample();
  std::string iso = build_iso(dir, files, true);
  const Bytes original = read_file_bytes(iso);
  // Bounded, should the image be read into itself.
  ToolResult self = run_talvo({"replace_file", iso, kTarget, iso}, "ulimit -f 65536; trap '' XFSZ;");
  EXPECT_EQ(self.status, 1);
  EXPECT_EQ(self.err, "Error: the local file is the disc image itself: " + iso + "\n");
  EXPECT_TRUE(read_file_bytes(iso) == original);
  EXPECT_FALSE(file_exists(iso + "-journal"));
  std::string local = dir + "/local.bin";
  files[kTarget] = random_bytes(20000, 60);
  write_file(local, files[kTarget]);
  ToolResult piped = run_talvo({"replace_file", iso, kTarget, "/dev/stdin"}, "cat " + shell_quote(local) + " |");
  EXPECT_EQ(piped.status, 0) << piped.err;
  expect_image_holds(iso, files, true);
  run("rm -rf " + shell_quote(dir));
}

TEST(Files, RecordsReachingPastTheImageAreRefusedBeforeAnythingIsWritten) {
  std::string dir = make_scratch_dir("past_end");
  std::string iso = build_iso(dir, image_sample(), false);
  std::string local = dir + "/local.bin", input = dir + "/input.bin";
  write_file(local, random_bytes(5000, 61));
  write_file(input, random_bytes(3000, 62));
  for (uint32_t length : {0xFFFFFFF0u, 0x40000000u}) {
    SCOPED_TRACE(length);
    ASSERT_TRUE(set_record_length(iso, "TARGET.BIN;1", length));
    const Bytes damaged = read_file_bytes(iso);
    std::function<bool()> writers[] = {
        [&] { return replace_file(iso.c_str(), kTarget, local.c_str()); },
        [&] { return compress_lzss(iso.c_str(), kTarget, input.c_str()); },
    };
    for (const auto& write : writers) {
      Captured c = run_captured(write);
      EXPECT_FALSE(c.ok);
      EXPECT_NE(c.err.find("reaches past the end of the image"), std::string::npos) << c.err;
      EXPECT_TRUE(read_file_bytes(iso) == damaged);
    }
  }
  run("rm -rf " + shell_quote(dir));
}
