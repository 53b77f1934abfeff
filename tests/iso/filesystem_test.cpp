#include "iso/filesystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "iso/iso9660_filesystem.h"
#include "tests/iso/memory_disc.h"

TEST(Iso, NormalizePathMakesOneAbsoluteSpelling) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"SCNBIN\\DAY_A0.SCN", "/SCNBIN/DAY_A0.SCN"},
      {"a//\\b///", "/a/b"},
      {"A\\B", "/A/B"},
      {"/A/B/", "//A/B"},  // the leading '/' is not merged with the input's
      {"", "/"},
      {"/", "/"},
      {"\\\\", "/"},
      {"./x/../y", "/./x/../y"},
  };
  for (const Case& c : cases) {
    char out[64];
    ASSERT_TRUE(Filesystem::NormalizePath(c.in, out, sizeof out)) << c.in;
    EXPECT_STREQ(out, c.out) << c.in;
  }
}

TEST(Iso, NormalizePathNeedsRoomForTheResultAndItsZero) {
  char out[32];
  EXPECT_TRUE(Filesystem::NormalizePath("SCNBIN\\DAY_A0.SCN", out, 19));
  EXPECT_FALSE(Filesystem::NormalizePath("SCNBIN\\DAY_A0.SCN", out, 18));
  EXPECT_FALSE(Filesystem::NormalizePath("", out, 0));
  EXPECT_FALSE(Filesystem::NormalizePath("", out, 1));
  EXPECT_TRUE(Filesystem::NormalizePath("", out, 2));
  // A trailing separator still needs its room while it is being copied.
  EXPECT_FALSE(Filesystem::NormalizePath("ab/", out, 4));
  EXPECT_TRUE(Filesystem::NormalizePath("ab/", out, 5));
  EXPECT_STREQ(out, "/ab");
}

TEST(Iso, ExtractNextPathComponentWalksComponents) {
  char out[256];
  unsigned pos = 0;
  bool last = true;
  ASSERT_TRUE(Filesystem::ExtractNextPathComponent("//A/BC", out, sizeof out, &pos, &last));
  EXPECT_STREQ(out, "A");
  EXPECT_FALSE(last);
  EXPECT_EQ(pos, 3u);
  ASSERT_TRUE(Filesystem::ExtractNextPathComponent("//A/BC", out, sizeof out, &pos, &last));
  EXPECT_STREQ(out, "BC");
  EXPECT_TRUE(last);
  EXPECT_EQ(pos, 6u);
  EXPECT_FALSE(Filesystem::ExtractNextPathComponent("//A/BC", out, sizeof out, &pos, &last));
  EXPECT_EQ(pos, 6u);

  pos = 0;
  ASSERT_TRUE(Filesystem::ExtractNextPathComponent("/A/", out, sizeof out, &pos, &last));
  EXPECT_FALSE(last);  // a trailing separator: not marked last
  EXPECT_FALSE(Filesystem::ExtractNextPathComponent("/A/", out, sizeof out, &pos, nullptr));

  for (size_t length : {255u, 256u}) {
    std::string path = "/" + std::string(length, 'x');
    pos = 0;
    last = false;
    bool ok = Filesystem::ExtractNextPathComponent(path.c_str(), out, 256, &pos, &last);
    EXPECT_EQ(ok, length == 255) << length;
    EXPECT_EQ(pos, ok ? length + 1 : 0u);
    EXPECT_EQ(last, ok);
  }
  pos = 0;
  EXPECT_FALSE(Filesystem::ExtractNextPathComponent("/A", out, 0, &pos, nullptr));
}

TEST(Iso, MountRulesOfTheBaseFilesystem) {
  // Too small to hold a volume descriptor: the ISO mount fails after the base
  // rules have run, so the rules themselves are checked on the base class.
  struct Bare : Filesystem {
    int Open(const char*, int) override { return -1; }
    int Close(int) override { return -1; }
    long long Seek(int, long long, int) override { return -1; }
    long long Read(int, void*, long long) override { return -1; }
    long long Write(int, const void*, long long) override { return -1; }
    int OpenDir(const char*) override { return -1; }
    int CloseDir(int) override { return -1; }
    DirEntry* ReadDir(int) override { return nullptr; }
    int Stat(const char*, struct stat*) override { return -1; }
    int Fstat(int, struct stat*) override { return -1; }
    int Rename(const char*, const char*) override { return -1; }
    int Truncate(const char*, unsigned long long) override { return -1; }
    int Ftruncate(int, unsigned long long) override { return -1; }
  } fs;
  MemoryDisc read_only_disc(std::vector<unsigned char>(2048), true);
  errno = 0;
  EXPECT_EQ(fs.Umount(false), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(fs.Mount(&read_only_disc, false), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(fs.Mount(&read_only_disc, true), 0);
  EXPECT_EQ(fs.Mount(&read_only_disc, true), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(fs.Umount(false), 0);
}

TEST(Iso, IsoMountRefusesOtherSectorSizesAndNonIsoData) {
  std::vector<unsigned char> image(20 * 2048);
  Iso9660Filesystem fs;
  MemoryDisc odd(image, true, 512);
  EXPECT_EQ(fs.Mount(&odd, true), -1);
  EXPECT_EQ(errno, EPERM);
  MemoryDisc blank(image, true);
  EXPECT_EQ(fs.Mount(&blank, true), -1);
  EXPECT_EQ(errno, EPERM);
  MemoryDisc tiny(std::vector<unsigned char>(16 * 2048), true);
  EXPECT_EQ(fs.Mount(&tiny, true), -1);
  EXPECT_EQ(errno, EIO);
  // Nothing stays mounted after a failed mount.
  EXPECT_EQ(fs.Umount(false), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(fs.Open("/X", 0), -1);
  EXPECT_EQ(errno, ENOENT);
}
