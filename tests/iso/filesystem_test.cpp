#include "iso/filesystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "iso/iso9660_filesystem.h"
#include "tests/support/iso_image.h"

using namespace testsupport;

TEST(Iso, NormalizePathMakesOneAbsoluteSpellingWhenItFits) {
  struct Case {
    const char* in;
    unsigned room;
    const char* out;  // null: does not fit
  } cases[] = {
      {"SCNBIN\\DAY_A0.SCN", 64, "/SCNBIN/DAY_A0.SCN"},
      {"a//\\b///", 64, "/a/b"},
      {"/A/B/", 64, "//A/B"},  // the leading '/' is not merged with the input's
      {"", 64, "/"},
      {"\\\\", 64, "/"},
      {"./x/../y", 64, "/./x/../y"},
      {"SCNBIN\\DAY_A0.SCN", 19, "/SCNBIN/DAY_A0.SCN"},
      {"SCNBIN\\DAY_A0.SCN", 18, nullptr},
      {"", 1, nullptr},
      {"", 0, nullptr},
      {"ab/", 4, nullptr},  // the trailing separator needs its room while it is copied
      {"ab/", 5, "/ab"},
  };
  for (const Case& c : cases) {
    char out[64];
    EXPECT_EQ(Filesystem::NormalizePath(c.in, out, c.room), c.out != nullptr) << c.in << c.room;
    if (c.out) {
      EXPECT_STREQ(out, c.out) << c.in;
    }
  }
}

TEST(Iso, MountRefusesBusyReadOnlyAndNonIsoDiscs) {
  std::string dir = make_scratch_dir("mount_rules");
  std::string iso = build_iso(dir, {{"/A.BIN", Bytes(5, 1)}}, false);
  write_file(dir + "/blank.bin", Bytes(20 * 2048));
  write_file(dir + "/tiny.bin", Bytes(16 * 2048));
  struct SizedDisc : IsoFileDisc {
    explicit SizedDisc(uint32_t size) : IsoFileDisc(true), size(size) {}
    uint32_t GetSectorSize() override { return size; }
    uint32_t size;
  };
  struct Case {
    std::string file;
    uint32_t sector_size;
    bool read_only;
    int error;
  } cases[] = {{iso, 2048, false, EPERM},  // a writable mount of a read-only disc
               {iso, 512, true, EPERM},
               {dir + "/blank.bin", 2048, true, EPERM},
               {dir + "/tiny.bin", 2048, true, EIO}};
  for (const Case& c : cases) {
    SizedDisc disc(c.sector_size);
    ASSERT_EQ(disc.OpenDiscFile(c.file.c_str()), 0);
    Iso9660Filesystem fs;
    EXPECT_EQ(fs.Mount(&disc, c.read_only), -1);
    EXPECT_EQ(errno, c.error) << c.file << " " << c.sector_size;
    // Nothing stays mounted after a failed mount.
    EXPECT_EQ(fs.Umount(false), -1);
    EXPECT_EQ(fs.Open("/A.BIN", kOpenRead), -1);
    EXPECT_EQ(errno, ENOENT);
    if (c.sector_size == 2048 && !c.read_only) {
      ASSERT_EQ(fs.Mount(&disc, true), 0);
      EXPECT_EQ(fs.Mount(&disc, true), -1);
      EXPECT_EQ(errno, EBUSY);
    }
  }
  run("rm -rf " + shell_quote(dir));
}
