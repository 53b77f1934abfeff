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

struct Freed {
  void operator()(unsigned char* p) const { std::free(p); }
};

// The LZSS file for data, or an empty vector when compress_lzss refused it.
Bytes pack(const Bytes& data) {
  unsigned int size = 0;
  unsigned char* out = compress_lzss(data.data(), static_cast<unsigned>(data.size()), &size);
  if (!out) return Bytes();
  Bytes result(out, out + size);
  std::free(out);
  return result;
}

// Decodes through the buffer function from an exact-size heap copy, so that the
// sanitizer build sees any read past the end.
Bytes unpack(const Bytes& file, bool* ok) {
  unsigned char* copy = static_cast<unsigned char*>(std::malloc(file.size() ? file.size() : 1));
  if (!file.empty()) std::memcpy(copy, file.data(), file.size());
  unsigned int size = 0;
  unsigned char* out = uncompress_lzss(copy, static_cast<unsigned>(file.size()), &size);
  std::free(copy);
  *ok = out != nullptr;
  if (!out) return Bytes();
  Bytes result(out, out + size);
  std::free(out);
  return result;
}

// Decodes a raw stream with the codec into a buffer of exactly capacity bytes.
Bytes decode_stream(const Bytes& stream, unsigned capacity, unsigned long long* total = nullptr) {
  unsigned char* src = static_cast<unsigned char*>(std::malloc(stream.size() + 1));
  if (!stream.empty()) std::memcpy(src, stream.data(), stream.size());
  unsigned char* dst = static_cast<unsigned char*>(std::malloc(capacity + 1));
  const int n = lzss_uncompress(dst, capacity, src, static_cast<int>(stream.size()), total);
  Bytes out(dst, dst + (n > 0 ? n : 0));
  std::free(src);
  std::free(dst);
  EXPECT_GE(n, 0);
  EXPECT_LE(static_cast<unsigned>(n), capacity);
  return out;
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

struct PythonDecoded {
  Bytes data;                    // cut at the header's length
  unsigned long long total = 0;  // what the whole stream decodes to
  unsigned long long header = 0;
};

// Runs the independent decoder over named LZSS files in one Python process.
std::map<std::string, PythonDecoded> python_decode(const std::map<std::string, Bytes>& files) {
  const std::string dir = testsupport::make_scratch_dir("lzss_py");
  for (const auto& f : files) testsupport::write_file(dir + "/" + f.first + ".lzs", f.second);
  std::string out;
  const std::string cmd = "/usr/bin/python3 " +
                          testsupport::shell_quote(std::string(TALVO_SOURCE_DIR) +
                                                   "/tests/images/lzss_decode.py") +
                          " " + testsupport::shell_quote(dir);
  EXPECT_EQ(testsupport::run(cmd, &out), 0);
  std::map<std::string, PythonDecoded> result;
  std::istringstream lines(out);
  std::string name;
  PythonDecoded d;
  while (lines >> name >> d.total >> d.header) {
    d.data = testsupport::read_file_bytes(dir + "/" + name + ".out");
    result[name] = d;
  }
  EXPECT_EQ(result.size(), files.size());
  return result;
}

}  // namespace

TEST(Lzss, EncoderProducesTheExactStreamsOfTheFormat) {
  const Bytes zeros(100, 0);
  const Bytes zeros_file = pack(zeros);
  EXPECT_EQ(zeros_file, file_of(100, hex("00 DC FF FF FF 11 F0 23 F0 35 F0 47 70")));
  ASSERT_EQ(zeros_file.size(), 17u);

  std::string abc;
  for (int i = 0; i < 20; ++i) abc += "abc";
  EXPECT_EQ(pack(Bytes(abc.begin(), abc.end())),
            file_of(60, hex("07 61 62 63 EE FF 00 F0 12 F0 18 00")));
}

TEST(Lzss, InputsUnderEighteenBytesAreRefused) {
  for (unsigned size : {0u, 1u, 10u, 17u}) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(pack(Bytes(size, 'x')).empty()) << size;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: lzss_compress returned: 0\n");
  }
  // Eighteen bytes is the smallest input that is encoded.
  bool ok = false;
  EXPECT_EQ(unpack(pack(Bytes(18, 'x')), &ok), Bytes(18, 'x'));
  EXPECT_TRUE(ok);
}

