#include "iso/iso9660_filesystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <set>

#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"
#include "util/byte_order.h"

using namespace testsupport;

namespace {

const char kSmall[] = "/DATA/SMALL.BIN";
const char kTiny[] = "/DATA/TINY.TXT";

FileMap sample_files() {
  FileMap files;
  files[kSmall] = random_bytes(5000, 1);
  files[kTiny] = random_bytes(10, 2);
  files["/DATA/EMPTY.BIN"] = Bytes();
  files["/DATA/SUB/DEEP.BIN"] = random_bytes(3000, 3);
  files["/TOP.BIN"] = random_bytes(4, 4);
  files["/ABCDEFGH.BIN"] = random_bytes(100, 5);
  return files;
}

// A disc that remembers which sectors were written through it.
class RecordingDisc : public IsoFileDisc {
 public:
  explicit RecordingDisc(bool read_only) : IsoFileDisc(read_only) {}
  int WriteBytes(uint64_t offset, const void* buffer, uint64_t length) override {
    for (uint64_t s = offset / 2048; s * 2048 < offset + length; ++s) written.insert(s);
    return IsoFileDisc::WriteBytes(offset, buffer, length);
  }
  std::set<uint64_t> written;
};

// One image mounted for a scope; the filesystem goes before the disc.
struct Mount {
  explicit Mount(const std::string& iso, bool read_only = false)
      : disc(new RecordingDisc(read_only)), fs(new Iso9660Filesystem) {
    opened = disc->OpenDiscFile(iso.c_str()) == 0 && fs->Mount(disc.get(), read_only) == 0;
  }
  ~Mount() { unmount(); }
  int unmount() {
    int result = fs ? fs->Umount(false) : 0;
    fs.reset();
    disc.reset();
    return result;
  }
  std::unique_ptr<RecordingDisc> disc;
  std::unique_ptr<Iso9660Filesystem> fs;
  bool opened = false;
};

Bytes read_all(Iso9660Filesystem* fs, const char* path) {
  int fd = fs->Open(path, 0);
  if (fd < 0) return Bytes{0xEE};
  long long length = fs->Seek(fd, 0, 2);
  fs->Seek(fd, 0, 0);
  Bytes data(static_cast<size_t>(length));
  long long n = fs->Read(fd, data.data(), length);
  fs->Close(fd);
  if (n != length) return Bytes{0xEE};
  return data;
}

// Checks with pycdlib that both trees hold exactly `files` and agree.
void expect_image_holds(const std::string& iso, const FileMap& files, bool joliet) {
  IsoContents c = read_iso_contents(iso);
  ASSERT_TRUE(c.ok) << c.error;
  ASSERT_EQ(c.has_joliet, joliet);
  uint32_t image_sectors = static_cast<uint32_t>(host_file_size(iso) / 2048);
  EXPECT_EQ(c.pvd_space, image_sectors);
  if (joliet) {
    EXPECT_EQ(c.svd_space, image_sectors);
  }
  ASSERT_EQ(c.iso_tree.size(), files.size());
  for (const auto& f : files) {
    SCOPED_TRACE(f.first);
    ASSERT_EQ(c.iso_tree.count(f.first), 1u);
    const IsoFileInfo& info = c.iso_tree[f.first];
    EXPECT_EQ(info.length, f.second.size());
    EXPECT_TRUE(info.data == f.second);
    if (joliet) {
      ASSERT_EQ(c.joliet_tree.count(f.first), 1u);
      EXPECT_EQ(c.joliet_tree[f.first].extent, info.extent);
      EXPECT_EQ(c.joliet_tree[f.first].length, info.length);
    }
  }
}

uint32_t extent_of(const std::string& iso, const std::string& path) {
  IsoContents c = read_iso_contents(iso);
  return c.iso_tree.count(path) ? c.iso_tree[path].extent : 0;
}

struct ImageTest : ::testing::TestWithParam<bool> {
  void SetUp() override {
    joliet = GetParam();
    dir = make_scratch_dir(joliet ? "iso_joliet" : "iso_plain");
    files = sample_files();
    iso = build_iso(dir, files, joliet);
    ASSERT_FALSE(iso.empty());
  }
  void TearDown() override { run("rm -rf " + shell_quote(dir)); }
  bool joliet = false;
  std::string dir, iso;
  FileMap files;
};

}  // namespace

