// mato containers in memory: table and scan mode, both byte orders, the BMP
// file names, and containers whose table or images pass their end.
#include "images/mato.h"

#include <gtest/gtest.h>

#include "images/dc.h"
#include "images/pp.h"
#include "images/pp4.h"
#include "tests/images/image_test_helpers.h"
#include "tests/support/test_files.h"

using namespace imagetest;
using testsupport::build_bmp;
using testsupport::build_dc;
using testsupport::build_pp;
using testsupport::build_pp4;
using testsupport::file_exists;
using testsupport::read_file_bytes;
using testsupport::write_file;

namespace {

struct Container {
  ImageBytes bytes;
  std::vector<uint32_t> offsets;  // absolute container offsets of the images
};

// A container holding the given images one after another behind its table,
// with some filler between them; entry offsets count from byte 8.
Container build_mato(const std::vector<ImageBytes>& images, bool little_endian = false,
                     size_t pad_to = 0) {
  Container c;
  auto put32 = [&](ImageBytes* b, uint32_t v) {
    little_endian ? testsupport::put_le32(b, v) : testsupport::put_be32(b, v);
  };
  uint32_t at = 16 + 4 * static_cast<uint32_t>(images.size()) + 8;
  ImageBytes body;
  for (const ImageBytes& img : images) {
    c.offsets.push_back(at);
    body.insert(body.end(), img.begin(), img.end());
    body.insert(body.end(), 4, 0xEE);
    at += static_cast<uint32_t>(img.size()) + 4;
  }
  const size_t total = std::max<size_t>(at, pad_to);
  ImageBytes& b = c.bytes;
  b = {'m', 'a', 't', 'o'};
  put32(&b, static_cast<uint32_t>(total));
  put32(&b, static_cast<uint32_t>(images.size()));
  put32(&b, 0);
  for (uint32_t off : c.offsets) put32(&b, off - 8);
  b.insert(b.end(), 8, 0xEE);
  b.insert(b.end(), body.begin(), body.end());
  b.resize(total, 0);
  return c;
}

std::vector<uint16_t> pal(int n, int salt) {
  std::vector<uint16_t> p;
  for (int i = 0; i < n; i++) p.push_back(static_cast<uint16_t>(0x8000 | ((i + salt) * 0x0421 % 0x8000)));
  return p;
}

ImageBytes sample_dc() { return build_dc(3, 2, {0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006}); }
ImageBytes sample_pp() { return build_pp(2, 2, pal(256, 1), {1, 2, 3, 4}); }
ImageBytes sample_pp4() { return build_pp4(4, 2, pal(16, 2), {1, 2, 3, 4, 5, 6, 7, 8}); }

ImageBytes expected_bmp(const ImageBytes& image) {
  ImageBytes copy = image;
  unsigned int size = 0;
  unsigned char* bmp = nullptr;
  if (image[0] == 'D') bmp = dc_to_bmp(copy.data(), static_cast<unsigned>(copy.size()), &size);
  if (image[0] == 'P') bmp = pp_to_bmp(copy.data(), static_cast<unsigned>(copy.size()), &size);
  if (image[0] == 'p') bmp = pp4_to_bmp(copy.data(), static_cast<unsigned>(copy.size()), &size);
  return take(bmp, size);
}

std::string name_for(const std::string& prefix, uint32_t at) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "_%08X.bmp", at);
  return prefix + buf;
}

bool extract(Container* c, const std::string& prefix, Output* o) {
  return captured(o, [&] {
    return extract_mato(c->bytes.data(), static_cast<unsigned>(c->bytes.size()), prefix.c_str(), false);
  });
}

int insert(Container* c, const std::string& prefix, Output* o, bool ignore_missing, int* failures) {
  return captured(o, [&] {
    return insert_mato(c->bytes.data(), static_cast<unsigned>(c->bytes.size()), prefix.c_str(), true,
                       ignore_missing, false, false, failures);
  });
}

}  // namespace

