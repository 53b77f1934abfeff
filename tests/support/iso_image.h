// ISO images for tests: made with genisoimage from a list of files and read
// back, both trees, with pycdlib, an independent reader that also refuses
// records that disagree between the trees or extents outside the volume.
#ifndef TALVO_TESTS_SUPPORT_ISO_IMAGE_H
#define TALVO_TESTS_SUPPORT_ISO_IMAGE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_files.h"

namespace testsupport {

using sample::FileMap;
using sample::random_bytes;

// The size of a host file, 0 when it cannot be read.
uint64_t host_file_size(const std::string& path);

using sample::build_iso;

// Expects every descriptor to give the image's size in sectors and every
// tree to describe the same files.
void expect_trees_in_step(const std::string& iso);

struct IsoFileInfo {
  uint32_t extent = 0;
  uint32_t length = 0;
  Bytes data;
};

// What pycdlib sees: the volume space size of the primary and (when present)
// Joliet descriptors, and every file of each tree by path (without ";1").
struct IsoContents {
  bool ok = false;
  std::string error;  // pycdlib's complaint when ok is false
  uint32_t pvd_space = 0;
  uint32_t svd_space = 0;
  bool has_joliet = false;
  std::map<std::string, IsoFileInfo> iso_tree;
  std::map<std::string, IsoFileInfo> joliet_tree;
};

IsoContents read_iso_contents(const std::string& iso);

// Expects that pycdlib finds exactly `files` in both trees, with the same
// records in each, and both volume descriptors giving the image's size.
void expect_image_holds(const std::string& iso, const FileMap& files, bool joliet);

// A test over an image of sample_files(), made without (parameter false) and
// with a Joliet tree; the image (up to tens of MB) goes with the test.
class IsoImageTest : public ::testing::TestWithParam<bool> {
 protected:
  virtual FileMap sample_files() const = 0;
  void SetUp() override;
  void TearDown() override;
  bool joliet = false;
  std::string dir, iso;
  FileMap files;
};

// Names the instantiations of an IsoImageTest "IsoOnly" and "Joliet".
std::string joliet_param_name(const ::testing::TestParamInfo<bool>& info);

// Patches the data length (both orders) of the first directory record whose
// identifier is `identifier` (as stored, e.g. "FILE.BIN;1" in the ISO tree).
// Returns false when there is none or the file cannot be written.
bool set_record_length(const std::string& iso, const std::string& identifier, uint32_t length);

}  // namespace testsupport

#endif
