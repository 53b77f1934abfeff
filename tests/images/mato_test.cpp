// mato containers in memory: table and scan mode, both byte orders, the BMP
// file names, missing files, and tables or images that pass the end.
#include "images/mato.h"

#include <gtest/gtest.h>

#include "images/dc.h"
#include "images/pp.h"
#include "images/pp4.h"
#include "tests/images/image_test_helpers.h"
#include "tests/support/test_files.h"

using namespace imagetest;
using testsupport::file_exists;

namespace {

// The images one after another behind the table, 4 filler bytes after each.
// offsets receives their absolute container offsets.
ImageBytes build_mato(const std::vector<ImageBytes>& images, std::vector<uint32_t>* offsets,
                      bool little_endian = false, size_t pad_to = 0) {
  auto put32 = [&](ImageBytes* b, uint32_t v) { little_endian ? testsupport::put_le32(b, v) : testsupport::put_be32(b, v); };
  ImageBytes b = {'m', 'a', 't', 'o'}, body;
  uint32_t at = 16 + 4 * static_cast<uint32_t>(images.size());
  offsets->clear();
  for (const ImageBytes& img : images) {
    offsets->push_back(at);
    body.insert(body.end(), img.begin(), img.end());
    body.insert(body.end(), 4, 0xEE);
    at += static_cast<uint32_t>(img.size()) + 4;
  }
  put32(&b, static_cast<uint32_t>(std::max<size_t>(at, pad_to)));
  put32(&b, static_cast<uint32_t>(images.size()));
  put32(&b, 0);
  for (uint32_t off : *offsets) put32(&b, off - 8);
  b.insert(b.end(), body.begin(), body.end());
  b.resize(std::max<size_t>(at, pad_to), 0);
  return b;
}

const std::vector<uint16_t> kPalette(256, 0x801F);
const ImageBytes kDc = testsupport::build_dc(3, 2, {0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006});
const ImageBytes kPp = testsupport::build_pp(2, 2, kPalette, {1, 2, 3, 4});
const ImageBytes kPp4 = testsupport::build_pp4(4, 2, std::vector<uint16_t>(16, 0x83E0), {1, 2, 3, 4, 5, 6, 7, 8});

ImageBytes bmp_of(ImageBytes image) {
  unsigned int size = 0;
  unsigned char* bmp = image[0] == 'D' ? dc_to_bmp(image.data(), static_cast<unsigned>(image.size()), &size)
                       : image[0] == 'P' ? pp_to_bmp(image.data(), static_cast<unsigned>(image.size()), &size)
                                         : pp4_to_bmp(image.data(), static_cast<unsigned>(image.size()), &size);
  return take(bmp, size);
}

std::string name(const std::string& prefix, uint32_t at) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "_%08X.bmp", at);
  return prefix + suffix;
}

bool extract(ImageBytes c, const std::string& prefix, Output* o) {
  return captured(o, [&] { return extract_mato(c.data(), static_cast<unsigned>(c.size()), prefix.c_str(), false); });
}

int insert(ImageBytes* c, const std::string& prefix, Output* o, bool ignore_missing, int* failures) {
  return captured(o, [&] {
    return insert_mato(c->data(), static_cast<unsigned>(c->size()), prefix.c_str(), true, ignore_missing, false, false, failures);
  });
}

}  // namespace

