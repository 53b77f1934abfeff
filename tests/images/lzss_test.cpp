// The LZSS codec and its file wrapper: exact encoder bytes where the format
// fixes them, round trips checked by an independent Python decoder, malformed
// and truncated streams, and the two operations on a genisoimage-made image.
#include "images/lzss.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/image_like_data.h"
#include "tests/support/test_files.h"
#include "util/byte_order.h"

using testsupport::Bytes;
using testsupport::TestRandom;

namespace {

// Copies a malloc'd result into a vector and frees it; empty for null.
Bytes take(unsigned char* p, size_t size) {
  Bytes out(p, p ? p + size : p);
  std::free(p);
  return out;
}

// The LZSS file for data (empty when refused); what was said on stderr in *err.
Bytes pack(const Bytes& data, std::string* err = nullptr) {
  unsigned int size = 0;
  testing::internal::CaptureStderr();
  unsigned char* out = compress_lzss(data.data(), static_cast<unsigned>(data.size()), &size);
  const std::string said = testing::internal::GetCapturedStderr();
  if (err) *err = said;
  return take(out, size);
}

// Decodes an LZSS file from an exact-size heap copy, so that the sanitizer
// build sees any read past its end. *ok tells a refusal from empty output.
Bytes unpack(const Bytes& file, bool* ok, std::string* err = nullptr) {
  unsigned char* copy = static_cast<unsigned char*>(std::malloc(file.size() + 1));
  std::copy(file.begin(), file.end(), copy);
  unsigned int size = 0;
  testing::internal::CaptureStderr();
  unsigned char* out = uncompress_lzss(copy, static_cast<unsigned>(file.size()), &size);
  const std::string said = testing::internal::GetCapturedStderr();
  if (err) *err = said;
  std::free(copy);
  *ok = out != nullptr;
  return take(out, size);
}

// Decodes a raw stream into a heap buffer of exactly capacity bytes.
Bytes decode_stream(const Bytes& stream, unsigned capacity, unsigned long long* total = nullptr) {
  unsigned char* src = static_cast<unsigned char*>(std::malloc(stream.size() + 1));
  std::copy(stream.begin(), stream.end(), src);
  unsigned char* dst = static_cast<unsigned char*>(std::malloc(capacity + 1));
  const int n = lzss_uncompress(dst, capacity, src, static_cast<int>(stream.size()), total);
  std::free(src);
  EXPECT_TRUE(n >= 0 && static_cast<unsigned>(n) <= capacity) << n;
  return take(dst, n > 0 ? n : 0);
}

Bytes file_of(uint32_t header, const Bytes& stream) {
  Bytes file(4 + stream.size());
  talvo::write_le32(file.data(), header);
  std::copy(stream.begin(), stream.end(), file.begin() + 4);
  return file;
}

Bytes hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  unsigned value;
  while (in >> std::hex >> value) out.push_back(static_cast<unsigned char>(value));
  return out;
}

// Runs the independent decoder over named LZSS files in one Python process:
// per name, the output cut at the header's length and the whole stream's length.
std::map<std::string, std::pair<Bytes, unsigned long long>> python_decode(
    const std::map<std::string, Bytes>& files) {
  const std::string dir = testsupport::make_scratch_dir("lzss_py");
  for (const auto& f : files) testsupport::write_file(dir + "/" + f.first + ".lzs", f.second);
  std::string out;
  const std::string script = std::string(TALVO_SOURCE_DIR) + "/tests/images/lzss_decode.py";
  EXPECT_EQ(testsupport::run("/usr/bin/python3 " + testsupport::shell_quote(script) + " " +
                                 testsupport::shell_quote(dir),
                             &out),
            0);
  std::map<std::string, std::pair<Bytes, unsigned long long>> result;
  std::istringstream lines(out);
  std::string name;
  unsigned long long total, header;
  while (lines >> name >> total >> header) {
    result[name] = {testsupport::read_file_bytes(dir + "/" + name + ".out"), total};
  }
  EXPECT_EQ(result.size(), files.size());
  return result;
}

}  // namespace

