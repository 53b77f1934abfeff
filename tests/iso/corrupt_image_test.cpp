// Damaged images: every lookup, listing, read and write on them must end in
// a clean failure. Run under the sanitizer build to catch out-of-bounds work.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <random>

#include "iso/iso9660_filesystem.h"
#include "tests/support/iso_image.h"
#include "util/byte_order.h"

using namespace testsupport;

namespace {

struct SmallImage {
  std::string dir;
  Bytes bytes;
  uint32_t metadata_end = UINT32_MAX;  // first sector holding file data
  size_t root_bin = 0;                 // where ROOT.BIN's record starts in the ISO tree
};

const SmallImage& small_image() {
  static SmallImage image = [] {
    SmallImage s;
    s.dir = make_lasting_scratch_dir("corrupt");
    FileMap files = {{"/A/ONE.BIN", random_bytes(3000, 1)}, {"/A/B/TWO.BIN", random_bytes(100, 2)},
                     {"/A/B/C/THREE.TXT", random_bytes(5000, 3)}, {"/ROOT.BIN", random_bytes(10, 4)}};
    std::string iso = build_iso(s.dir, files, true);
    s.bytes = read_file_bytes(iso);
    for (const auto& f : read_iso_contents(iso).iso_tree) {
      s.metadata_end = std::min(s.metadata_end, f.second.extent);
    }
    const std::string name = "ROOT.BIN;1";
    auto found = std::search(s.bytes.begin() + 16 * 2048, s.bytes.end(), name.begin(), name.end());
    s.root_bin = static_cast<size_t>(found - s.bytes.begin()) - 33;
    EXPECT_LT(s.root_bin, s.metadata_end * 2048u);
    return s;
  }();
  return image;
}

// Lists, stats, reads (writable: also writes) everything reachable, to a
// depth limit that ends the walk of a directory containing itself.
void walk(Iso9660Filesystem* fs, const std::string& path, int depth, bool writable) {
  if (depth > 6) return;
  int dir = fs->OpenDir(path.c_str());
  std::vector<std::pair<std::string, int>> children;
  for (int seen = 0; DirEntry* e = seen < 2000 ? fs->ReadDir(dir) : nullptr; ++seen) {
    std::string name = e->name;
    if (name != "." && name != ".." && !name.empty()) children.push_back({path + "/" + name, e->type});
  }
  fs->CloseDir(dir);
  for (const auto& child : children) {
    struct stat st;
    fs->Stat(child.first.c_str(), &st);
    if (child.second == kDirEntryDirectory) {
      walk(fs, child.first, depth + 1, writable);
      continue;
    }
    int fd = fs->Open(child.first.c_str(), writable ? kOpenReadWrite : kOpenRead);
    static unsigned char buffer[65536];
    for (int i = 0; i < 16 && fs->Read(fd, buffer, sizeof buffer) > 0; ++i) continue;
    if (writable) {  // overwrite, cut, then grow past the allocation
      fs->Seek(fd, 0, 0), fs->Write(fd, buffer, 700), fs->Ftruncate(fd, 5);
      fs->Seek(fd, 9000, 0), fs->Write(fd, buffer, 10);
    }
    fs->Close(fd);
  }
}

// The same as walk in one pass a directory, following the records themselves
// and reading the first bytes of every file.
void walk_by_runs(Iso9660Filesystem* fs, const Iso9660DirectoryRecord* directory, int depth) {
  Iso9660Filesystem::DirectoryRun run;
  if (depth > 6 || !fs->StartDirectoryRun(directory, &run)) return;
  bool damaged = false;
  char name[259];
  unsigned char head[64];
  while (const Iso9660DirectoryRecord* r = fs->NextInRun(&run, &damaged)) {
    fs->RecordName(r, name);
    if (!r->IsDirectory()) fs->ReadFileStart(r, head, sizeof head);
    else if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0) walk_by_runs(fs, r, depth + 1);
  }
}

// Writes image to path and mounts it; the disc lives as long as the mount.
struct Mounted {
  Mounted(const std::string& path, const Bytes& image, bool writable) : disc(!writable) {
    write_file(path, image);
    ok = disc.OpenDiscFile(path.c_str()) == 0 && fs.Mount(&disc, !writable) == 0;
  }
  IsoFileDisc disc;
  Iso9660Filesystem fs;
  bool ok = false;
};

}  // namespace

// Random damage to the descriptors and directories, mounted read-only and writable, walked whole.
TEST(Iso, RandomlyCorruptedImagesFailCleanly) {
  const SmallImage& image = small_image();
  ASSERT_TRUE(image.metadata_end > 17u && image.metadata_end < image.bytes.size() / 2048);
  std::mt19937 next(12345);
  // Bias towards values that make lengths and extents absurd.
  static const unsigned char kValues[] = {0x00, 0x01, 0x21, 0x22, 0x7F, 0x80, 0xFF};
  const size_t first = 16 * 2048, span = (image.metadata_end - 16) * 2048;
  int mounted = 0;
  for (int iteration = 0; iteration < 400; ++iteration) {  // reads on even rounds, writes too on odd ones
    Bytes copy = image.bytes;
    for (int flips = 1 + next() % 12; flips > 0; --flips) {
      copy[first + next() % span] = next() % 2 ? kValues[next() % sizeof kValues] : next() & 0xFF;
    }
    Mounted m(image.dir + "/fuzz.iso", copy, iteration % 2 == 1);
    if (!m.ok) continue;
    ++mounted;
    walk(&m.fs, "", 0, iteration % 2 == 1);
    walk_by_runs(&m.fs, m.fs.RootRecord(), 0);
    m.fs.Open("/A/B/C/THREE.TXT", kOpenRead);
    m.fs.Truncate("/ROOT.BIN", 1);
    m.fs.Rename("/A/ONE.BIN", "X");
  }
  // Most damage spares the primary descriptor, so the walks did real work.
  EXPECT_GT(mounted, 200);
}

