// mato containers in memory: table and scan mode, both byte orders, the BMP file names, missing files, and
// tables or images that pass the end.
#include "images/image_operations.h"
#include "images/mato.h"

#include <gtest/gtest.h>

#include "tests/images/image_test_helpers.h"
#include "tests/support/test_files.h"

using namespace imagetest;
using testsupport::file_exists;
using testsupport::read_file_bytes;

namespace {

const ImageBytes kDc = testsupport::build_dc(3, 2, {0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006});
const ImageBytes kPp = testsupport::build_pp(2, 2, std::vector<uint16_t>(256, 0x801F), {1, 2, 3, 4});
const ImageBytes kPp4 = testsupport::build_pp4(4, 2, std::vector<uint16_t>(16, 0x83E0), {1, 2, 3, 4, 5, 6, 7, 8});

// Test containers put 4 filler bytes behind each image.
ImageBytes mato(const std::vector<ImageBytes>& images, std::vector<uint32_t>* at, bool little_endian = false,
                size_t pad_to = 0) {
  return build_mato(images, at, little_endian, pad_to, 4);
}

std::string name(const std::string& prefix, uint32_t at) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "_%08X.bmp", at);
  return prefix + suffix;
}

bool extract(ImageBytes c, const std::string& prefix, Output* o) {
  return captured(o, [&] { return extract_mato_data(c.data(), static_cast<unsigned>(c.size()), prefix.c_str(), false, host_bmp_writer(nullptr)); });
}

int insert(ImageBytes* c, const std::string& prefix, Output* o, bool ignore_missing, int* failures) {
  return captured(o, [&] {
    return insert_mato_data(c->data(), static_cast<unsigned>(c->size()), prefix.c_str(), true, ignore_missing, false, false, host_bmp_reader(), failures);
  });
}

}  // namespace

TEST(Mato, BothByteOrdersExtractEveryImageAndTakeEditedOnesInPlace) {
  const ImageBytes new_dc = testsupport::build_dc(3, 2, {0x8421, 0x8842, 0x8C63, 0x9084, 0x94A5, 0x98C6});
  for (bool little : {false, true}) {
    std::vector<uint32_t> at;
    // Little-endian containers are known only by two exact sizes: 28948 is one.
    ImageBytes c = mato({kDc, kPp, kPp4}, &at, little, little ? 28948 : 0);
    const std::string prefix = testsupport::make_scratch_dir("mato") + "/CHG";
    Output o;
    ASSERT_TRUE(extract(c, prefix, &o)) << o.err;
    for (int i = 0; i < 3; i++) EXPECT_EQ(read_file_bytes(name(prefix, at[i])), bmp_of(std::vector<ImageBytes>{kDc, kPp, kPp4}[i]));
    testsupport::write_file(name(prefix, at[0]), bmp_of(new_dc));
    int failures = -1;
    EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 3) << o.err;
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(c, mato({new_dc, kPp, kPp4}, nullptr, little, little ? 28948 : 0));
  }
  Output o;
  EXPECT_FALSE(extract(mato({kDc}, nullptr, true, 28949), "x", &o));
  EXPECT_EQ(o.err, "The size specified in the \"mato\" header is greater than input_size!\n");
  ImageBytes not_mato = mato({kDc}, nullptr);
  not_mato[0] = 'M';
  EXPECT_EQ(insert(&not_mato, "x", &o, true, nullptr), -1);
  EXPECT_EQ(o.err, "Not a \"mato\" file.\n");
  // A big count is only a warning: the whole table is still processed.
  std::vector<uint32_t> at;
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/BIG";
  EXPECT_TRUE(extract(mato(std::vector<ImageBytes>(1001, kPp4), &at), prefix, &o));
  EXPECT_EQ(o.err, "Warning: it looks like the number of files in the \"mato\" is big: 1001\nMaybe an error happened somewhere.\n");
  EXPECT_TRUE(file_exists(prefix + "_00000FB4.bmp") && file_exists(name(prefix, at[1000])));
}

TEST(Mato, TableLeadingElsewhereRestartsInScanMode) {
  std::vector<uint32_t> at;
  ImageBytes c = mato({kDc, kPp4}, &at);
  c[19] = 4;  // entry 0 now points at the table itself
  // A DC header of width 400 behind the images is not taken by the scan.
  const uint32_t fake_at = static_cast<uint32_t>(c.size());
  c.insert(c.end(), {'D', 'C', 0x01, 0x90, 0x00, 0x01});
  c.resize(c.size() + 800, 0);
  c[6] = static_cast<unsigned char>(c.size() >> 8), c[7] = static_cast<unsigned char>(c.size());
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/SCAN";
  Output o;
  EXPECT_TRUE(extract(c, prefix, &o)) << o.err;
  EXPECT_EQ(read_file_bytes(name(prefix, at[0])), bmp_of(kDc));
  EXPECT_EQ(read_file_bytes(name(prefix, at[1])), bmp_of(kPp4));
  EXPECT_FALSE(file_exists(name(prefix, fake_at)));
  int failures = -1;
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 2) << o.err;
  EXPECT_EQ(failures, 0);
}

TEST(Mato, MissingFilesAndEntriesPastTheEnd) {
  std::vector<uint32_t> at;
  ImageBytes c = mato({kDc, kPp, kPp4}, &at);
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/MISS";
  testsupport::write_file(name(prefix, at[1]), bmp_of(kPp));
  Output o;
  int failures = -1;
  EXPECT_EQ(insert(&c, prefix, &o, true, &failures), 1);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 1);
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(o.err, "Cannot open file \"" + name(prefix, at[0]) + "\"\nCannot open file \"" + name(prefix, at[2]) + "\"\n");
  // Entry 0 past the end, entry 2's image taller than the container, a table longer than the container:
  // reported, skipped, nothing changed.
  c[16] = 0x7F;
  c[at[2] + 4] = 0xFF;
  c[8] = 0x40;
  for (uint32_t a : at) testsupport::write_file(name(prefix, a), bmp_of(kPp4));
  const ImageBytes before = c;
  EXPECT_FALSE(extract(c, prefix + "X", &o));
  EXPECT_TRUE(contains(o.err, "Error: offset 7f000014 in the \"mato\" goes beyond end of file.\n")) << o.err;
  EXPECT_TRUE(contains(o.err, "Error: image at offset") && contains(o.err, "entry table")) << o.err;
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 0);
  EXPECT_EQ(c, before);
}