TEST(Lzss, EncoderWritesTheExactStreamsAndRefusesShortInput) {
  const Bytes zeros = pack(Bytes(100, 0));
  EXPECT_EQ(zeros, file_of(100, hex("00 DC FF FF FF 11 F0 23 F0 35 F0 47 70")));
  EXPECT_EQ(zeros.size(), 17u);
  std::string abc;
  for (int i = 0; i < 20; ++i) abc += "abc";
  EXPECT_EQ(pack(Bytes(abc.begin(), abc.end())),
            file_of(60, hex("07 61 62 63 EE FF 00 F0 12 F0 18 00")));

  std::string err;
  for (unsigned size : {0u, 1u, 10u, 17u}) {
    EXPECT_TRUE(pack(Bytes(size, 'x'), &err).empty()) << size;
    EXPECT_EQ(err, "Error: lzss_compress returned: 0\n");
  }
  bool ok = false;
  EXPECT_EQ(unpack(pack(Bytes(18, 'x')), &ok), Bytes(18, 'x'));  // the smallest input encoded

  const Bytes noise = testsupport::random_bytes(1000, 7);
  const Bytes grown = pack(noise, &err);
  EXPECT_EQ(err, "Warning: compressed size is bigger than uncompressed: " +
                     std::to_string(grown.size()) + " > 1000\n");
  EXPECT_EQ(unpack(grown, &ok), noise);
}

// Our encoder's output must decode, by a decoder that shares no code with
// ours, to the input: sizes around the look-ahead and window boundaries, and
// past the size from which the output buffer is sized from the input.
TEST(Lzss, RoundTripsAgreeWithAnIndependentDecoder) {
  std::map<std::string, Bytes> originals, files;
  for (unsigned size : {18, 19, 20, 34, 35, 36, 100, 4077, 4078, 4079, 4095, 4096, 4097, 4113,
                        4114, 4131, 8192, 8210, 12289, 65536, 250001}) {
    const std::string n = std::to_string(size);
    originals["zero" + n] = Bytes(size, 0);
    originals["rand" + n] = testsupport::random_bytes(size, size);
    originals["image" + n] = testsupport::image_like_bytes(size, size * 3 + 1);
  }
  for (const auto& o : originals) {
    const Bytes& file = files[o.first] = pack(o.second);
    ASSERT_GE(file.size(), 5u) << o.first;
    EXPECT_EQ(talvo::read_le32(file.data()), o.second.size()) << o.first;
    bool ok = false;
    EXPECT_EQ(unpack(file, &ok), o.second) << o.first;
  }
  EXPECT_LT(files["image65536"].size(), 65536u / 2) << "image-like data should shrink";
  const auto decoded = python_decode(files);
  for (const auto& o : originals) {
    auto it = decoded.find(o.first);
    ASSERT_NE(it, decoded.end()) << o.first;
    EXPECT_TRUE(it->second.first == o.second) << o.first;
    EXPECT_EQ(it->second.second, o.second.size()) << o.first;
  }
}

