#include "iso/iso9660_filesystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "tests/support/iso_image.h"

using namespace testsupport;

namespace {

const char kSmall[] = "/DATA/SMALL.BIN", kTiny[] = "/DATA/TINY.TXT";

// One image mounted for a scope; the filesystem goes before the disc.
struct Mount {
  explicit Mount(const std::string& iso, bool read_only = false) : disc(read_only) {
    opened = disc.OpenDiscFile(iso.c_str()) == 0 && fs.Mount(&disc, read_only) == 0;
  }
  IsoFileDisc disc;
  Iso9660Filesystem fs;
  bool opened = false;
};

// A file's bytes (up to 64 KiB) read through fs; {0xEE} when it cannot be read.
Bytes read_all(Iso9660Filesystem* fs, const char* path) {
  int fd = fs->Open(path, kOpenRead);
  Bytes data(65536);
  long long n = fs->Read(fd, data.data(), 65536);
  fs->Close(fd);
  return n < 0 ? Bytes{0xEE} : Bytes(data.begin(), data.begin() + n);
}

uint32_t extent_of(const std::string& iso, const std::string& path) {
  IsoContents c = read_iso_contents(iso);
  return c.iso_tree.count(path) ? c.iso_tree[path].extent : 0;
}

// Expects a failed call (-1 or null) with errno e.
#define EXPECT_FAILS(call, e) \
  do { errno = 0; EXPECT_TRUE((call) == -1) << #call; EXPECT_EQ(errno, e) << #call; } while (0)

struct ImageTest : IsoImageTest {
  FileMap sample_files() const override {
    return {{kSmall, random_bytes(5000, 1)}, {kTiny, random_bytes(10, 2)},
            {"/DATA/EMPTY.BIN", Bytes()},    {"/DATA/SUB/DEEP.BIN", random_bytes(3000, 3)},
            {"/ABCDEFGH.BIN", random_bytes(100, 5)}};
  }
};

}  // namespace

// Names match case-blind, with or without the ";1" version, "." and ".." by their one-byte ids.
TEST(Iso, CompareNameMatchesIdentifiersOfBothTrees) {
  auto ucs2 = [](const std::string& s) {
    std::string out;
    for (char c : s) out += std::string{'\0', c};
    return out;
  };
  struct Case { bool joliet; const char* name; std::string identifier; bool match; } cases[] = {
      {false, "day_a0.scn", "DAY_A0.SCN;1", true},     {false, "day_a0.scn", "DAY_A0.SCN", true},
      {false, "day_a0.scn", "DAY_A0.SCN;2", false},    {false, "day_a0.sc", "DAY_A0.SCN", false},
      {false, ".", std::string(1, '\0'), true},        {false, "..", std::string(1, '\1'), true},
      {false, ".", std::string(1, '\1'), false},       {true, "DAY_A0.SCN", ucs2("day_a0.scn;1"), true},
      {true, "DAY_A0.SCN", ucs2("day_a0.scn").substr(1), false},  // odd length
      {true, "A", std::string("\x01" "A", 2), false},              // a non-ASCII character
  };
  for (const Case& c : cases) {
    unsigned n = static_cast<unsigned>(c.identifier.size());
    EXPECT_EQ(Iso9660Filesystem::CompareName(c.joliet, c.name, c.identifier.data(), n), c.match) << c.name;
  }
}

// Mounts, reads, listings and descriptors of a read-only mount; misuse of each is refused.
TEST_P(ImageTest, ReadsListsAndRefusesWhatIsNotAFileOrPastTheDescriptors) {
  Mount m(iso, true);
  ASSERT_TRUE(m.opened);
  Iso9660Filesystem* fs = &m.fs;
  Iso9660Filesystem other;
  EXPECT_FAILS(fs->Mount(&m.disc, true), EBUSY);
  EXPECT_FAILS(other.Mount(&m.disc, false), EPERM);  // a writable mount of a read-only disc
  for (const auto& f : files) EXPECT_TRUE(read_all(fs, f.first.c_str()) == f.second) << f.first;
  int fd = fs->Open(kTiny, kOpenRead);
  unsigned char buffer[16];
  EXPECT_FAILS(fs->Seek(fd, -1, 1), EINVAL);
  EXPECT_EQ(fs->Read(fd, buffer, 16), 10);  // the failed seek moved nothing
  EXPECT_FAILS(fs->Write(fd, buffer, 1), EPERM);
  EXPECT_EQ(fs->Close(fd), 0);
  for (int bad : {fd, 600, -1}) EXPECT_FAILS(fs->Close(bad), EBADF);
  EXPECT_FAILS(fs->Open("/DATA", kOpenRead), ENOENT);
  EXPECT_FAILS(fs->Open(kSmall, kOpenReadWrite), EROFS);
  struct stat st;
  ASSERT_TRUE(fs->Stat(kSmall, &st) == 0 && S_ISREG(st.st_mode));
  EXPECT_TRUE(st.st_size == 5000 && st.st_ino == extent_of(iso, kSmall));

  int dir = fs->OpenDir("/DATA");
  std::map<std::string, int> seen;
  while (DirEntry* e = fs->ReadDir(dir)) seen[e->name] = e->type;
  EXPECT_EQ(seen, (std::map<std::string, int>{{".", 1}, {"..", 1}, {"SUB", 1}, {"SMALL.BIN", 2},
                                              {"TINY.TXT", 2}, {"EMPTY.BIN", 2}}));
  EXPECT_EQ(fs->CloseDir(dir), 0);
  dir = fs->OpenDir(kSmall);  // a file opens, but lists nothing
  EXPECT_FAILS(fs->ReadDir(dir) ? 0 : -1, EPERM);
  EXPECT_EQ(fs->CloseDir(dir), 0);

  // 512 descriptors; the lowest free number is reused.
  for (int i = 0; i < 512; ++i) ASSERT_EQ(i % 2 ? fs->Open(kTiny, 0) : fs->OpenDir("/DATA"), i);
  EXPECT_FAILS(fs->Open(kTiny, 0), EMFILE);
  EXPECT_TRUE(fs->ValidDescriptor(511) && !fs->ValidDescriptor(512));
  ASSERT_TRUE(fs->Close(300) == 0 && fs->Close(37) == 0);
  EXPECT_EQ(fs->OpenDir("/DATA"), 37);
}

// Every file below directory, walked one pass a directory: (extent, length) by path.
void list_by_runs(Iso9660Filesystem* fs, const Iso9660DirectoryRecord* directory, const std::string& path,
                  std::map<std::string, std::pair<uint32_t, uint32_t>>* out) {
  Iso9660Filesystem::DirectoryRun run;
  ASSERT_TRUE(fs->StartDirectoryRun(directory, &run)) << path;
  bool damaged = false;
  char name[259];
  while (const Iso9660DirectoryRecord* r = fs->NextInRun(&run, &damaged)) {
    fs->RecordName(r, name);
    if (!r->IsDirectory()) (*out)[path + name] = {r->Extent(), r->DataLength()};
    else if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0) list_by_runs(fs, r, path + name + "/", out);
  }
  EXPECT_FALSE(damaged) << path;
}