TEST(Lzss, IncompressibleInputIsKeptWithAWarning) {
  const Bytes data = testsupport::random_bytes(1000, 7);
  testing::internal::CaptureStderr();
  const Bytes file = pack(data);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_GT(file.size(), data.size());
  EXPECT_EQ(err, "Warning: compressed size is bigger than uncompressed: " +
                     std::to_string(file.size()) + " > 1000\n");
  bool ok = false;
  EXPECT_EQ(unpack(file, &ok), data);
}

// Our encoder's output must decode, by a decoder that shares no code with
// ours, to the input: sizes around the look-ahead and the window boundaries,
// and past the size where the output buffer is sized differently.
TEST(Lzss, RoundTripsAgreeWithAnIndependentDecoder) {
  const unsigned sizes[] = {18,   19,   20,   34,   35,   36,   37,   100,  4077, 4078,
                            4079, 4095, 4096, 4097, 4112, 4113, 4114, 4131, 8192, 8210,
                            12289, 65536, 250001};
  std::map<std::string, Bytes> originals;
  std::map<std::string, Bytes> files;
  for (unsigned size : sizes) {
    const std::string n = std::to_string(size);
    originals["zero" + n] = Bytes(size, 0);
    originals["rand" + n] = testsupport::random_bytes(size, size);
    originals["image" + n] = testsupport::image_like_bytes(size, size * 3 + 1);
  }
  testing::internal::CaptureStderr();  // incompressible inputs warn
  for (const auto& o : originals) {
    files[o.first] = pack(o.second);
    ASSERT_GE(files[o.first].size(), 5u) << o.first;
    EXPECT_EQ(talvo::read_le32(files[o.first].data()), o.second.size()) << o.first;
    bool ok = false;
    EXPECT_EQ(unpack(files[o.first], &ok), o.second) << o.first;
  }
  testing::internal::GetCapturedStderr();
  EXPECT_LT(files["image65536"].size(), 65536u / 2) << "image-like data should shrink";

  const auto decoded = python_decode(files);
  for (const auto& o : originals) {
    auto it = decoded.find(o.first);
    ASSERT_NE(it, decoded.end()) << o.first;
    EXPECT_EQ(it->second.total, o.second.size()) << o.first;
    EXPECT_TRUE(it->second.data == o.second) << o.first;
  }
}

TEST(Lzss, EncoderOutputDoesNotDependOnEarlierCalls) {
  // Short inputs drain the look-ahead before the window's first bytes are
  // rewritten, so they are the ones that would see stale state.
  std::vector<Bytes> probes = {testsupport::image_like_bytes(5000, 6)};
  TestRandom rng(3);
  probes.push_back(hex("00 00 02 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
  for (unsigned size = 18; size < 35; ++size) {
    for (int k = 0; k < 10; ++k) {
      Bytes probe(size);
      for (unsigned char& b : probe) b = static_cast<unsigned char>(rng.below(4) ? 0 : rng.below(3));
      probes.push_back(probe);
    }
  }
  for (const Bytes& probe : probes) {
    const Bytes alone = pack(probe);
    for (uint32_t seed = 1; seed < 4; ++seed) {
      testing::internal::CaptureStderr();  // the random data does not shrink
      pack(testsupport::random_bytes(9000, seed));
      testing::internal::GetCapturedStderr();
      EXPECT_EQ(pack(probe), alone) << probe.size();
    }
  }
}

TEST(Lzss, EncoderReportsAFullOutputBuffer) {
  const Bytes data = testsupport::image_like_bytes(3000, 11);
  std::vector<unsigned char> dst(4000);
  const int needed = lzss_compress(dst.data(), 4000, data.data(), 3000);
  ASSERT_GT(needed, 0);
  const Bytes full(dst.begin(), dst.begin() + needed);
  for (int capacity : {0, 1, needed / 2, needed - 1}) {
    EXPECT_EQ(lzss_compress(dst.data(), capacity, data.data(), 3000), -1) << capacity;
  }
  EXPECT_EQ(lzss_compress(dst.data(), needed, data.data(), 3000), needed);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + needed), full);
}