TEST(Mato, BothByteOrdersExtractEveryImageAndTakeEditedOnesInPlace) {
  const ImageBytes new_dc = testsupport::build_dc(3, 2, {0x8421, 0x8842, 0x8C63, 0x9084, 0x94A5, 0x98C6});
  for (bool little : {false, true}) {
    std::vector<uint32_t> at, unused;
    ImageBytes c = build_mato({kDc, kPp, kPp4}, &at, little, little ? 28948 : 0);
    const std::string prefix = testsupport::make_scratch_dir("mato") + "/CHG";
    Output o;
    ASSERT_TRUE(extract(c, prefix, &o)) << o.err;
    EXPECT_EQ(testsupport::read_file_bytes(name(prefix, at[0])), bmp_of(kDc));
    EXPECT_EQ(testsupport::read_file_bytes(name(prefix, at[1])), bmp_of(kPp));
    EXPECT_EQ(testsupport::read_file_bytes(name(prefix, at[2])), bmp_of(kPp4));
    testsupport::write_file(name(prefix, at[0]), bmp_of(new_dc));
    int failures = -1;
    EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 3) << o.err;
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(c, build_mato({new_dc, kPp, kPp4}, &unused, little, little ? 28948 : 0));
  }
  // Little-endian containers are known only by two exact sizes.
  std::vector<uint32_t> at;
  Output o;
  EXPECT_FALSE(extract(build_mato({kDc}, &at, true, 28949), "x", &o));
  EXPECT_EQ(o.err, "The size specified in the \"mato\" header is greater than input_size!\n");
  ImageBytes not_mato = build_mato({kDc}, &at);
  not_mato[0] = 'M';
  EXPECT_EQ(insert(&not_mato, "x", &o, true, nullptr), -1);
  EXPECT_EQ(o.err, "Not a \"mato\" file.\n");
}

TEST(Mato, BigCountWarnsAndStillProcessesTheTable) {
  std::vector<uint32_t> at;
  ImageBytes c = build_mato(std::vector<ImageBytes>(1001, kPp4), &at);
  EXPECT_EQ(at[0], 0x0FB4u);
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/BIG";
  Output o;
  EXPECT_TRUE(extract(c, prefix, &o));
  EXPECT_EQ(o.err, "Warning: it looks like the number of files in the \"mato\" is big: 1001\nMaybe an error happened somewhere.\n");
  EXPECT_TRUE(file_exists(prefix + "_00000FB4.bmp"));
  EXPECT_TRUE(file_exists(name(prefix, at[1000])));
}

TEST(Mato, TableLeadingElsewhereRestartsInScanMode) {
  std::vector<uint32_t> at;
  ImageBytes c = build_mato({kDc, kPp4}, &at);
  c[19] = 4;  // entry 0 now points at the table itself
  // A DC header of width 400 behind the images is not taken by the scan.
  const ImageBytes fake = {'D', 'C', 0x01, 0x90, 0x00, 0x01};
  const uint32_t fake_at = static_cast<uint32_t>(c.size());
  c.insert(c.end(), fake.begin(), fake.end());
  c.resize(c.size() + 800, 0);
  c[6] = static_cast<unsigned char>(c.size() >> 8), c[7] = static_cast<unsigned char>(c.size());
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/SCAN";
  Output o;
  EXPECT_TRUE(extract(c, prefix, &o)) << o.err;
  EXPECT_EQ(testsupport::read_file_bytes(name(prefix, at[0])), bmp_of(kDc));
  EXPECT_EQ(testsupport::read_file_bytes(name(prefix, at[1])), bmp_of(kPp4));
  EXPECT_FALSE(file_exists(name(prefix, fake_at)));
  int failures = -1;
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 2) << o.err;
  EXPECT_EQ(failures, 0);
}

TEST(Mato, MissingFilesAndEntriesPastTheEnd) {
  std::vector<uint32_t> at;
  ImageBytes c = build_mato({kDc, kPp, kPp4}, &at);
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
  // Entry 0 past the end, entry 2's image taller than the container, and a
  // table longer than the container: reported, skipped, nothing changed.
  c[16] = 0x7F;
  c[at[2] + 4] = 0xFF;
  c[8] = 0x40;
  for (uint32_t a : at) testsupport::write_file(name(prefix, a), bmp_of(kPp4));
  const ImageBytes before = c;
  EXPECT_FALSE(extract(c, prefix + "X", &o));
  EXPECT_TRUE(contains(o.err, "Error: offset 7f000014 in the \"mato\" goes beyond end of file.\n")) << o.err;
  EXPECT_TRUE(contains(o.err, "Error: image at offset"));
  EXPECT_TRUE(contains(o.err, "entry table"));
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 0);
  EXPECT_EQ(c, before);
}