// A directory of more sectors than one run of reads, listed entry by entry and walked
// in one pass, against what pycdlib reads.
TEST_P(ImageTest, ListingsOfALargeDirectoryMatchWhatPycdlibReads) {
  FileMap many;
  for (int i = 0; i < 1500; ++i) many["/MANY/F" + std::to_string(1000 + i) + ".BIN"] = Bytes(i % 7, 1);
  many["/MANY/SUB/DEEP.BIN"] = random_bytes(3000, 3);
  std::string many_iso = build_iso(make_scratch_dir("walk"), many, joliet);
  Mount m(many_iso, true);
  ASSERT_TRUE(m.opened);
  int dir = m.fs.OpenDir("/MANY");
  std::set<std::string> names;
  while (DirEntry* e = m.fs.ReadDir(dir)) names.insert(e->name);
  EXPECT_TRUE(names.size() == 1503u && names.count("F2499.BIN"));  // with ".", ".." and SUB
  std::map<std::string, std::pair<uint32_t, uint32_t>> ours, theirs;
  list_by_runs(&m.fs, m.fs.RootRecord(), "/", &ours);
  IsoContents c = read_iso_contents(many_iso);
  for (const auto& f : joliet ? c.joliet_tree : c.iso_tree) {
    theirs[f.first] = {f.second.extent, f.second.length};
  }
  EXPECT_EQ(ours.size(), 1501u);
  EXPECT_TRUE(ours == theirs);
}