TEST(Lzss, DecoderFollowsTheWindowRules) {
  struct Case {
    const char* stream;
    std::string expected;
  };
  const Case cases[] = {
      // A reference to the byte just written repeats it, byte by byte.
      {"01 41 EE FF", std::string(19, 'A')},
      // Length in the high nibble of B, position bits 8-11 in the low one.
      {"07 58 59 5A EF 1F", "XYZYZYZ"},
      // The window starts as zeros, not spaces.
      {"00 00 00", std::string(3, '\0')},
      // The last group's missing units are just absent.
      {"FF 61", "a"},
  };
  for (const Case& c : cases) {
    const Bytes out = decode_stream(hex(c.stream), 100);
    EXPECT_EQ(std::string(out.begin(), out.end()), c.expected) << c.stream;
  }
  EXPECT_TRUE(decode_stream(Bytes(), 100).empty());
}

TEST(Lzss, HeadersAreCheckedBeforeDecoding) {
  struct Case {
    Bytes file;
    std::string message;
  };
  const Bytes stream = hex("01 41 EE FF");
  const Case cases[] = {
      {Bytes(), "Data too small!\n"},
      {hex("05 00 00 00"), "Data too small!\n"},
      {file_of(0, stream), "Uncompressed length at header is 0!\n"},
      {file_of(0x4000001, stream),
       "Uncompressed length at header seems liks is very big: 67108865\n"},
      {file_of(0xFFFFFFFF, stream),
       "Uncompressed length at header seems liks is very big: 4294967295\n"},
      {file_of(10, hex("00")), "Error: lzss_uncompress returned: 0\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    bool ok = true;
    unpack(c.file, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
  }
  // The largest allowed length is accepted (and this stream falls short of it).
  testing::internal::CaptureStderr();
  bool ok = false;
  EXPECT_EQ(unpack(file_of(0x4000000, stream), &ok), Bytes(19, 'A'));
  EXPECT_TRUE(ok);
  testing::internal::GetCapturedStderr();
}

TEST(Lzss, DecodedLengthDifferingFromTheHeaderWarnsAndNeverOverruns) {
  const Bytes stream = hex("01 41 EE FF");  // decodes to 19 bytes
  struct Case {
    uint32_t header;
    size_t kept;
  };
  for (Case c : {Case{100, 19}, Case{19, 19}, Case{5, 5}, Case{1, 1}}) {
    testing::internal::CaptureStderr();
    bool ok = false;
    const Bytes out = unpack(file_of(c.header, stream), &ok);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, Bytes(c.kept, 'A')) << c.header;
    if (c.header == 19) {
      EXPECT_EQ(err, "");
    } else {
      EXPECT_EQ(err, "Warning: returned number of uncompressed bytes is not same as expected: 19 != " +
                         std::to_string(c.header) + "\n");
    }
  }
}

TEST(Lzss, TruncatedStreamsDecodeToAPrefix) {
  const Bytes data = testsupport::image_like_bytes(5000, 21);
  const Bytes file = pack(data);
  const Bytes stream(file.begin() + 4, file.end());
  size_t previous = 0;
  for (size_t cut = 0; cut <= stream.size(); cut += (cut < 300 ? 1 : 13)) {
    unsigned long long total = 0;
    const Bytes out = decode_stream(Bytes(stream.begin(), stream.begin() + cut), 5000, &total);
    ASSERT_LE(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << cut;
    EXPECT_GE(out.size(), previous) << cut;
    EXPECT_EQ(total, out.size()) << cut;
    previous = out.size();
  }
  EXPECT_EQ(decode_stream(stream, 5000), data);
}

// Random and mutated streams: the decoder stays inside both buffers (the
// sanitizer build checks that), and agrees with the independent decoder.
TEST(Lzss, RandomAndMutatedStreamsAreDecodedSafelyAndAlike) {
  TestRandom rng(2024);
  const Bytes valid = pack(testsupport::image_like_bytes(3000, 99));
  std::map<std::string, Bytes> files;
  std::map<std::string, Bytes> ours;
  std::map<std::string, unsigned long long> totals;
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
    EXPECT_LE(out.size(), total);
    EXPECT_TRUE(out.size() == total || out.size() == capacity);
    if (i % 20 == 0) {
      const std::string name = "s" + std::to_string(i);
      files[name] = file_of(capacity, stream);
      ours[name] = out;
      totals[name] = total;
    }
  }
  const auto decoded = python_decode(files);
  for (const auto& o : ours) {
    auto it = decoded.find(o.first);
    ASSERT_NE(it, decoded.end());
    EXPECT_TRUE(it->second.data == o.second) << o.first;
    EXPECT_EQ(it->second.total, totals[o.first]) << o.first;
  }
}
