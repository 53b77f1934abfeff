#include "iso/iso9660_filesystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <vector>

#include "tests/support/iso_image.h"
#include "tests/support/capture.h"

using namespace testsupport;

namespace {

const char kSmall[] = "/DATA/SMALL.BIN";
const char kTiny[] = "/DATA/TINY.TXT";

// A disc that remembers which sectors were written through it.
struct RecordingDisc : IsoFileDisc {
  explicit RecordingDisc(bool read_only) : IsoFileDisc(read_only) {}
  int WriteBytes(uint64_t offset, const void* buffer, uint64_t length) override {
    for (uint64_t s = offset / 2048; s * 2048 < offset + length; ++s) written.insert(s);
    return IsoFileDisc::WriteBytes(offset, buffer, length);
  }
  std::set<uint64_t> written;
};

// One image mounted for a scope; the filesystem goes before the disc.
struct Mount {
  explicit Mount(const std::string& iso, bool read_only = false) : disc(read_only) {
    opened = disc.OpenDiscFile(iso.c_str()) == 0 && fs.Mount(&disc, read_only) == 0;
  }
  RecordingDisc disc;
  Iso9660Filesystem fs;
  bool opened = false;
};

Bytes read_all(Iso9660Filesystem* fs, const char* path) {
  int fd = fs->Open(path, kOpenRead);
  long long length = fs->Seek(fd, 0, 2);
  if (fd < 0 || fs->Seek(fd, 0, 0) != 0) return Bytes{0xEE};
  Bytes data(static_cast<size_t>(length));
  long long n = fs->Read(fd, data.data(), length);
  fs->Close(fd);
  return n == length ? data : Bytes{0xEE};
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

TEST(Iso, CompareNameMatchesIdentifiersOfBothTrees) {
  auto ucs2 = [](const std::string& s) {
    std::string out;
    for (char c : s) out += std::string{'\0', c};
    return out;
  };
  struct Case { bool joliet; const char* name; std::string identifier; bool match; } cases[] = {
      {false, "day_a0.scn", "DAY_A0.SCN;1", true},
      {false, "day_a0.scn", "DAY_A0.SCN", true},
      {false, "day_a0.scn", "DAY_A0.SCN;2", false},
      {false, "day_a0.sc", "DAY_A0.SCN", false},
      {false, ".", std::string(1, '\0'), true},
      {false, "..", std::string(1, '\1'), true},
      {false, ".", std::string(1, '\1'), false},
      {false, "\xe9t\xe9", "\xe9T\xe9;1", true},  // high bytes compared as they are
      {true, "DAY_A0.SCN", ucs2("day_a0.scn;1"), true},
      {true, "DAY_A0.SCN", ucs2("day_a0.scn;2"), false},
      {true, "DAY_A0.SCN", ucs2("day_a0.scn").substr(1), false},  // odd length
      {true, "A", std::string("\x01" "A", 2), false},              // a non-ASCII character
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Iso9660Filesystem::CompareName(c.joliet, c.name, c.identifier.data(),
                                             static_cast<unsigned>(c.identifier.size())),
              c.match)
        << c.name << (c.joliet ? " joliet" : " iso");
  }
  Output o;
  EXPECT_FALSE(captured(&o, [&] { return Iso9660Filesystem::CompareName(true, "\xe9", ucs2("\xe9").data(), 2); }));
  EXPECT_EQ(o.err,
            "Error: no support for non-ansi characters atm.\n, character giving error: 0xe9\n");
}

TEST_P(ImageTest, ReadsSeeksListsAndRefusesWhatIsNotAFile) {
  Mount m(iso, true);
  ASSERT_TRUE(m.opened);
  Iso9660Filesystem* fs = &m.fs;
  EXPECT_EQ(fs->HasJoliet(), joliet);
  for (const auto& f : files) EXPECT_TRUE(read_all(fs, f.first.c_str()) == f.second) << f.first;
  EXPECT_TRUE(read_all(fs, "data\\small.bin") == files[kSmall]);

  int fd = fs->Open(kTiny, kOpenRead);
  unsigned char buffer[16];
  EXPECT_EQ(fs->Read(fd, buffer, 16), 10);
  EXPECT_EQ(fs->Read(fd, buffer, 16), 0);
  EXPECT_EQ(fs->Seek(fd, 100, 0), 100);  // past the end is allowed, and reads nothing
  EXPECT_EQ(fs->Read(fd, buffer, 16), 0);
  EXPECT_FAILS(fs->Seek(fd, -101, 1), EINVAL);
  EXPECT_FAILS(fs->Seek(fd, LLONG_MAX, 1), EINVAL);  // would overflow
  EXPECT_FAILS(fs->Seek(fd, 3, 7), EINVAL);
  EXPECT_EQ(fs->Seek(fd, 0, 1), 100);  // failed seeks moved nothing
  EXPECT_FAILS(fs->Read(fd, buffer, -1), EINVAL);
  EXPECT_FAILS(fs->Write(fd, buffer, 1), EPERM);
  EXPECT_FAILS(fs->Ftruncate(fd, 1), EPERM);
  struct stat st;
  ASSERT_EQ(fs->Fstat(fd, &st), 0);
  EXPECT_EQ(st.st_size, 10);
  EXPECT_EQ(fs->Close(fd), 0);
  for (int bad : {fd, 600, -1, 7}) EXPECT_FAILS(fs->Close(bad), EBADF);

  std::string long_name = "/DATA/" + std::string(256, 'S');  // a component longer than 255
  for (const char* path : {"/", "/DATA", "/DATA/SUB/", "/DATA/SMALL.BIN/X", "/NOPE.BIN",
                           "/DATA/SMALL.BIN;2", long_name.c_str()}) {
    EXPECT_FAILS(fs->Open(path, kOpenRead), ENOENT);
  }
  EXPECT_FAILS(fs->Open(kSmall, 3), EINVAL);
  EXPECT_FAILS(fs->Open(nullptr, kOpenRead), EINVAL);
  EXPECT_FAILS(fs->Open(kSmall, kOpenReadWrite), EROFS);
  EXPECT_EQ(fs->Truncate(kSmall, 1), -1);

  ASSERT_EQ(fs->Stat("/data/sub", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  ASSERT_EQ(fs->Stat(kSmall, &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_size, 5000);
  EXPECT_EQ(st.st_ino, extent_of(iso, kSmall));
  EXPECT_GT(st.st_mtime, 0);
  EXPECT_FAILS(fs->Stat("/DATA/NONE", &st), ENOENT);

  int dir = fs->OpenDir("/DATA");
  std::map<std::string, int> seen;
  while (DirEntry* e = fs->ReadDir(dir)) seen[e->name] = e->type;
  EXPECT_EQ(fs->ReadDir(dir), nullptr);
  EXPECT_EQ(seen, (std::map<std::string, int>{{".", 1}, {"..", 1}, {"SUB", 1}, {"SMALL.BIN", 2},
                                              {"TINY.TXT", 2}, {"EMPTY.BIN", 2}}));
  EXPECT_FAILS(fs->Seek(dir, 0, 0), EPERM);
  EXPECT_EQ(fs->CloseDir(dir), 0);
  EXPECT_EQ(fs->ReadDir(fs->OpenDir(kSmall)), nullptr);
  EXPECT_EQ(errno, EPERM);
}

TEST_P(ImageTest, ListingOfADirectorySpanningSeveralSectorsReturnsEachEntryOnce) {
  FileMap many;
  for (int i = 0; i < 130; ++i) many["/MANY/F" + std::to_string(100 + i) + ".BIN"] = Bytes{1};
  std::string many_iso = build_iso(make_scratch_dir("many"), many, joliet);
  Mount m(many_iso, true);
  ASSERT_TRUE(m.opened);
  struct stat st;
  ASSERT_EQ(m.fs.Stat("/MANY", &st), 0);
  EXPECT_GE(st.st_size, 3 * 2048);
  int dir = m.fs.OpenDir("/MANY");
  std::multiset<std::string> names;
  while (DirEntry* e = m.fs.ReadDir(dir)) names.insert(e->name);
  EXPECT_EQ(names.size(), 132u);
  for (const auto& f : many) EXPECT_EQ(names.count(f.first.substr(6)), 1u) << f.first;
}

// Every record below directory, one pass a directory, as "dir|name|size|extent".
void list_by_runs(Iso9660Filesystem* fs, const Iso9660DirectoryRecord* directory, const std::string& path,
                  std::vector<std::string>* out) {
  Iso9660Filesystem::DirectoryRun run;
  ASSERT_TRUE(fs->StartDirectoryRun(directory, &run)) << path;
  bool damaged = false;
  char name[259];
  while (const Iso9660DirectoryRecord* r = fs->NextInRun(&run, &damaged)) {
    fs->RecordName(r, name);
    out->push_back(path + "|" + name + "|" + std::to_string(r->DataLength()) + "|" + std::to_string(r->Extent()));
    if (r->IsDirectory() && strcmp(name, ".") != 0 && strcmp(name, "..") != 0) {
      list_by_runs(fs, r, path + name + "/", out);
    }
  }
  EXPECT_FALSE(damaged) << path;
}

// The same from isoinfo's long listing of the tree.
std::vector<std::string> isoinfo_listing(const std::string& iso, bool joliet) {
  std::string text;
  run("isoinfo " + std::string(joliet ? "-J " : "") + "-l -i " + shell_quote(iso), &text);
  std::vector<std::string> out;
  std::istringstream lines(text);
  std::string line, dir;
  while (std::getline(lines, line)) {
    if (line.rfind("Directory listing of ", 0) == 0) dir = line.substr(21);
    const size_t bracket = line.find('[');
    if (bracket == std::string::npos) continue;
    std::istringstream fields(line);
    std::string word, size;
    for (int i = 0; i < 5 && fields >> word; ++i) size = word;
    unsigned extent = 0;
    sscanf(line.c_str() + bracket + 1, "%u", &extent);
    std::string name = line.substr(line.find("]  ") + 3);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.size() > 2 && name.compare(name.size() - 2, 2, ";1") == 0) name.resize(name.size() - 2);
    out.push_back(dir + "|" + name + "|" + size + "|" + std::to_string(extent));
  }
  return out;
}

// A directory of 40 sectors (more than one run of reads) and one below it.
TEST_P(ImageTest, OnePassWalkListsWhatIsoinfoLists) {
  FileMap many;
  for (int i = 0; i < 1500; ++i) many["/MANY/F" + std::to_string(1000 + i) + ".BIN"] = Bytes(i % 7, 1);
  many["/MANY/SUB/DEEP.BIN"] = random_bytes(3000, 3);
  std::string many_iso = build_iso(make_scratch_dir("walk"), many, joliet);
  Mount m(many_iso, true);
  ASSERT_TRUE(m.opened);
  struct stat st;
  ASSERT_EQ(m.fs.Stat("/MANY", &st), 0);
  EXPECT_GT(st.st_size, static_cast<off_t>(kIsoDirectoryRunSectors) * 2048);
  std::vector<std::string> ours, theirs = isoinfo_listing(many_iso, joliet);
  list_by_runs(&m.fs, m.fs.RootRecord(), "/", &ours);
  std::sort(ours.begin(), ours.end());
  std::sort(theirs.begin(), theirs.end());
  EXPECT_EQ(ours.size(), 1500u + 9);  // with ".", "..", MANY and SUB
  EXPECT_TRUE(ours == theirs);
}

TEST_P(ImageTest, DescriptorTableHolds512AndReusesTheLowestFreeNumber) {
  Mount m(iso, true);
  ASSERT_TRUE(m.opened);
  Iso9660Filesystem* fs = &m.fs;
  for (int i = 0; i < 512; ++i) ASSERT_EQ(i % 2 ? fs->Open(kTiny, 0) : fs->OpenDir("/DATA"), i);
  EXPECT_EQ(fs->GetFreeDescriptor(), -1);
  EXPECT_FAILS(fs->Open(kTiny, 0), EMFILE);
  EXPECT_FAILS(fs->OpenDir("/DATA"), EMFILE);
  EXPECT_TRUE(fs->ValidDescriptor(511));
  EXPECT_FALSE(fs->ValidDescriptor(512));
  ASSERT_EQ(fs->Close(300), 0);
  ASSERT_EQ(fs->Close(37), 0);
  EXPECT_EQ(fs->Open(kTiny, 0), 37);
  // A failed lookup takes no slot and leaves none reserved.
  EXPECT_FAILS(fs->Open("/NONE", 0), ENOENT);
  EXPECT_FAILS(fs->OpenDir("/NONE"), ENOENT);
  EXPECT_EQ(fs->GetFreeDescriptor(), 300);
  EXPECT_EQ(fs->OpenDir("/DATA"), 300);
}

TEST_P(ImageTest, WritesInPlaceGrowInTheLastSectorAndRelocate) {
  uint32_t small_extent = extent_of(iso, kSmall);
  uint32_t old_sectors = static_cast<uint32_t>(host_file_size(iso) / 2048);
  Bytes patch = random_bytes(2600, 9), &small = files[kSmall];
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    int fd = m.fs.Open(kSmall, kOpenReadWrite);
    ASSERT_EQ(m.fs.Write(fd, patch.data(), 100), 100);  // length unchanged
    std::copy(patch.begin(), patch.begin() + 100, small.begin());
    // Up to 6000: still inside the 3 sectors it owns.
    ASSERT_EQ(m.fs.Seek(fd, 4000, 0), 4000);
    ASSERT_EQ(m.fs.Write(fd, patch.data(), 2000), 2000);
    small.resize(6000);
    std::copy(patch.begin(), patch.begin() + 2000, small.begin() + 4000);
    struct stat st;
    ASSERT_EQ(m.fs.Stat(kSmall, &st), 0);
    EXPECT_EQ(st.st_ino, small_extent);
    EXPECT_EQ(st.st_size, 6000);
    ASSERT_EQ(m.fs.Umount(false), 0);
    EXPECT_TRUE(m.disc.written.count(16) == 0 && m.disc.written.count(17) == 0);
  }
  expect_image_holds(iso, files, joliet);
  Bytes before = read_file_bytes(iso);
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    // Up to 8600 from position 6000: relocation; the first 6000 bytes move along.
    int fd = m.fs.Open(kSmall, kOpenWrite);
    ASSERT_EQ(m.fs.Seek(fd, 6000, 0), 6000);
    ASSERT_EQ(m.fs.Write(fd, patch.data(), 2600), 2600);
    small.insert(small.end(), patch.begin(), patch.end());
    EXPECT_FAILS(m.fs.Read(fd, patch.data(), 1), EPERM);
    m.disc.written.clear();
    ASSERT_EQ(m.fs.Umount(false), 0);  // the grown volume size goes to both descriptors
    EXPECT_EQ(m.disc.written.count(16), 1u);
    EXPECT_EQ(m.disc.written.count(17), joliet ? 1u : 0u);
  }
  Bytes after = read_file_bytes(iso);
  EXPECT_EQ(after.size(), before.size() + 5 * 2048);  // ceil(8600 / 2048)
  EXPECT_EQ(extent_of(iso, kSmall), old_sectors);
  // The old sectors stay where they were, unreferenced.
  EXPECT_TRUE(std::equal(before.begin() + small_extent * 2048,
                         before.begin() + (small_extent + 3) * 2048, after.begin() + small_extent * 2048));
  expect_image_holds(iso, files, joliet);
}

TEST_P(ImageTest, TruncationShortensGrowsAndRefusesWhatItMust) {
  uint32_t tiny_extent = extent_of(iso, kTiny);
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    ASSERT_EQ(m.fs.Truncate(kSmall, 10), 0);
    m.disc.written.clear();
    EXPECT_EQ(m.fs.Truncate(kSmall, 10), 0);  // same length: nothing written
    EXPECT_TRUE(m.disc.written.empty());
    // Growing back inside its (now one-sector) allocation shows zeros, not
    // the old bytes still on the disc.
    ASSERT_EQ(m.fs.Truncate(kSmall, 2000), 0);
    files[kSmall].resize(10);
    files[kSmall].resize(2000, 0);
    // Growing past the allocation relocates; both trees follow.
    int fd = m.fs.Open(kTiny, kOpenReadWrite);
    ASSERT_EQ(m.fs.Ftruncate(fd, 4097), 0);
    files[kTiny].resize(4097, 0);
    struct stat st;
    ASSERT_EQ(m.fs.Fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, 4097);
    EXPECT_NE(st.st_ino, tiny_extent);
    for (unsigned long long huge : {0x100000000ull, ~0ull}) {
      EXPECT_FAILS(m.fs.Ftruncate(fd, huge), EFBIG);
      EXPECT_FAILS(m.fs.Truncate(kSmall, huge), EFBIG);
    }
    unsigned char byte = 1;
    ASSERT_EQ(m.fs.Seek(fd, 0xFFFFFFFFll, 0), 0xFFFFFFFFll);
    EXPECT_FAILS(m.fs.Write(fd, &byte, 1), EFBIG);
    EXPECT_FAILS(m.fs.Write(fd, &byte, -1), EINVAL);
    EXPECT_EQ(m.fs.Write(fd, &byte, 0), 0);
    EXPECT_FAILS(m.fs.Truncate("/DATA", 0), ENOENT);
    ASSERT_EQ(m.fs.Umount(false), 0);
  }
  expect_image_holds(iso, files, joliet);
}