TEST(Lzss, EncoderIgnoresEarlierCallsAndReportsAFullBuffer) {
  // Short inputs drain the look-ahead before the window's first bytes are
  // rewritten: they are the ones that would see state left by a longer call.
  std::vector<Bytes> probes = {testsupport::image_like_bytes(5000, 6),
                               hex("00 00 02 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00")};
  TestRandom rng(3);
  for (unsigned size = 18; size < 35; ++size) {
    for (int k = 0; k < 10; ++k) {
      Bytes probe(size);
      for (unsigned char& b : probe) b = static_cast<unsigned char>(rng.below(4) ? 0 : rng.below(3));
      probes.push_back(probe);
    }
  }
  for (const Bytes& probe : probes) {
    const Bytes alone = pack(probe);
    pack(testsupport::random_bytes(9000, rng.next()));
    EXPECT_EQ(pack(probe), alone) << probe.size();
  }

  const Bytes data = testsupport::image_like_bytes(3000, 11);
  Bytes dst(4000);
  const int needed = lzss_compress(dst.data(), 4000, data.data(), 3000);
  ASSERT_GT(needed, 0);
  for (int capacity : {0, 1, needed / 2, needed - 1}) {
    EXPECT_EQ(lzss_compress(dst.data(), capacity, data.data(), 3000), -1) << capacity;
  }
  EXPECT_EQ(lzss_compress(dst.data(), needed, data.data(), 3000), needed);
}

TEST(Lzss, DecoderFollowsTheWindowRulesAndStopsCleanly) {
  const std::pair<const char*, std::string> cases[] = {
      {"01 41 EE FF", std::string(19, 'A')},  // a reference to the byte just written repeats it
      {"07 58 59 5A EF 1F", "XYZYZYZ"},       // length in B's high nibble, position in its low one
      {"00 00 00", std::string(3, '\0')},     // the window starts as zeros, not spaces
      {"FF 61", "a"},                         // a last group may end early
      {"", ""},
  };
  for (const auto& c : cases) {
    const Bytes out = decode_stream(hex(c.first), 100);
    EXPECT_EQ(std::string(out.begin(), out.end()), c.second) << c.first;
  }
  // Every prefix of a stream decodes to a prefix of its data, never less
  // than a shorter prefix did; units cut short produce nothing.
  const Bytes data = testsupport::image_like_bytes(5000, 21);
  const Bytes file = pack(data);
  const Bytes stream(file.begin() + 4, file.end());
  size_t previous = 0;
  for (size_t cut = 0; cut <= stream.size(); cut += (cut < 300 ? 1 : 13)) {
    unsigned long long total = 0;
    const Bytes out = decode_stream(Bytes(stream.begin(), stream.begin() + cut), 5000, &total);
    ASSERT_TRUE(out.size() <= data.size() && std::equal(out.begin(), out.end(), data.begin()))
        << cut;
    EXPECT_GE(out.size(), previous) << cut;
    EXPECT_EQ(total, out.size()) << cut;
    previous = out.size();
  }
  EXPECT_EQ(decode_stream(stream, 5000), data);
}

TEST(Lzss, FileHeadersAreCheckedAndNeverOverrun) {
  const Bytes stream = hex("01 41 EE FF");  // decodes to 19 bytes
  const std::string mismatch = "Warning: returned number of uncompressed bytes is not same as expected: 19 != ";
  struct Case {
    Bytes file;
    bool ok;
    size_t kept;
    std::string message;
  };
  const Case cases[] = {
      {Bytes(), false, 0, "Data too small!\n"},
      {hex("05 00 00 00"), false, 0, "Data too small!\n"},
      {file_of(0, stream), false, 0, "Uncompressed length at header is 0!\n"},
      {file_of(0x4000001, stream), false, 0,
       "Uncompressed length at header seems liks is very big: 67108865\n"},
      {file_of(0xFFFFFFFF, stream), false, 0,
       "Uncompressed length at header seems liks is very big: 4294967295\n"},
      {file_of(10, hex("00")), false, 0, "Error: lzss_uncompress returned: 0\n"},
      {file_of(19, stream), true, 19, ""},
      // Short streams keep what they decode; long ones stop at the header's length.
      {file_of(0x4000000, stream), true, 19, mismatch + "67108864\n"},
      {file_of(100, stream), true, 19, mismatch + "100\n"},
      {file_of(5, stream), true, 5, mismatch + "5\n"},
      {file_of(1, stream), true, 1, mismatch + "1\n"},
  };
  for (const Case& c : cases) {
    bool ok = !c.ok;
    std::string err;
    EXPECT_EQ(unpack(c.file, &ok, &err), Bytes(c.kept, c.ok ? 'A' : 0)) << c.message;
    EXPECT_EQ(ok, c.ok) << c.message;
    EXPECT_EQ(err, c.message);
  }
}