TEST(Mato, TableModeExtractsEveryImageAndInsertsEditedOnesInPlace) {
  for (bool little : {false, true}) {
    const std::vector<ImageBytes> images = {sample_dc(), sample_pp(), sample_pp4()};
    Container c = little ? build_mato(images, true, 28948) : build_mato(images);
    const std::string prefix = testsupport::make_scratch_dir("mato") + "/CHG";
    Output o;
    ASSERT_TRUE(extract(&c, prefix, &o)) << o.err;
    for (size_t i = 0; i < images.size(); i++) {
      EXPECT_EQ(read_file_bytes(name_for(prefix, c.offsets[i])), expected_bmp(images[i])) << i;
    }
    // Edited pictures go back into their own images only.
    const ImageBytes new_dc = build_dc(3, 2, {0x8421, 0x8842, 0x8C63, 0x9084, 0x94A5, 0x98C6});
    const ImageBytes new_pp4 = build_pp4(4, 2, pal(16, 2), {8, 7, 6, 5, 4, 3, 2, 1});
    write_file(name_for(prefix, c.offsets[0]), expected_bmp(new_dc));
    write_file(name_for(prefix, c.offsets[2]), expected_bmp(new_pp4));
    const Container before = c;
    int failures = -1;
    EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 3) << o.err;
    EXPECT_EQ(failures, 0);
    Container want = little ? build_mato({new_dc, sample_pp(), new_pp4}, true, 28948)
                            : build_mato({new_dc, sample_pp(), new_pp4});
    EXPECT_EQ(c.bytes, want.bytes);
    EXPECT_EQ(c.bytes.size(), before.bytes.size());
  }
}

TEST(Mato, EntryOffsetNamesTheFileByItsContainerOffset) {
  ImageBytes b = {'m', 'a', 't', 'o', 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x28};
  b.resize(0x30, 0);
  const ImageBytes dc = sample_dc();
  b.insert(b.end(), dc.begin(), dc.end());
  b[7] = static_cast<unsigned char>(b.size());
  Container c{b, {0x30}};
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/CHG";
  Output o;
  ASSERT_TRUE(extract(&c, prefix, &o));
  EXPECT_TRUE(file_exists(prefix + "_00000030.bmp"));
}

TEST(Mato, LittleEndianContainersAreKnownOnlyByTheirExactSize) {
  Container c = build_mato({sample_dc()}, true, 28948);
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/LE";
  Output o;
  EXPECT_TRUE(extract(&c, prefix, &o)) << o.err;
  EXPECT_TRUE(file_exists(name_for(prefix, c.offsets[0])));

  Container odd = build_mato({sample_dc()}, true, 28949);
  EXPECT_FALSE(extract(&odd, prefix, &o));
  EXPECT_EQ(o.err, "The size specified in the \"mato\" header is greater than input_size!\n");
  EXPECT_EQ(insert(&odd, prefix, &o, true, nullptr), -1);
  // The known size must still fit the buffer.
  Container small = build_mato({sample_dc()}, true);
  small.bytes[4] = 0x14, small.bytes[5] = 0x71, small.bytes[6] = small.bytes[7] = 0;
  EXPECT_FALSE(extract(&small, prefix, &o));
  EXPECT_TRUE(contains(o.err, "greater than input_size"));
  ImageBytes not_mato = build_mato({sample_dc()}).bytes;
  not_mato[0] = 'M';
  Container nm{not_mato, {}};
  EXPECT_FALSE(extract(&nm, prefix, &o));
  EXPECT_EQ(o.err, "Not a \"mato\" file.\n");
}