// Growth inside the sectors a file owns stays in place; past them the file moves whole
// to the end of the image and its old sectors are left untouched. Cut and regrown files
// show zeros, not the old bytes; sizes past 4 GiB are refused.
TEST_P(ImageTest, WritesAndTruncationGrowInPlaceOrRelocate) {
  const char kAbc[] = "/ABCDEFGH.BIN";
  uint32_t small_extent = extent_of(iso, kSmall), tiny_extent = extent_of(iso, kTiny);
  Bytes patch = random_bytes(2600, 9), &small = files[kSmall];
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    int fd = m.fs.Open(kSmall, kOpenReadWrite);
    ASSERT_EQ(m.fs.Seek(fd, 4000, 0), 4000);
    ASSERT_EQ(m.fs.Write(fd, patch.data(), 2000), 2000);  // up to 6000: inside its 3 sectors
    small.resize(6000);
    std::copy(patch.begin(), patch.begin() + 2000, small.begin() + 4000);
    struct stat st;
    ASSERT_EQ(m.fs.Fstat(fd, &st), 0);
    EXPECT_TRUE(st.st_ino == small_extent && st.st_size == 6000);
    ASSERT_EQ(m.fs.Truncate(kAbc, 10), 0);
    ASSERT_EQ(m.fs.Truncate(kAbc, 2000), 0);  // inside its one sector
    files[kAbc].resize(10);
    files[kAbc].resize(2000, 0);
    fd = m.fs.Open(kTiny, kOpenReadWrite);
    ASSERT_EQ(m.fs.Ftruncate(fd, 4097), 0);  // past its sector: relocated
    files[kTiny].resize(4097, 0);
    ASSERT_EQ(m.fs.Fstat(fd, &st), 0);
    EXPECT_TRUE(st.st_size == 4097 && st.st_ino != tiny_extent);
    EXPECT_FAILS(m.fs.Ftruncate(fd, 0x100000000ull), EFBIG);
    ASSERT_EQ(m.fs.Seek(fd, 0xFFFFFFFFll, 0), 0xFFFFFFFFll);
    EXPECT_FAILS(m.fs.Write(fd, patch.data(), 1), EFBIG);
    EXPECT_FAILS(m.fs.Truncate("/DATA", 0), ENOENT);
    ASSERT_EQ(m.fs.Umount(false), 0);
  }
  expect_image_holds(iso, files, joliet);
  Bytes before = read_file_bytes(iso);
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    int fd = m.fs.Open(kSmall, kOpenWrite);
    ASSERT_EQ(m.fs.Seek(fd, 6000, 0), 6000);
    ASSERT_EQ(m.fs.Write(fd, patch.data(), 2600), 2600);
    small.insert(small.end(), patch.begin(), patch.end());
    EXPECT_FAILS(m.fs.Read(fd, patch.data(), 1), EPERM);
    ASSERT_EQ(m.fs.Umount(false), 0);
  }
  Bytes after = read_file_bytes(iso);
  EXPECT_EQ(after.size(), before.size() + 5 * 2048);  // ceil(8600 / 2048)
  EXPECT_EQ(extent_of(iso, kSmall), before.size() / 2048);
  EXPECT_TRUE(std::equal(before.begin() + small_extent * 2048,
                         before.begin() + (small_extent + 3) * 2048, after.begin() + small_extent * 2048));
  expect_image_holds(iso, files, joliet);
}

INSTANTIATE_TEST_SUITE_P(Iso, ImageTest, ::testing::Values(false, true), joliet_param_name);
