#include "files/image_files.h"

#include <gtest/gtest.h>
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
  return {{kTarget, random_bytes(5000, 21)}, {"/DATA/NEXT.BIN", random_bytes(7000, 22)},
          {"/EMPTY.BIN", Bytes()}, {"/TEN.BIN", random_bytes(10, 24)}};
}

// The bytes of an image file read through read_iso_file; {0xEE} when it fails.
Bytes iso_file(Iso9660Filesystem* fs, const char* path) {
  int size = -1;
  unsigned char* data = read_iso_file(fs, path, &size);
  Bytes bytes = data ? Bytes(data, data + size) : Bytes{0xEE};
  free(data);
  return bytes;
}

// Expects call to fail with err on stderr (when given: as the start of what it printed).
void expect_refused(const std::function<bool()>& call, const std::string& err) {
  Captured c = run_captured(call);
  EXPECT_TRUE(!c.ok && c.err.substr(0, err.size()) == err) << c.err;
}

struct ImageFilesTest : IsoImageTest {
  FileMap sample_files() const override { return image_sample(); }
};

}  // namespace

// Whole image files read and written back in place, or relocated (silently unless asked
// to tell); replace_file leaves the image file equal to the local one: shorter, empty, or
// relocated over several chunks.
TEST_P(ImageFilesTest, ReadWriteAndReplaceWholeImageFiles) {
  {
    MountedIso m;
    ASSERT_TRUE(m.mount(iso.c_str(), false));
    Iso9660Filesystem* fs = m.fs();
    EXPECT_TRUE(iso_file(fs, "/EMPTY.BIN").empty());
    const unsigned char three[3] = {7, 8, 9};
    ASSERT_TRUE(write_iso_file(fs, "/TEN.BIN", three, 3));  // only those bytes change
    std::copy(three, three + 3, files["/TEN.BIN"].begin());
    EXPECT_TRUE(iso_file(fs, "/TEN.BIN") == files["/TEN.BIN"]);
    Bytes& ten = files["/TEN.BIN"] = random_bytes(5000, 30);
    IsoDescriptor fd(fs, fs->Open("/TEN.BIN", kOpenReadWrite));
    Captured grown = run_captured([&] {
      return write_back_iso_file(fs, fd.get(), "/TEN.BIN", 10, ten.data(), 5000, false) == WriteBack::kDone;
    });
    EXPECT_TRUE(grown.ok && grown.out.empty()) << grown.out;
    fd.close();
    expect_refused([&] { return write_iso_file(fs, "/TEN.BIN", three, -1); }, "Error while writing");
    ASSERT_TRUE(m.finish());
  }
  std::string local = dir + "/local.bin";
  for (size_t size : {size_t{1234}, size_t{0}, 2 * kCopyChunkSize + 17}) {
    files[kTarget] = random_bytes(size, static_cast<uint32_t>(size));
    write_file(local, files[kTarget]);
    size_t before = host_file_size(iso);
    EXPECT_TRUE(run_captured([&] { return replace_file(iso.c_str(), kTarget, local.c_str()); }).ok) << size;
    EXPECT_EQ(host_file_size(iso), before + (size > 5000 ? (size + 2047) / 2048 * 2048 : 0));
  }
  expect_image_holds(iso, files, joliet);
}

// Every refusal of replace_file leaves the image byte-identical.
TEST_P(ImageFilesTest, RefusalsLeaveTheImageAlone) {
  const Bytes original = read_file_bytes(iso);
  std::string local = dir + "/local.bin", not_iso = dir + "/not.iso";
  write_file(local, random_bytes(9000, 5));
  write_file(not_iso, random_bytes(50000, 6));
  struct Refusal { std::string image, path, local, err; } refusals[] = {
      {iso, "/DATA", local, "\"/DATA\" was not found in the iso.\n"},
      {iso, kTarget, dir, "Error while reading " + dir + "\n"},  // opens, but reads fail
      {not_iso, kTarget, local, "Mount failed.\n"},
  };
  for (const Refusal& r : refusals) {
    expect_refused([&] { return replace_file(r.image.c_str(), r.path.c_str(), r.local.c_str()); }, r.err);
  }
  // The image read into itself would grow without end: bounded, should that happen.
  ToolResult self = run_talvo({"replace_file", iso, kTarget, iso}, "ulimit -f 65536; trap '' XFSZ;");
  EXPECT_EQ(self.status, 1);
  EXPECT_EQ(self.err, "Error: the local file is the disc image itself: " + iso + "\n");
  EXPECT_FALSE(file_exists(iso + "-journal"));
  EXPECT_TRUE(read_file_bytes(iso) == original);
}

