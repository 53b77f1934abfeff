// The LZSS codec and its file wrapper: exact encoder bytes, round trips checked by an independent Python
// decoder, malformed and truncated streams, and the two operations on a genisoimage-made image.
#include "images/lzss.h"
#include "images/lzss_operations.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "tests/images/image_test_helpers.h"
#include "tests/support/image_like_data.h"
#include "tests/support/test_files.h"
#include "util/byte_order.h"

using namespace imagetest;
using testsupport::Bytes;
using testsupport::image_like_bytes;
using testsupport::random_bytes;
using testsupport::read_file_bytes;
using testsupport::TestRandom;

namespace {

Bytes file_of(uint32_t header, Bytes stream) {
  stream.insert(stream.begin(), 4, 0);
  talvo::write_le32(stream.data(), header);
  return stream;
}

}  // namespace

// Runs of zeros reach into the window's zeroed start; inputs shorter than one look-ahead and output buffers
// too small are refused.
TEST(Lzss, EncoderWritesTheExactStreamsAndRefusesShortInput) {
  EXPECT_EQ(lzss_pack(Bytes(100, 0)),
            file_of(100, {0x00, 0xDC, 0xFF, 0xFF, 0xFF, 0x11, 0xF0, 0x23, 0xF0, 0x35, 0xF0, 0x47, 0x70}));
  Bytes abc;
  for (int i = 0; i < 60; ++i) abc.push_back("abc"[i % 3]);
  EXPECT_EQ(lzss_pack(abc), file_of(60, {0x07, 0x61, 0x62, 0x63, 0xEE, 0xFF, 0x00, 0xF0, 0x12, 0xF0, 0x18, 0}));
  EXPECT_TRUE(lzss_pack(Bytes(17, 'x')).empty());
  Bytes stream(12);
  EXPECT_EQ(lzss_compress(stream.data(), 11, abc.data(), 60), -1);  // one byte short of the stream
  EXPECT_EQ(lzss_compress(stream.data(), 12, abc.data(), 60), 12);
}

// Our encoder's output and random or mutated streams, decoded by a decoder sharing no code with ours. Sizes
// sit around the look-ahead and window boundaries and past where the output buffer follows the input.
TEST(Lzss, AgreesWithAnIndependentDecoder) {
  std::map<std::string, Bytes> files;
  std::map<std::string, std::pair<Bytes, unsigned long long>> ours;
  for (unsigned size : {18, 19, 34, 35, 100, 4077, 4078, 4079, 4096, 4097, 4113, 4114, 8210, 65536, 250001}) {
    const std::string n = std::to_string(size);
    for (const auto& [name, data] : {std::pair{"zero" + n, Bytes(size, 0)}, std::pair{"rand" + n, random_bytes(size, size)},
                                     std::pair{"image" + n, image_like_bytes(size, size * 3 + 1)}}) {
      files[name] = lzss_pack(data);
      EXPECT_EQ(lzss_unpack(files[name]), data) << name;
      ours[name] = {data, data.size()};
    }
  }
  // Random and mutated streams into a heap buffer of exactly `capacity` bytes: the decoder stays inside both
  // buffers (sanitizer), counts what it could not store, and agrees with the reference.
  TestRandom rng(fuzz_seed(2024));
  const Bytes valid = lzss_pack(image_like_bytes(3000, 99));
  for (int i = 0; i < 3000; ++i) {
    Bytes stream(valid.begin() + 4, valid.end());
    if (i % 2 == 0) stream = random_bytes(rng.below(400), rng.next());
    for (uint32_t k = i % 2 ? rng.below(8) + 1 : 0; k > 0; --k) {
      stream[rng.below(static_cast<uint32_t>(stream.size()))] ^= static_cast<unsigned char>(1 + rng.below(255));
    }
    if (i % 2) stream.resize(rng.below(static_cast<uint32_t>(stream.size()) + 1));
    const unsigned capacity = rng.below(4000);
    unsigned long long total = 0;
    const Bytes src = stream;  // exactly its size: the sanitizer sees a read past its end
    unsigned char* dst = static_cast<unsigned char*>(std::malloc(capacity ? capacity : 1));
    const int n = lzss_uncompress(dst, capacity, src.data(), static_cast<int>(src.size()), &total);
    ASSERT_TRUE(n >= 0 && static_cast<unsigned>(n) <= capacity) << n;
    const Bytes out = take(dst, static_cast<size_t>(n));
    EXPECT_TRUE(out.size() == total || (out.size() == capacity && total > capacity));
    if (i % 20 == 0) files["s" + std::to_string(i)] = file_of(capacity, stream), ours["s" + std::to_string(i)] = {out, total};
  }
  const std::string dir = testsupport::make_scratch_dir("lzss_py");
  for (const auto& f : files) testsupport::write_file(dir + "/" + f.first + ".lzs", f.second);
  std::string out;
  const std::string script = std::string(TALVO_SOURCE_DIR) + "/tests/images/lzss_decode.py";
  ASSERT_EQ(testsupport::run(std::string(TALVO_PYTHON) + " " + testsupport::shell_quote(script) + " " +
                             testsupport::shell_quote(dir), &out), 0);
  std::map<std::string, std::pair<Bytes, unsigned long long>> theirs;
  std::istringstream lines(out);
  std::string name;
  unsigned long long total, header;
  while (lines >> name >> total >> header) theirs[name] = {read_file_bytes(dir + "/" + name + ".out"), total};
  EXPECT_TRUE(theirs == ours);
}

