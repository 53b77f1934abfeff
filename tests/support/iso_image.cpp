#include "tests/support/iso_image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "util/byte_order.h"

namespace testsupport {

uint64_t host_file_size(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

namespace {

// One volume descriptor that holds a volume space size and a tree, read
// from the image's bytes: its sector, its volume space size (0 when the two
// byte orders disagree) and the (extent, data length) of every file record
// reachable from its root, sorted.
struct DescriptorTree {
  unsigned sector = 0;
  uint32_t volume_space = 0;
  std::vector<std::pair<uint32_t, uint32_t>> files;
};

std::vector<DescriptorTree> descriptor_trees(const std::string& iso) {
  Bytes image = read_file_bytes(iso);
  std::vector<DescriptorTree> trees;
  auto both32 = [&](size_t at) {
    uint32_t le = talvo::read_le32(&image[at]);
    return le == talvo::read_be32(&image[at + 4]) ? le : 0;
  };
  for (unsigned sector = 16; (sector + 1) * 2048 <= image.size(); ++sector) {
    const size_t d = sector * 2048;
    if (image[d] == 255 || std::string(image.begin() + d + 1, image.begin() + d + 6) != "CD001") break;
    if (image[d] != 1 && image[d] != 2) continue;
    DescriptorTree tree;
    tree.sector = sector;
    tree.volume_space = both32(d + 80);
    std::vector<std::pair<uint32_t, uint32_t>> pending{{both32(d + 158), both32(d + 166)}};
    for (size_t i = 0; i < pending.size() && i < 1000; ++i) {
      for (size_t at = pending[i].first * 2048, end = at + pending[i].second; at < end && at < image.size();) {
        unsigned length = image[at];
        if (length <= 33) {  // the rest of the sector is padding
          at = (at / 2048 + 1) * 2048;
          continue;
        }
        uint32_t extent = both32(at + 2), data_length = both32(at + 10);
        bool dots = image[at + 32] == 1 && image[at + 33] <= 1;
        if (image[at + 25] & 2) {
          if (!dots) pending.push_back({extent, data_length});
        } else {
          tree.files.push_back({extent, data_length});
        }
        at += length;
      }
    }
    std::sort(tree.files.begin(), tree.files.end());
    trees.push_back(tree);
  }
  return trees;
}

}  // namespace

void expect_trees_in_step(const std::string& iso) {
  std::vector<DescriptorTree> trees = descriptor_trees(iso);
  ASSERT_FALSE(trees.empty());
  for (const DescriptorTree& tree : trees) {
    SCOPED_TRACE("descriptor in sector " + std::to_string(tree.sector));
    EXPECT_EQ(tree.volume_space, host_file_size(iso) / 2048);
    EXPECT_EQ(tree.files, trees[0].files);
  }
}

static const char kReader[] = R"PY(
import os, sys, pycdlib
image, out_dir = sys.argv[1], sys.argv[2]
iso = pycdlib.PyCdlib()
try:
    iso.open(image)
    print('pvd', iso.pvd.space_size)
    trees = [('iso', 'iso_path')]
    if iso.has_joliet():
        print('svd', iso.joliet_vd.space_size)
        trees.append(('joliet', 'joliet_path'))
    for tree, key in trees:
        for top, dirs, names in iso.walk(**{key: '/'}):
            for name in names:
                path = top.rstrip('/') + '/' + name
                record = iso.get_record(**{key: path})
                out = os.path.join(out_dir, tree + path.replace('/', '_'))
                iso.get_file_from_iso(out, **{key: path})
                clean = path[:-2] if path.endswith(';1') else path
                print('file', tree, record.extent_location(), record.get_data_length(), out, clean)
except Exception as e:
    print('error', str(e).replace('\n', ' '))
)PY";

IsoContents read_iso_contents(const std::string& iso) {
  IsoContents result;
  std::string dir = make_scratch_dir("pycdlib");
  std::string out;
  if (run_python(kReader, {iso, dir}, &out) != 0) {
    result.error = "python failed: " + out;
    return result;
  }
  std::istringstream lines(out);
  std::string line;
  result.ok = true;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "error") {
      result.ok = false;
      result.error = line;
    } else if (kind == "pvd") {
      words >> result.pvd_space;
    } else if (kind == "svd") {
      words >> result.svd_space;
      result.has_joliet = true;
    } else if (kind == "file") {
      std::string tree, data_path, path;
      IsoFileInfo info;
      words >> tree >> info.extent >> info.length >> data_path;
      std::getline(words >> std::ws, path);
      info.data = read_file_bytes(data_path);
      (tree == "iso" ? result.iso_tree : result.joliet_tree)[path] = info;
    }
  }
  run("rm -rf " + shell_quote(dir));
  return result;
}

void expect_image_holds(const std::string& iso, const FileMap& files, bool joliet) {
  IsoContents c = read_iso_contents(iso);
  ASSERT_TRUE(c.ok) << c.error;
  ASSERT_EQ(c.has_joliet, joliet);
  uint32_t sectors = static_cast<uint32_t>(host_file_size(iso) / 2048);
  EXPECT_EQ(c.pvd_space, sectors);
  if (joliet) {
    EXPECT_EQ(c.svd_space, sectors);
  }
  expect_trees_in_step(iso);
  ASSERT_EQ(c.iso_tree.size(), files.size());
  EXPECT_EQ(c.joliet_tree.size(), joliet ? files.size() : 0u);
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

void IsoImageTest::SetUp() {
  joliet = GetParam();
  dir = make_scratch_dir(joliet ? "image_joliet" : "image_plain");
  files = sample_files();
  iso = build_iso(dir, files, joliet);
  ASSERT_FALSE(iso.empty());
}

void IsoImageTest::TearDown() { run("rm -rf " + shell_quote(dir)); }

std::string joliet_param_name(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Joliet" : "IsoOnly";
}

bool set_record_length(const std::string& iso, const std::string& identifier, uint32_t length) {
  Bytes image = read_file_bytes(iso);
  if (image.size() < 17 * 2048) return false;
  auto found = std::search(image.begin() + 17 * 2048, image.end(), identifier.begin(), identifier.end());
  if (found == image.end()) return false;
  size_t record = static_cast<size_t>(found - image.begin()) - 33;
  talvo::write_both32(&image[record + 10], length);
  write_file(iso, image);
  return true;
}

}  // namespace testsupport
