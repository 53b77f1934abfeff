// Mato containers through host BMP files: little-endian containers are known only by two exact sizes.
#include "images/image_operations.h"
#include "images/mato.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/images/image_test_helpers.h"
#include "tests/support/test_files.h"

using namespace imagetest;
using testsupport::build_dc;
using testsupport::build_pp;
using testsupport::build_pp4;
using testsupport::read_file_bytes;

namespace {

const std::vector<uint16_t> kPalette = [] {
  std::vector<uint16_t> p(256);
  for (int i = 0; i < 256; i++) p[i] = static_cast<uint16_t>(0x8000 | (i * 97 + 5) % 0x8000);
  return p;
}();
const ImageBytes kDc = build_dc(3, 2, {0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006}),
                 kPp = build_pp(2, 2, kPalette, {1, 2, 3, 4}),
                 kPp4 = build_pp4(4, 2, {kPalette.begin(), kPalette.begin() + 16}, {1, 2, 3, 4, 5, 6, 7, 8});

// The BMP file name of a mato entry.
std::string name(const std::string& prefix, uint32_t at) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "_%08X.bmp", at);
  return prefix + suffix;
}

bool mato_extract(ImageBytes c, const std::string& prefix, Output* o) {
  return captured(o, [&] {
    return extract_mato_data(c.data(), static_cast<unsigned>(c.size()), prefix.c_str(), false, host_bmp_writer(nullptr));
  });
}

int mato_insert(ImageBytes* c, const std::string& prefix, Output* o, int* failures = nullptr) {
  return captured(o, [&] {
    return insert_mato_data(c->data(), static_cast<unsigned>(c->size()), prefix.c_str(), true, false, false, false,
                            host_bmp_reader(), failures);
  });
}

}  // namespace

// 28948 is a known little-endian size; any other is refused.
TEST(Mato, LittleEndianContainersOfAKnownSizeRoundTrip) {
  const ImageBytes new_dc = build_dc(3, 2, {0x8421, 0x8842, 0x8C63, 0x9084, 0x94A5, 0x98C6});
  std::vector<uint32_t> at;
  ImageBytes c = build_mato({kDc, kPp, kPp4}, &at, true, 28948);
  const std::string prefix = testsupport::make_scratch_dir("mato") + "/CHG";
  Output o;
  ASSERT_TRUE(mato_extract(c, prefix, &o)) << o.err;
  EXPECT_EQ(read_file_bytes(name(prefix, at[2])), bmp_of(kPp4));
  testsupport::write_file(name(prefix, at[0]), bmp_of(new_dc));
  int failures = -1;
  EXPECT_EQ(mato_insert(&c, prefix, &o, &failures), 3) << o.err;
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(c, build_mato({new_dc, kPp, kPp4}, nullptr, true, 28948));
  EXPECT_FALSE(mato_extract(build_mato({kDc}, nullptr, true, 28949), "x", &o));
  EXPECT_EQ(o.err, "The size specified in the \"mato\" header is greater than input_size!\n");
}