TEST(Iso, CompareNameMatchesIdentifiersOfBothTrees) {
  auto ucs2 = [](const std::string& s) {
    std::string out;
    for (char c : s) out += std::string{'\0', c};
    return out;
  };
  struct Case {
    bool joliet;
    const char* name;
    std::string identifier;
    bool match;
  } cases[] = {
      {false, "day_a0.scn", "DAY_A0.SCN;1", true},
      {false, "day_a0.scn", "DAY_A0.SCN", true},
      {false, "day_a0.scn", "DAY_A0.SCN;2", false},
      {false, "day_a0.scn", "DAY_A0.SCN.;1", false},
      {false, "day_a0.sc", "DAY_A0.SCN", false},
      {false, ".", std::string(1, '\0'), true},
      {false, "..", std::string(1, '\1'), true},
      {false, ".", std::string(1, '\1'), false},
      {false, "\xe9t\xe9", "\xe9T\xe9;1", true},  // high bytes compared as they are
      {true, "DAY_A0.SCN", ucs2("day_a0.scn;1"), true},
      {true, "DAY_A0.SCN", ucs2("day_a0.scn"), true},
      {true, "DAY_A0.SCN", ucs2("day_a0.scn;2"), false},
      {true, "DAY_A0.SCN", ucs2("day_a0.scn").substr(1), false},  // odd length
      {true, "A", std::string("\x01" "A", 2), false},  // a non-ASCII character
      {true, "..", std::string(1, '\1'), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.joliet ? " joliet" : " iso"));
    EXPECT_EQ(Iso9660Filesystem::CompareName(c.joliet, c.name, c.identifier.data(),
                                             static_cast<unsigned>(c.identifier.size())),
              c.match);
  }
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Iso9660Filesystem::CompareName(true, "\xe9", ucs2("\xe9").data(), 2));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: no support for non-ansi characters atm.\n, character giving error: 0xe9\n");
}