TEST(Lzss, FileHeadersAreCheckedAndNeverOverrun) {
  const Bytes stream = {0x01, 0x41, 0xEE, 0xFF};  // decodes to 19 bytes
  const std::string mismatch = "Warning: returned number of uncompressed bytes is not same as expected: 19 != ";
  const struct { Bytes file; bool ok; size_t kept; std::string message; } cases[] = {
      {{0x05, 0x00, 0x00, 0x00}, false, 0, "Data too small!\n"},
      {file_of(0, stream), false, 0, "Uncompressed length at header is 0!\n"},
      {file_of(0x4000001, stream), false, 0, "Uncompressed length at header seems liks is very big: 67108865\n"},
      {file_of(10, {0x00}), false, 0, "Error: lzss_uncompress returned: 0\n"},
      // Short streams keep what they decode; long ones stop at the header's length.
      {file_of(0x4000000, stream), true, 19, mismatch + "67108864\n"},
      {file_of(1, stream), true, 1, mismatch + "1\n"},
  };
  for (const auto& c : cases) {
    bool ok = !c.ok;
    std::string err;
    EXPECT_EQ(lzss_unpack(c.file, &ok, &err), Bytes(c.kept, c.ok ? 'A' : 0)) << c.message;
    EXPECT_EQ(ok, c.ok) << c.message;
    EXPECT_EQ(err, c.message);
  }
}

// The two operations on an image with an LZSS file, a small plain file and a bystander
// no operation may touch. Packing grows the small file past its sector: it moves to the image's end.
TEST(Lzss, OperationsRefuseWithoutChangeAndGrowFilesByRelocation) {
  const std::string dir = testsupport::make_scratch_dir("lzss_ops"), iso = dir + "/disc.iso", out = dir + "/out.bin";
  const Bytes original = image_like_bytes(20000, 77), bystander = random_bytes(3000, 2), input = image_like_bytes(40000, 5);
  testsupport::write_file(dir + "/src/IMG/PACKED.LZS", lzss_pack(original));
  testsupport::write_file(dir + "/src/IMG/SMALL.BIN", Bytes(100, 'S'));
  testsupport::write_file(dir + "/src/OTHER.BIN", bystander);
  testsupport::write_file(dir + "/input.bin", input);
  ASSERT_TRUE(sample::make_iso(dir + "/src", iso));
  const Bytes image = read_file_bytes(iso);
  const struct { bool compress; std::string path, file, message; } refusals[] = {
      {false, "/IMG/PACKED.LZS", iso, "Error: output file is the disc image itself: " + iso + "\n"},
      {true, "/IMG/SMALL.BIN", dir + "/missing.bin", "Error opening file \"" + dir + "/missing.bin\""},
      {true, "/IMG/NOPE.BIN", dir + "/input.bin", "\"/IMG/NOPE.BIN\" was not found in the iso.\n"},
  };
  Output o;
  for (const auto& k : refusals) {
    EXPECT_FALSE(captured(&o, [&] {
      return k.compress ? compress_lzss(iso.c_str(), k.path.c_str(), k.file.c_str())
                        : uncompress_lzss(iso.c_str(), k.path.c_str(), k.file.c_str());
    }));
    EXPECT_EQ(o.out + o.err, k.message);
    EXPECT_FALSE(testsupport::file_exists(out));
    EXPECT_TRUE(read_file_bytes(iso) == image) << k.message;
  }
  ASSERT_TRUE(captured(&o, [&] { return uncompress_lzss(iso.c_str(), "/IMG/PACKED.LZS", out.c_str()); })) << o.err;
  EXPECT_EQ(read_file_bytes(out), original);
  ASSERT_TRUE(captured(&o, [&] { return compress_lzss(iso.c_str(), "/IMG/SMALL.BIN", (dir + "/input.bin").c_str()); })) << o.err;
  Bytes stored, other;
  EXPECT_TRUE(testsupport::isoinfo_extract(iso, "/IMG/SMALL.BIN", &stored) && stored == lzss_pack(input));
  // The volume size in the primary descriptor covers the grown image.
  const Bytes now = read_file_bytes(iso);
  EXPECT_EQ(talvo::read_le32(&now[16 * 2048 + 80]) * 2048ull, now.size());
  EXPECT_TRUE(testsupport::isoinfo_extract(iso, "/OTHER.BIN", &other) && other == bystander);
}