// Random and mutated streams: the decoder stays inside both buffers (the
// sanitizer build checks that) and agrees with the independent decoder.
TEST(Lzss, RandomAndMutatedStreamsAreDecodedSafelyAndAlike) {
  TestRandom rng(2024);
  const Bytes valid = pack(testsupport::image_like_bytes(3000, 99));
  std::map<std::string, Bytes> files;
  std::map<std::string, std::pair<Bytes, unsigned long long>> ours;
  for (int i = 0; i < 3000; ++i) {
    Bytes stream;
    if (i % 2 == 0) {
      stream = testsupport::random_bytes(rng.below(400), rng.next());
    } else {
      stream.assign(valid.begin() + 4, valid.end());
      for (uint32_t k = rng.below(8) + 1; k > 0; --k) {
        stream[rng.below(static_cast<uint32_t>(stream.size()))] ^=
            static_cast<unsigned char>(1 + rng.below(255));
      }
      stream.resize(rng.below(static_cast<uint32_t>(stream.size()) + 1));
    }
    const unsigned capacity = rng.below(4000);
    unsigned long long total = 0;
    const Bytes out = decode_stream(stream, capacity, &total);
    EXPECT_TRUE(out.size() == total || (out.size() == capacity && total > capacity));
    if (i % 20 == 0) {
      const std::string name = "s" + std::to_string(i);
      files[name] = file_of(capacity, stream);
      ours[name] = {out, total};
    }
  }
  EXPECT_TRUE(python_decode(files) == ours);
}

namespace {

struct Captured {
  bool result;
  std::string out;
  std::string err;
};

template <typename F>
Captured capture(F f) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Captured c;
  c.result = f();
  c.out = testing::internal::GetCapturedStdout();
  c.err = testing::internal::GetCapturedStderr();
  return c;
}

// An image with an LZSS file, a large and a small plain file, a file with a
// bad LZSS header, and a bystander that no operation may touch.
class LzssOperations : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::make_scratch_dir("lzss_ops");
    original_ = testsupport::image_like_bytes(20000, 77);
    testsupport::write_file(dir_ + "/src/IMG/PACKED.LZS", pack(original_));
    testsupport::write_file(dir_ + "/src/IMG/BIG.BIN", testsupport::random_bytes(60000, 1));
    testsupport::write_file(dir_ + "/src/IMG/SMALL.BIN", Bytes(100, 'S'));
    testsupport::write_file(dir_ + "/src/IMG/ZERO.LZS", hex("00 00 00 00 FF 41 42"));
    testsupport::write_file(dir_ + "/src/OTHER.BIN", testsupport::random_bytes(3000, 2));
    iso_ = dir_ + "/disc.iso";
    ASSERT_TRUE(testsupport::make_iso(dir_ + "/src", iso_));
  }

  Bytes extract(const std::string& path) {
    Bytes data;
    EXPECT_TRUE(testsupport::isoinfo_extract(iso_, path, &data)) << path;
    return data;
  }

  std::string dir_;
  std::string iso_;
  Bytes original_;
};

}  // namespace

