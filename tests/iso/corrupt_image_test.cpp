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
#include "tests/support/capture.h"
#include "util/byte_order.h"

using namespace testsupport;

namespace {

struct SmallImage {
  std::string dir;
  Bytes bytes;
  uint32_t metadata_end = UINT32_MAX;  // first sector holding file data
};

const SmallImage& small_image() {
  static SmallImage image = [] {
    SmallImage s;
    s.dir = make_lasting_scratch_dir("corrupt");
    FileMap files = {{"/A/ONE.BIN", random_bytes(3000, 1)},
                     {"/A/B/TWO.BIN", random_bytes(100, 2)},
                     {"/A/B/C/THREE.TXT", random_bytes(5000, 3)},
                     {"/ROOT.BIN", random_bytes(10, 4)}};
    std::string iso = build_iso(s.dir, files, true);
    s.bytes = read_file_bytes(iso);
    for (const auto& f : read_iso_contents(iso).iso_tree) {
      s.metadata_end = std::min(s.metadata_end, f.second.extent);
    }
    return s;
  }();
  return image;
}

// Lists, stats, reads (writable: also writes) everything reachable, to a
// depth limit that ends the walk of a directory containing itself. Returns
// the entries seen.
int walk(Iso9660Filesystem* fs, const std::string& path, int depth, bool writable) {
  if (depth > 6) return 0;
  int dir = fs->OpenDir(path.c_str()), seen = 0;
  std::vector<std::pair<std::string, int>> children;
  while (DirEntry* e = seen < 2000 ? fs->ReadDir(dir) : nullptr) {
    ++seen;
    std::string name = e->name;
    if (name != "." && name != ".." && !name.empty()) children.push_back({path + "/" + name, e->type});
  }
  fs->CloseDir(dir);
  for (const auto& child : children) {
    struct stat st;
    fs->Stat(child.first.c_str(), &st);
    if (child.second == kDirEntryDirectory) {
      seen += walk(fs, child.first, depth + 1, writable);
      continue;
    }
    int fd = fs->Open(child.first.c_str(), writable ? kOpenReadWrite : kOpenRead);
    static unsigned char buffer[65536];
    for (int i = 0; i < 16 && fs->Read(fd, buffer, sizeof buffer) > 0; ++i) {
    }
    if (writable) {
      fs->Seek(fd, 0, 0);
      fs->Write(fd, buffer, 700);
      fs->Ftruncate(fd, 5);
      fs->Seek(fd, 9000, 0);
      fs->Write(fd, buffer, 10);  // grows past the allocation
    }
    fs->Close(fd);
  }
  return seen;
}

// The root's entry names as ReadDir gives them, and as one pass over its
// records does; "(failed)" where the listing broke off.
std::vector<std::string> root_by_readdir(Iso9660Filesystem* fs) {
  std::vector<std::string> names;
  int dir = fs->OpenDir("/");
  errno = 0;
  while (DirEntry* e = fs->ReadDir(dir)) names.push_back(e->name);
  if (dir < 0 || errno != 0) names.push_back("(failed)");
  fs->CloseDir(dir);
  return names;
}

std::vector<std::string> root_by_runs(Iso9660Filesystem* fs) {
  std::vector<std::string> names;
  Iso9660Filesystem::DirectoryRun run;
  bool damaged = !fs->StartDirectoryRun(fs->RootRecord(), &run);
  char name[259];
  while (const Iso9660DirectoryRecord* r = damaged ? nullptr : fs->NextInRun(&run, &damaged)) {
    fs->RecordName(r, name);
    names.push_back(name);
  }
  if (damaged) names.push_back("(failed)");
  return names;
}

// The same in one pass a directory, following the records themselves and
// reading the first bytes of every file.
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

TEST(Iso, RandomlyCorruptedImagesFailCleanly) {
  const SmallImage& image = small_image();
  ASSERT_GT(image.metadata_end, 17u);
  ASSERT_LT(image.metadata_end, image.bytes.size() / 2048);
  std::mt19937 next(12345);
  // Bias towards values that make lengths and extents absurd.
  static const unsigned char kValues[] = {0x00, 0x01, 0x21, 0x22, 0x7F, 0x80, 0xFF};
  const size_t first = 16 * 2048, span = (image.metadata_end - 16) * 2048;
  int mounted = 0;
  for (int iteration = 0; iteration < 400; ++iteration) {
    Bytes copy = image.bytes;
    for (int flips = 1 + next() % 12; flips > 0; --flips) {
      copy[first + next() % span] = next() % 2 ? kValues[next() % sizeof kValues] : next() & 0xFF;
    }
    bool writable = iteration % 2 == 1;
    Mounted m(image.dir + "/fuzz.iso", copy, writable);
    if (!m.ok) continue;
    ++mounted;
    walk(&m.fs, "", 0, writable);
    walk_by_runs(&m.fs, m.fs.RootRecord(), 0);
    m.fs.Open("/A/B/C/THREE.TXT", kOpenRead);
    m.fs.Truncate("/ROOT.BIN", 1);
    m.fs.Rename("/A/ONE.BIN", "X");
  }
  // Most damage spares the primary descriptor, so the walks did real work.
  EXPECT_GT(mounted, 200);
}

TEST(Iso, DamagedRecordsMakeLookupsFailWithoutReadingPastThem) {
  const SmallImage& image = small_image();
  const std::string name = "ROOT.BIN;1";
  auto found = std::search(image.bytes.begin() + 16 * 2048, image.bytes.end(), name.begin(), name.end());
  ASSERT_NE(found, image.bytes.end());
  const size_t record = static_cast<size_t>(found - image.bytes.begin()) - 33;
  const size_t root = 16 * 2048 + 156;
  auto patch = [](size_t offset, Bytes bytes) {
    return [offset, bytes](Bytes& image) { std::copy(bytes.begin(), bytes.end(), image.begin() + offset); };
  };
  // Filler records up to the sector's end, then ROOT.BIN's record spilling
  // over into the next sector.
  auto spill = [record](Bytes& image) {
    Bytes rec(image.begin() + record, image.begin() + record + 44);
    size_t sector_end = (record / 2048 + 1) * 2048, at = record;
    for (; at + 250 < sector_end - 40; at += 250) {
      std::fill(image.begin() + at, image.begin() + at + 250, 0);
      image[at] = 250;
      image[at + 32] = 1;
      image[at + 33] = 'Z';
    }
    std::copy(rec.begin(), rec.end(), image.begin() + at);
    image[at] = 255;
  };
  struct Damage { const char* what; std::function<void(Bytes&)> apply; } damages[] = {
      {"identifier longer than its record", patch(record + 32, {0xFF})},
      {"record running past its sector", spill},
      {"extent past the image", patch(record + 2, {0xFF, 0xFF, 0xFF, 0x0F})},
      {"length past the image", patch(record + 10, {0x00, 0x00, 0x00, 0xF0})},
      {"root directory past the image", patch(root + 2, {0xFF, 0xFF, 0xFF, 0x00})},
      {"root directory 4 GiB long", patch(root + 10, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"root record too short", patch(root, {0x10})},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    Bytes copy = image.bytes;
    copy[17 * 2048] = 0xFF;  // the ISO tree is the one damaged: drop the Joliet descriptor
    d.apply(copy);
    Mounted m(image.dir + "/damaged.iso", copy, false);
    ASSERT_TRUE(m.ok);
    int fd = m.fs.Open("/ROOT.BIN", kOpenRead);
    if (fd >= 0) {
      // Found despite the damage: the end of its data is out of reach.
      struct stat st;
      ASSERT_EQ(m.fs.Fstat(fd, &st), 0);
      ASSERT_GT(st.st_ino * 2048 + st.st_size, copy.size());
      unsigned char buffer[64];
      m.fs.Seek(fd, st.st_size > 64 ? st.st_size - 64 : 0, 0);
      EXPECT_EQ(m.fs.Read(fd, buffer, sizeof buffer), -1);
      EXPECT_EQ(errno, EIO);
    } else {
      // Not found, or found running past the image and refused.
      EXPECT_TRUE(errno == ENOENT || errno == EIO) << errno;
    }
    walk(&m.fs, "", 0, false);
    // A walk in one pass refuses the same records.
    EXPECT_EQ(root_by_runs(&m.fs), root_by_readdir(&m.fs));
  }
}

TEST(Iso, ADirectoryThatContainsItselfDoesNotTrapLookups) {
  const SmallImage& image = small_image();
  Bytes copy = image.bytes;
  copy[17 * 2048] = 0xFF;  // damage the ISO tree only
  Mounted intact(image.dir + "/intact.iso", copy, false);
  std::unique_ptr<Iso9660DirectoryRecord, void (*)(void*)> a(intact.fs.FindFile(false, "/A", true, false), free);
  ASSERT_TRUE(a);
  // Point A's entry B back at A itself: /A/B/B/B/... is A again, forever.
  size_t b = 0;
  for (size_t at = a->Extent() * 2048; copy[at] > 33; at += copy[at]) {
    if (copy[at + 32] == 1 && copy[at + 33] == 'B') b = at;
  }
  ASSERT_NE(b, 0u);
  talvo::write_both32(&copy[b + 2], a->Extent());
  talvo::write_both32(&copy[b + 10], a->DataLength());
  Mounted m(image.dir + "/loop.iso", copy, false);
  ASSERT_TRUE(m.ok);
  std::string deep = "/A";
  for (int i = 0; i < 100; ++i) deep += "/B";
  struct stat st;
  EXPECT_EQ(m.fs.Stat(deep.c_str(), &st), 0);  // every B is A: found, and finite
  EXPECT_EQ(m.fs.Stat((deep + "/ONE.BIN").c_str(), &st), 0);
  EXPECT_EQ(m.fs.Stat((deep + "/C").c_str(), &st), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_GT(walk(&m.fs, "", 0, false), 0);
}

TEST(Iso, DamagedVolumeDescriptorSetsAreRefusedAtMount) {
  const SmallImage& image = small_image();
  ASSERT_EQ(image.bytes[18 * 2048], 255);  // primary, Joliet, terminator
  auto sector = [](Bytes& b, unsigned s) { return b.begin() + s * 2048; };
  struct Damage { const char* what; std::function<void(Bytes&)> apply; } damages[] = {
      {"terminator wiped", [&](Bytes& b) { std::fill(sector(b, 18), sector(b, 19), 0); }},
      {"no terminator within reach",
       [&](Bytes& b) {
         // Boot records all the way: a set that never ends.
         b.resize(std::max<size_t>(b.size(), 200 * 2048));
         Bytes boot(2048, 0);
         std::copy(image.bytes.begin() + 16 * 2048 + 1, image.bytes.begin() + 16 * 2048 + 7, boot.begin() + 1);
         for (unsigned s = 17; s < 200; ++s) std::copy(boot.begin(), boot.end(), sector(b, s));
       }},
      {"Joliet root past the end", [&](Bytes& b) { talvo::write_both32(&*sector(b, 17) + 158, 0xFFFFFF); }},
      {"Joliet root longer than the image",
       [&](Bytes& b) { talvo::write_both32(&*sector(b, 17) + 166, 0x7FFFFFFF); }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    Bytes copy = image.bytes;
    d.apply(copy);
    for (bool writable : {false, true}) {
      Mounted m(image.dir + "/set.iso", copy, writable);
      EXPECT_FALSE(m.ok);
      EXPECT_EQ(errno, EIO);
      EXPECT_TRUE(read_file_bytes(image.dir + "/set.iso") == copy);
    }
  }
}

TEST(Iso, AFileWhoseIsoRecordIsLostIsNotGrownInTheJolietTreeAlone) {
  const SmallImage& image = small_image();
  Bytes copy = image.bytes;
  const std::string name = "ROOT.BIN;1";
  auto found = std::search(copy.begin() + 16 * 2048, copy.end(), name.begin(), name.end());
  ASSERT_NE(found, copy.end());
  unsigned char* extent = &*found - 33 + 2;
  talvo::write_both32(extent, talvo::read_le32(extent) + 1);
  const std::string path = image.dir + "/apart.iso";
  Mounted m(path, copy, true);
  ASSERT_TRUE(m.ok);
  int fd = m.fs.Open("/ROOT.BIN", kOpenReadWrite);
  unsigned char buffer[3000] = {1};
  Output o;
  captured(&o, [&] {
    EXPECT_EQ(m.fs.Write(fd, buffer, sizeof buffer), -1);  // grows past its sector
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(m.fs.Truncate("/ROOT.BIN", 5), -1);
  });
  const std::string& err = o.err;
  EXPECT_NE(err.find("similar record couldn't be found in iso fs"), std::string::npos) << err;
  EXPECT_EQ(m.fs.Umount(false), 0);
  EXPECT_TRUE(read_file_bytes(path) == copy);
}