INSTANTIATE_TEST_SUITE_P(Files, ImageFilesTest, ::testing::Values(false, true), joliet_param_name);

// Host files copied whole over longer ones, and never onto themselves under another name.
TEST(Files, HostFilesAreCopiedWholeAndNeverOntoThemselves) {
  std::string dir = make_scratch_dir("copy");
  std::string big = dir + "/big.bin", copy = dir + "/copy", same = dir + "/same";
  write_file(big, random_bytes(3 * kCopyChunkSize + 5, 7));
  write_file(copy, random_bytes(4 * kCopyChunkSize, 8));
  const Bytes data = read_file_bytes(big);
  EXPECT_TRUE(run_captured([&] { return copy_file(big.c_str(), copy.c_str()); }).ok);
  EXPECT_TRUE(read_file_bytes(copy) == data);
  expect_refused([&] { return copy_file(big.c_str(), "/dev/full"); }, "Error writing to /dev/full\n");
  ASSERT_EQ(link(big.c_str(), same.c_str()), 0);
  expect_refused([&] { return copy_file(big.c_str(), same.c_str()); }, "Error: source and destination");
  EXPECT_TRUE(read_file_bytes(big) == data);
}

// Images with an ISO 9660:1999 tree keep every tree in step (isoinfo reads the new bytes);
// one that also holds UDF is refused untouched.
TEST(Files, ReplaceFileKeepsEveryTreeOfImagesMasteredByOtherTools) {
  const std::string kLong = "/DATA/a_long_file_name_here.bin";  // a Joliet name the ISO tree shortens
  const FileMap sample = {{kTarget, random_bytes(5000, 41)}, {kLong, random_bytes(3000, 42)}};
  const FileMap replacements = {{kTarget, random_bytes(9000, 44)}, {kLong, random_bytes(7000, 45)}};
  for (std::string options : {"-iso-level 4", "-udf"}) {
    const bool udf = options == "-udf";
    std::string dir = make_scratch_dir("mastered"), local = dir + "/local.bin";
    std::string iso = build_iso(dir, sample, true, "genisoimage -J -quiet " + options);
    const Bytes before = read_file_bytes(iso);
    for (const auto& r : replacements) {
      write_file(local, r.second);
      Captured c = run_captured([&] { return replace_file(iso.c_str(), r.first.c_str(), local.c_str()); });
      EXPECT_EQ(c.ok, !udf) << c.err;
    }
    if (udf) {
      EXPECT_TRUE(read_file_bytes(iso) == before);
      continue;
    }
    for (const auto& r : replacements) {  // and every other tree describes the same records
      Bytes read_back;
      EXPECT_TRUE(isoinfo_extract(iso, r.first, &read_back, true) && read_back == r.second) << r.first;
    }
    expect_trees_in_step(iso);
  }
}

// A record reaching past the image's end (its length wrapping 32 bits with its extent) is
// refused before any writer touches the image.
TEST(Files, RecordsReachingPastTheImageAreRefusedBeforeAnythingIsWritten) {
  std::string dir = make_scratch_dir("past_end"), local = dir + "/local.bin";
  std::string iso = build_iso(dir, image_sample(), false);
  write_file(local, random_bytes(3000, 61));
  ASSERT_TRUE(set_record_length(iso, "TARGET.BIN;1", 0xFFFFFFF0u));
  const Bytes damaged = read_file_bytes(iso);
  for (bool lzss : {false, true}) {
    Captured c = run_captured([&] {
      return (lzss ? compress_lzss : replace_file)(iso.c_str(), kTarget, local.c_str());
    });
    EXPECT_NE(c.err.find("reaches past the end of the image"), std::string::npos) << c.err;
    EXPECT_TRUE(!c.ok && read_file_bytes(iso) == damaged);
  }
}