TEST_F(LzssOperations, UncompressWritesTheDecodedFileOrNothing) {
  const Bytes image = testsupport::read_file_bytes(iso_);
  const std::string out = dir_ + "/out.bin";
  const std::string cases[][3] = {
      {"/IMG/NOPE.LZS", out, "\"/IMG/NOPE.LZS\" was not found in the iso.\n"},
      {"/IMG/ZERO.LZS", out, "Uncompressed length at header is 0!\n"},
      {"/IMG/PACKED.LZS", iso_, "Error: output file is the disc image itself: " + iso_ + "\n"},
  };
  for (const auto& k : cases) {
    const Captured c =
        capture([&] { return uncompress_lzss(iso_.c_str(), k[0].c_str(), k[1].c_str()); });
    EXPECT_FALSE(c.result) << k[0];
    EXPECT_EQ(c.err, k[2]);
    EXPECT_FALSE(testsupport::file_exists(out)) << k[0];
  }
  const Captured c = capture([&] { return uncompress_lzss(iso_.c_str(), "/IMG/PACKED.LZS", out.c_str()); });
  EXPECT_TRUE(c.result) << c.err;
  EXPECT_EQ(c.out, "Done.\n");
  EXPECT_EQ(testsupport::read_file_bytes(out), original_);
  EXPECT_TRUE(testsupport::read_file_bytes(iso_) == image);
}

TEST_F(LzssOperations, CompressShrinksOrGrowsTheFileInTheImage) {
  const Bytes bystander = extract("/OTHER.BIN");
  struct Case {
    const char* path;
    Bytes input;
    const char* info;
  };
  const Case cases[] = {
      {"/IMG/BIG.BIN", testsupport::image_like_bytes(30000, 5), "got reduced from 60000 to "},
      // Outgrows its one sector: the file moves to the end of the image.
      {"/IMG/SMALL.BIN", testsupport::image_like_bytes(40000, 6), "got bigger: from 100 to "},
  };
  for (const Case& k : cases) {
    const std::string input = dir_ + "/input.bin";
    testsupport::write_file(input, k.input);
    const Bytes expected = pack(k.input);
    const Captured c = capture([&] { return compress_lzss(iso_.c_str(), k.path, input.c_str()); });
    EXPECT_TRUE(c.result) << c.err;
    EXPECT_EQ(c.out, "Info: file \"" + std::string(k.path) + "\" " + k.info +
                         std::to_string(expected.size()) + " bytes.\nDone.\n");
    EXPECT_TRUE(extract(k.path) == expected) << k.path;
    // After a relocation the volume size in the primary descriptor covers the grown image.
    const Bytes image = testsupport::read_file_bytes(iso_);
    EXPECT_EQ(talvo::read_le32(&image[16 * 2048 + 80]) * 2048ull, image.size());
    // Read back through our own operation as well.
    const std::string back = dir_ + "/back.bin";
    EXPECT_TRUE(capture([&] { return uncompress_lzss(iso_.c_str(), k.path, back.c_str()); }).result);
    EXPECT_TRUE(testsupport::read_file_bytes(back) == k.input) << k.path;
  }
  EXPECT_TRUE(extract("/OTHER.BIN") == bystander);
}

TEST_F(LzssOperations, CompressRefusalsLeaveTheImageUnchanged) {
  const Bytes image = testsupport::read_file_bytes(iso_);
  const std::string tiny = dir_ + "/tiny.bin", good = dir_ + "/good.bin";
  testsupport::write_file(tiny, Bytes(10, 'x'));
  testsupport::write_file(good, testsupport::image_like_bytes(5000, 8));
  const std::string cases[][3] = {
      {"/IMG/BIG.BIN", dir_ + "/missing.bin", "Error opening file \"" + dir_ + "/missing.bin\""},
      {"/IMG/BIG.BIN", tiny, "Error: lzss_compress returned: 0\n"},
      {"/IMG/NOPE.BIN", good, "\"/IMG/NOPE.BIN\" was not found in the iso.\n"},
  };
  for (const auto& k : cases) {
    const Captured c =
        capture([&] { return compress_lzss(iso_.c_str(), k[0].c_str(), k[1].c_str()); });
    EXPECT_FALSE(c.result) << k[2];
    EXPECT_EQ(c.err, k[2]);
    EXPECT_EQ(c.out, "");
    EXPECT_TRUE(testsupport::read_file_bytes(iso_) == image) << k[2];
  }
}