TEST(Mato, BigCountWarnsAndStillProcessesTheTable) {
  std::vector<ImageBytes> images(1001, sample_pp4());
  Container c = build_mato(images);
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/BIG";
  Output o;
  EXPECT_TRUE(extract(&c, prefix, &o));
  EXPECT_EQ(o.err,
            "Warning: it looks like the number of files in the \"mato\" is big: 1001\n"
            "Maybe an error happened somewhere.\n");
  EXPECT_TRUE(file_exists(name_for(prefix, c.offsets[1000])));
  int failures = -1;
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 1001);
  EXPECT_TRUE(contains(o.err, "Maybe an error happened somewhere?\n"));
}

TEST(Mato, TableLeadingElsewhereRestartsInScanMode) {
  Container c = build_mato({sample_dc(), sample_pp4()});
  // Make the first entry point into the filler, and plant a DC header whose
  // width of 400 the scan must not take.
  c.bytes[16] = c.bytes[17] = c.bytes[18] = 0;
  c.bytes[19] = 8;
  ImageBytes fake = {'D', 'C', 0x01, 0x90, 0x00, 0x01};
  c.bytes.insert(c.bytes.end(), fake.begin(), fake.end());
  c.bytes.resize(c.bytes.size() + 400 * 2, 0);
  const uint32_t fake_at = static_cast<uint32_t>(c.bytes.size() - 400 * 2 - 6);
  c.bytes[4] = c.bytes[5] = 0;
  c.bytes[6] = static_cast<unsigned char>(c.bytes.size() >> 8);
  c.bytes[7] = static_cast<unsigned char>(c.bytes.size());
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/SCAN";
  Output o;
  EXPECT_TRUE(extract(&c, prefix, &o)) << o.err;
  EXPECT_EQ(read_file_bytes(name_for(prefix, c.offsets[0])), expected_bmp(sample_dc()));
  EXPECT_EQ(read_file_bytes(name_for(prefix, c.offsets[1])), expected_bmp(sample_pp4()));
  EXPECT_FALSE(file_exists(name_for(prefix, fake_at)));
  // Insertion restarts the same way and counts only the scan's images.
  int failures = -1;
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 2) << o.err;
  EXPECT_EQ(failures, 0);
}

TEST(Mato, MissingFilesAreReportedUnlessIgnored) {
  Container c = build_mato({sample_dc(), sample_pp(), sample_pp4()});
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/MISS";
  write_file(name_for(prefix, c.offsets[1]), expected_bmp(sample_pp()));
  Output o;
  int failures = -1;
  EXPECT_EQ(insert(&c, prefix, &o, true, &failures), 1);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 1);
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(o.err, "Cannot open file \"" + name_for(prefix, c.offsets[0]) + "\"\nCannot open file \"" +
                       name_for(prefix, c.offsets[2]) + "\"\n");
}

TEST(Mato, EntriesAndImagesPastTheEndAreSkippedWithAMessage) {
  Container c = build_mato({sample_dc(), sample_pp4()});
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/END";
  // Entry 0 points past the end; entry 1's image claims a huge height.
  c.bytes[16] = 0x7F;
  const size_t pp4_at = c.offsets[1];
  c.bytes[pp4_at + 4] = 0xFF;
  for (const auto& o_file : c.offsets) write_file(name_for(prefix, o_file), expected_bmp(sample_pp4()));
  const Container before = c;
  Output o;
  EXPECT_FALSE(extract(&c, prefix + "X", &o));
  EXPECT_TRUE(contains(o.err, "Error: offset 7f"));
  EXPECT_TRUE(contains(o.err, "in the \"mato\" goes beyond end of file.\n"));
  int failures = 0;
  EXPECT_EQ(insert(&c, prefix, &o, false, &failures), 0);
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(c.bytes, before.bytes);
  // A count whose table would pass the end is cut to what fits.
  Container cut = build_mato({sample_dc()});
  cut.bytes[8] = 0x40;
  EXPECT_FALSE(extract(&cut, prefix + "Y", &o));
  EXPECT_TRUE(contains(o.err, "entry table"));
}