// File and root records that lie about their size or place are refused, not followed.
TEST(Iso, DamagedRecordsMakeLookupsFailWithoutReadingPastThem) {
  const SmallImage& image = small_image();
  const size_t record = image.root_bin, root = 16 * 2048 + 156;
  auto patch = [](size_t offset, Bytes bytes) {
    return [offset, bytes](Bytes& image) { std::copy(bytes.begin(), bytes.end(), image.begin() + offset); };
  };
  struct Damage { const char* what; std::function<void(Bytes&)> apply; } damages[] = {
      {"identifier longer than its record", patch(record + 32, {0xFF})},
      {"extent past the image", patch(record + 2, {0xFF, 0xFF, 0xFF, 0x0F})},
      {"length past the image", patch(record + 10, {0x00, 0x00, 0x00, 0xF0})},
      {"root directory past the image", patch(root + 2, {0xFF, 0xFF, 0xFF, 0x00})},
      {"root record too short", patch(root, {0x10})},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    Bytes copy = image.bytes;
    copy[17 * 2048] = 0xFF;  // the ISO tree is the one damaged: drop the Joliet descriptor
    d.apply(copy);
    Mounted m(image.dir + "/damaged.iso", copy, false);
    ASSERT_TRUE(m.ok);
    // Not found, or found running past the image and refused.
    EXPECT_EQ(m.fs.Open("/ROOT.BIN", kOpenRead), -1);
    EXPECT_TRUE(errno == ENOENT || errno == EIO) << errno;
    walk(&m.fs, "", 0, false);
    walk_by_runs(&m.fs, m.fs.RootRecord(), 0);
  }
}

// Images whose descriptor set is damaged or missing are refused at mount, and left as they were.
TEST(Iso, DamagedVolumeDescriptorSetsAreRefusedAtMount) {
  const SmallImage& image = small_image();
  ASSERT_EQ(image.bytes[18 * 2048], 255);  // primary, Joliet, terminator
  auto sector = [](Bytes& b, unsigned s) { return b.begin() + s * 2048; };
  struct Damage { const char* what; std::function<void(Bytes&)> apply; int error = EIO; } damages[] = {
      {"not an ISO 9660 image", [&](Bytes& b) { std::fill(sector(b, 16), b.end(), 0); }, EPERM},
      {"cut before its descriptors end", [&](Bytes& b) { b.resize(17 * 2048); }},
      {"terminator wiped", [&](Bytes& b) { std::fill(sector(b, 18), sector(b, 19), 0); }},
      {"no terminator within reach", [&](Bytes& b) {  // boot records all the way: a set that never ends
         b.resize(std::max<size_t>(b.size(), 200 * 2048));
         for (unsigned s = 17; s < 200; ++s) {
           std::copy(sector(b, 16), sector(b, 17), sector(b, s));
           b[s * 2048] = 0;
         }
       }},
      {"Joliet root past the end", [&](Bytes& b) { talvo::write_both32(&*sector(b, 17) + 158, 0xFFFFFF); }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    Bytes copy = image.bytes;
    d.apply(copy);
    for (bool writable : {false, true}) {
      Mounted m(image.dir + "/set.iso", copy, writable);
      EXPECT_FALSE(m.ok);
      EXPECT_EQ(errno, d.error);
      EXPECT_TRUE(read_file_bytes(image.dir + "/set.iso") == copy);
    }
  }
}

// A file whose twin in the ISO tree is lost is not resized in the Joliet tree alone.
TEST(Iso, AFileWhoseIsoRecordIsLostIsNotGrownInTheJolietTreeAlone) {
  const SmallImage& image = small_image();
  Bytes copy = image.bytes;
  unsigned char* extent = &copy[image.root_bin + 2];
  talvo::write_both32(extent, talvo::read_le32(extent) + 1);
  const std::string path = image.dir + "/apart.iso";
  Mounted m(path, copy, true);
  ASSERT_TRUE(m.ok);
  int fd = m.fs.Open("/ROOT.BIN", kOpenReadWrite);
  unsigned char buffer[3000] = {1};
  testing::internal::CaptureStderr();
  EXPECT_EQ(m.fs.Write(fd, buffer, sizeof buffer), -1);  // grows past its sector
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(m.fs.Truncate("/ROOT.BIN", 5), -1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(m.fs.Umount(false), 0);
  EXPECT_TRUE(read_file_bytes(path) == copy);
}