TEST_P(ImageTest, ReadsSeeksAndRefusesWhatIsNotAFile) {
  Mount m(iso, true);
  ASSERT_TRUE(m.opened);
  Iso9660Filesystem* fs = m.fs.get();
  EXPECT_EQ(fs->HasJoliet(), joliet);
  for (const auto& f : files) EXPECT_TRUE(read_all(fs, f.first.c_str()) == f.second) << f.first;
  EXPECT_TRUE(read_all(fs, "data\\small.bin") == files[kSmall]);

  int fd = fs->Open("/TOP.BIN", 0);
  ASSERT_GE(fd, 0);
  unsigned char buffer[16];
  EXPECT_EQ(fs->Read(fd, buffer, 10), 4);
  EXPECT_EQ(fs->Read(fd, buffer, 10), 0);
  EXPECT_EQ(fs->Seek(fd, 0, 2), 4);
  EXPECT_EQ(fs->Seek(fd, 0, 0), 0);
  EXPECT_EQ(fs->Seek(fd, -1, 1), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(fs->Seek(fd, 0, 1), 0);
  EXPECT_EQ(fs->Seek(fd, 3, 7), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(fs->Seek(fd, 100, 0), 100);
  EXPECT_EQ(fs->Read(fd, buffer, 10), 0);
  EXPECT_EQ(fs->Seek(fd, LLONG_MAX, 1), -1);  // would overflow
  EXPECT_EQ(fs->Read(fd, buffer, -1), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(fs->Write(fd, buffer, 1), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(fs->Ftruncate(fd, 1), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(fs->Close(fd), 0);
  EXPECT_EQ(fs->Close(fd), -1);
  EXPECT_EQ(errno, EBADF);

  for (const char* path : {"/", "/DATA", "/DATA/SUB/", "/DATA/SMALL.BIN/X", "/NOPE.BIN",
                           "/DATA/SMALL.BIN;2"}) {
    EXPECT_EQ(fs->Open(path, 0), -1) << path;
    EXPECT_EQ(errno, ENOENT) << path;
  }
  EXPECT_EQ(fs->Open(kSmall, 3), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(fs->Open(kSmall, 2), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(fs->Open(nullptr, 0), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(fs->Truncate(kSmall, 1), -1);  // read-only mount
  for (int bad : {600, -1, 7}) {
    EXPECT_EQ(fs->Close(bad), -1);
    EXPECT_EQ(errno, EBADF);
  }
}

TEST_P(ImageTest, WriteOnlyDescriptorsDoNotReadAndReadWriteOnesDo) {
  Mount m(iso);
  ASSERT_TRUE(m.opened);
  unsigned char buffer[16];
  int w = m.fs->Open(kTiny, 1), rw = m.fs->Open(kTiny, 2);
  EXPECT_EQ(m.fs->Read(w, buffer, 4), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(m.fs->Read(rw, buffer, 16), 10);
}

TEST_P(ImageTest, StatAndListingFollowTheTree) {
  Mount m(iso, true);
  ASSERT_TRUE(m.opened);
  Iso9660Filesystem* fs = m.fs.get();
  struct stat st;
  ASSERT_EQ(fs->Stat("/", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  ASSERT_EQ(fs->Stat("/data/sub", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  ASSERT_EQ(fs->Stat(kSmall, &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_size, 5000);
  EXPECT_EQ(st.st_ino, extent_of(iso, kSmall));
  EXPECT_GT(st.st_mtime, 0);
  EXPECT_EQ(fs->Stat("/DATA/NONE", &st), -1);
  EXPECT_EQ(errno, ENOENT);
  int fd = fs->Open(kTiny, 0);
  ASSERT_EQ(fs->Fstat(fd, &st), 0);
  EXPECT_EQ(st.st_size, 10);

  int dir = fs->OpenDir("/DATA");
  ASSERT_GE(dir, 0);
  std::map<std::string, int> seen;
  while (DirEntry* e = fs->ReadDir(dir)) seen[e->name] = e->type;
  EXPECT_EQ(fs->ReadDir(dir), nullptr);
  std::map<std::string, int> expected = {{".", 1},        {"..", 1},         {"SUB", 1},
                                         {"SMALL.BIN", 2}, {"TINY.TXT", 2},  {"EMPTY.BIN", 2}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(fs->CloseDir(dir), 0);
  int file_dir = fs->OpenDir(kSmall);
  ASSERT_GE(file_dir, 0);
  EXPECT_EQ(fs->ReadDir(file_dir), nullptr);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(fs->Seek(fs->OpenDir("/DATA"), 0, 0), -1);
  EXPECT_EQ(errno, EPERM);
}

TEST_P(ImageTest, ListingOfADirectorySpanningSeveralSectorsReturnsEachEntryOnce) {
  FileMap many;
  for (int i = 0; i < 130; ++i) {
    char name[32];
    snprintf(name, sizeof name, "/MANY/F%03d.BIN", i);
    many[name] = Bytes{static_cast<unsigned char>(i)};
  }
  std::string many_iso = build_iso(make_scratch_dir("many"), many, joliet);
  ASSERT_FALSE(many_iso.empty());
  Mount m(many_iso, true);
  ASSERT_TRUE(m.opened);
  struct stat st;
  ASSERT_EQ(m.fs->Stat("/MANY", &st), 0);
  EXPECT_GE(st.st_size, 3 * 2048);
  int dir = m.fs->OpenDir("/MANY");
  std::multiset<std::string> names;
  while (DirEntry* e = m.fs->ReadDir(dir)) names.insert(e->name);
  EXPECT_EQ(names.size(), 132u);
  EXPECT_EQ(names.count("."), 1u);
  EXPECT_EQ(names.count(".."), 1u);
  for (const auto& f : many) {
    std::string name = f.first.substr(6);
    EXPECT_EQ(names.count(name), 1u) << name;
    EXPECT_TRUE(read_all(m.fs.get(), f.first.c_str()) == f.second);
  }
}

TEST_P(ImageTest, DescriptorTableHolds512AndReusesTheLowestFreeNumber) {
  Mount m(iso, true);
  ASSERT_TRUE(m.opened);
  Iso9660Filesystem* fs = m.fs.get();
  for (int i = 0; i < 512; ++i) ASSERT_EQ(i % 2 ? fs->Open(kTiny, 0) : fs->OpenDir("/DATA"), i);
  EXPECT_EQ(fs->GetFreeDescriptor(), -1);
  EXPECT_EQ(fs->Open(kTiny, 0), -1);
  EXPECT_EQ(errno, EMFILE);
  EXPECT_EQ(fs->OpenDir("/DATA"), -1);
  EXPECT_EQ(errno, EMFILE);
  EXPECT_TRUE(fs->ValidDescriptor(511));
  EXPECT_FALSE(fs->ValidDescriptor(512));
  EXPECT_FALSE(fs->ValidDescriptor(-1));
  ASSERT_EQ(fs->Close(300), 0);
  ASSERT_EQ(fs->Close(37), 0);
  EXPECT_EQ(fs->GetFreeDescriptor(), 37);
  EXPECT_EQ(fs->Open(kTiny, 0), 37);
  EXPECT_EQ(fs->Open(kTiny, 0), 300);
  // A failed lookup does not take a slot.
  ASSERT_EQ(fs->Close(5), 0);
  EXPECT_EQ(fs->Open("/NONE", 0), -1);
  EXPECT_EQ(fs->GetFreeDescriptor(), 5);
}

TEST_P(ImageTest, WritesInPlaceGrowInTheLastSectorAndRelocate) {
  uint32_t small_extent = extent_of(iso, kSmall);
  uint32_t old_sectors = static_cast<uint32_t>(host_file_size(iso) / 2048);
  Bytes patch = random_bytes(2600, 9);
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    int fd = m.fs->Open(kSmall, 2);
    // 100 bytes at 0: length unchanged.
    ASSERT_EQ(m.fs->Write(fd, patch.data(), 100), 100);
    std::copy(patch.begin(), patch.begin() + 100, files[kSmall].begin());
    // Up to 6000: still inside the 3 sectors it owns.
    ASSERT_EQ(m.fs->Seek(fd, 4000, 0), 4000);
    ASSERT_EQ(m.fs->Write(fd, patch.data(), 2000), 2000);
    files[kSmall].resize(6000);
    std::copy(patch.begin(), patch.begin() + 2000, files[kSmall].begin() + 4000);
    struct stat st;
    ASSERT_EQ(m.fs->Stat(kSmall, &st), 0);
    EXPECT_EQ(st.st_ino, small_extent);
    EXPECT_EQ(st.st_size, 6000);
    EXPECT_TRUE(m.disc->written.count(16) == 0 && m.disc->written.count(17) == 0);
  }
  expect_image_holds(iso, files, joliet);
  EXPECT_EQ(extent_of(iso, kSmall), small_extent);
  Bytes before_relocation = read_whole_file(iso);
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    // Up to 8600 from position 6000: relocation; the first 6000 bytes move along.
    int fd = m.fs->Open(kSmall, 1);
    ASSERT_EQ(m.fs->Seek(fd, 6000, 0), 6000);
    ASSERT_EQ(m.fs->Write(fd, patch.data(), 2600), 2600);
    files[kSmall].insert(files[kSmall].end(), patch.begin(), patch.end());
    EXPECT_EQ(m.fs->Read(fd, patch.data(), 1), -1);
    ASSERT_EQ(m.unmount(), 0);
  }
  Bytes after = read_whole_file(iso);
  EXPECT_EQ(after.size(), before_relocation.size() + 5 * 2048);  // ceil(8600 / 2048)
  EXPECT_EQ(extent_of(iso, kSmall), old_sectors);
  // The old sectors stay where they were, unreferenced.
  EXPECT_TRUE(std::equal(before_relocation.begin() + small_extent * 2048,
                         before_relocation.begin() + (small_extent + 3) * 2048,
                         after.begin() + small_extent * 2048));
  expect_image_holds(iso, files, joliet);
}

TEST_P(ImageTest, UnmountWritesVolumeDescriptorsOnlyAfterRelocation) {
  Bytes data = random_bytes(5000, 11);
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    int fd = m.fs->Open(kTiny, 1);
    ASSERT_EQ(m.fs->Write(fd, data.data(), 2000), 2000);  // grows inside its sector
    ASSERT_EQ(m.unmount(), 0);
  }
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    int fd = m.fs->Open(kTiny, 1);
    ASSERT_EQ(m.fs->Write(fd, data.data(), 2000), 2000);
    EXPECT_EQ(m.disc->written.count(16), 0u);
    ASSERT_EQ(m.fs->Write(fd, data.data(), 3000), 3000);
    RecordingDisc* disc = m.disc.get();
    disc->written.clear();
    m.fs->Umount(false);
    EXPECT_EQ(disc->written.count(16), 1u);
    EXPECT_EQ(disc->written.count(17), joliet ? 1u : 0u);
  }
  Bytes tiny(data.begin(), data.begin() + 2000);
  tiny.insert(tiny.end(), data.begin(), data.begin() + 3000);
  files[kTiny] = tiny;
  expect_image_holds(iso, files, joliet);
}

TEST_P(ImageTest, TruncationShortensGrowsAndRefusesWhatItMust) {
  uint32_t tiny_extent = extent_of(iso, kTiny);
  {
    Mount m(iso);
    ASSERT_TRUE(m.opened);
    ASSERT_EQ(m.fs->Truncate(kSmall, 10), 0);
    files[kSmall].resize(10);
    Bytes image = read_whole_file(iso);
    m.disc->written.clear();
    EXPECT_EQ(m.fs->Truncate(kSmall, 10), 0);  // same length: nothing written
    EXPECT_TRUE(m.disc->written.empty());
    // Growing back inside the allocation shows zeros, not the old bytes.
    ASSERT_EQ(m.fs->Truncate(kSmall, 5000), 0);
    files[kSmall].resize(5000, 0);
    // Growing past the allocation relocates; both trees follow.
    int fd = m.fs->Open("/DATA/TINY.TXT", 2);
    ASSERT_EQ(m.fs->Ftruncate(fd, 4097), 0);
    files[kTiny].resize(4097, 0);
    struct stat st;
    ASSERT_EQ(m.fs->Fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, 4097);
    EXPECT_NE(st.st_ino, tiny_extent);
    for (unsigned long long huge : {0x100000000ull, ~0ull}) {
      EXPECT_EQ(m.fs->Ftruncate(fd, huge), -1);
      EXPECT_EQ(errno, EFBIG);
      EXPECT_EQ(m.fs->Truncate(kSmall, huge), -1);
      EXPECT_EQ(errno, EFBIG);
    }
    unsigned char byte = 1;
    ASSERT_EQ(m.fs->Seek(fd, 0xFFFFFFFFll, 0), 0xFFFFFFFFll);
    EXPECT_EQ(m.fs->Write(fd, &byte, 1), -1);
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(m.fs->Truncate("/DATA", 0), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(m.fs->Write(fd, &byte, -1), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(m.fs->Write(fd, &byte, 0), 0);
    ASSERT_EQ(m.unmount(), 0);
  }
  expect_image_holds(iso, files, joliet);
}

TEST_P(ImageTest, RenameKeepsTheRecordLengthAndRefusesLongerNames) {
  Mount m(iso);
  ASSERT_TRUE(m.opened);
  if (joliet) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(m.fs->Rename("/ABCDEFGH.BIN", "XY.BIN"), -1);
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error, rename not implemented yet for joliet.\n");
    return;
  }
  std::unique_ptr<Iso9660DirectoryRecord, void (*)(void*)> before(
      m.fs->FindFile(false, "/ABCDEFGH.BIN", false, false), free);
  ASSERT_TRUE(before);
  testing::internal::CaptureStderr();
  EXPECT_EQ(m.fs->Rename("/ABCDEFGH.BIN", "ABCDEFGHIJ.BI"), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Rename to bigger file name size is currently not implemented.\n");
  for (const char* bad : {"", "A/B", "A\\B"}) {
    EXPECT_EQ(m.fs->Rename("/ABCDEFGH.BIN", bad), -1);
    EXPECT_EQ(errno, EINVAL);
  }
  EXPECT_EQ(m.fs->Rename("/NONE.BIN", "X"), -1);
  EXPECT_EQ(errno, ENOENT);
  ASSERT_EQ(m.fs->Rename("/ABCDEFGH.BIN", "XY.BIN"), 0);
  std::unique_ptr<Iso9660DirectoryRecord, void (*)(void*)> after(
      m.fs->FindFile(false, "/XY.BIN", false, false), free);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->identifier_length, 8);
  EXPECT_EQ(std::string(after->Identifier(), 8), "XY.BIN;1");
  EXPECT_EQ(after->length, before->length);
  EXPECT_EQ(after->Extent(), before->Extent());
  ASSERT_EQ(m.unmount(), 0);
  files["/XY.BIN"] = files["/ABCDEFGH.BIN"];
  files.erase("/ABCDEFGH.BIN");
  expect_image_holds(iso, files, false);
}

INSTANTIATE_TEST_SUITE_P(Iso, ImageTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Joliet" : "IsoOnly";
                         });