TEST_P(ImageTest, RenameKeepsTheRecordLengthAndRefusesLongerNames) {
  Mount m(iso);
  ASSERT_TRUE(m.opened);
  const char kOld[] = "/ABCDEFGH.BIN";
  Output o;
  if (joliet) {
    captured(&o, [&] { EXPECT_FAILS(m.fs.Rename(kOld, "XY.BIN"), EPERM); });
    EXPECT_EQ(o.err, "Error, rename not implemented yet for joliet.\n");
    return;
  }
  captured(&o, [&] { EXPECT_FAILS(m.fs.Rename(kOld, "ABCDEFGHIJ.BI"), EPERM); });
  EXPECT_EQ(o.err,
            "Rename to bigger file name size is currently not implemented.\n");
  for (const char* bad : {"", "A/B", "A\\B"}) EXPECT_FAILS(m.fs.Rename(kOld, bad), EINVAL);
  EXPECT_FAILS(m.fs.Rename("/NONE.BIN", "X"), ENOENT);
  ASSERT_EQ(m.fs.Rename(kOld, "XY.BIN"), 0);
  ASSERT_EQ(m.fs.Umount(false), 0);
  files["/XY.BIN"] = files[kOld];
  files.erase(kOld);
  expect_image_holds(iso, files, false);
}

INSTANTIATE_TEST_SUITE_P(Iso, ImageTest, ::testing::Values(false, true), joliet_param_name);
