// The LZSS codec and its file wrapper: exact encoder bytes, round trips checked by an independent Python
// decoder, malformed and truncated streams, and the two operations on a genisoimage-made image.
#include "images/lzss.h"
#include "images/lzss_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <sstream>
#include <thread>

#include "tests/images/image_test_helpers.h"
#include "tests/support/image_like_data.h"
#include "tests/support/test_files.h"
#include "util/byte_order.h"

using namespace imagetest;
using testsupport::Bytes;
using testsupport::TestRandom;
using testsupport::image_like_bytes;
using testsupport::random_bytes;

namespace {

// Decodes a raw stream into a heap buffer of exactly capacity bytes.
Bytes decode_stream(const Bytes& stream, unsigned capacity, unsigned long long* total = nullptr) {
  const Bytes src = stream;
  unsigned char* dst = static_cast<unsigned char*>(std::malloc(capacity ? capacity : 1));
  const int n = lzss_uncompress(dst, capacity, src.data(), static_cast<int>(src.size()), total);
  EXPECT_TRUE(n >= 0 && static_cast<unsigned>(n) <= capacity) << n;
  return take(dst, n > 0 ? n : 0);
}

Bytes file_of(uint32_t header, const Bytes& stream) {
  Bytes file = stream;
  file.insert(file.begin(), 4, 0);
  talvo::write_le32(file.data(), header);
  return file;
}

Bytes hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  unsigned value;
  while (in >> std::hex >> value) out.push_back(static_cast<unsigned char>(value));
  return out;
}

}  // namespace

TEST(Lzss, EncoderWritesTheExactStreamsAndRefusesShortInput) {
  EXPECT_EQ(lzss_pack(Bytes(100, 0)), file_of(100, hex("00 DC FF FF FF 11 F0 23 F0 35 F0 47 70")));
  Bytes abc;
  for (int i = 0; i < 60; ++i) abc.push_back("abc"[i % 3]);
  EXPECT_EQ(lzss_pack(abc), file_of(60, hex("07 61 62 63 EE FF 00 F0 12 F0 18 00")));
  std::string err;
  for (unsigned size : {0u, 1u, 10u, 17u}) {
    EXPECT_TRUE(lzss_pack(Bytes(size, 'x'), &err).empty()) << size;
    EXPECT_EQ(err, "Error: lzss_compress returned: 0\n");
  }
  EXPECT_EQ(lzss_unpack(lzss_pack(Bytes(18, 'x'))), Bytes(18, 'x'));  // the smallest input encoded
  const Bytes noise = random_bytes(1000, 7);
  const Bytes grown = lzss_pack(noise, &err);
  EXPECT_EQ(err, "Warning: compressed size is bigger than uncompressed: " + std::to_string(grown.size()) + " > 1000\n");
  EXPECT_EQ(lzss_unpack(grown), noise);
}

// Our encoder's output and random or mutated streams, decoded by a decoder sharing no code with ours. Sizes
// sit around the look-ahead and window boundaries and past where the output buffer follows the input.
TEST(Lzss, AgreesWithAnIndependentDecoder) {
  std::map<std::string, Bytes> originals, files;
  std::map<std::string, std::pair<Bytes, unsigned long long>> ours;
  for (unsigned size : {18, 19, 20, 34, 35, 36, 100, 4077, 4078, 4079, 4095, 4096, 4097, 4113, 4114, 4131, 8192,
                        8210, 12289, 65536, 250001}) {
    const std::string n = std::to_string(size);
    originals["zero" + n] = Bytes(size, 0);
    originals["rand" + n] = random_bytes(size, size);
    originals["image" + n] = image_like_bytes(size, size * 3 + 1);
  }
  for (const auto& o : originals) {
    files[o.first] = lzss_pack(o.second);
    EXPECT_EQ(lzss_unpack(files[o.first]), o.second) << o.first;
    ours[o.first] = {o.second, o.second.size()};
  }
  EXPECT_LT(files["image65536"].size(), 65536u / 2) << "image-like data should shrink";
  // Random and mutated streams: the decoder stays inside both buffers (sanitizer) and agrees with the reference.
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
    const Bytes out = decode_stream(stream, capacity, &total);
    EXPECT_TRUE(out.size() == total || (out.size() == capacity && total > capacity));
    if (i % 20 == 0) files["s" + std::to_string(i)] = file_of(capacity, stream), ours["s" + std::to_string(i)] = {out, total};
  }
  // The reference writes NAME.out (cut at the header's length), prints "NAME <whole decoded length> <header>".
  const std::string dir = testsupport::make_scratch_dir("lzss_py");
  for (const auto& f : files) testsupport::write_file(dir + "/" + f.first + ".lzs", f.second);
  std::string out;
  const std::string script = std::string(TALVO_SOURCE_DIR) + "/tests/images/lzss_decode.py";
  ASSERT_EQ(testsupport::run(std::string(TALVO_PYTHON) + " " + testsupport::shell_quote(script) + " " + testsupport::shell_quote(dir), &out), 0);
  std::map<std::string, std::pair<Bytes, unsigned long long>> theirs;
  std::istringstream lines(out);
  std::string name;
  unsigned long long total, header;
  while (lines >> name >> total >> header) theirs[name] = {testsupport::read_file_bytes(dir + "/" + name + ".out"), total};
  EXPECT_TRUE(theirs == ours);
}

TEST(Lzss, EncoderIgnoresEarlierCallsAndReportsAFullBuffer) {
  // Short inputs drain the look-ahead before the window's first bytes are rewritten: they would see state
  // left by a longer call.
  std::vector<Bytes> probes = {image_like_bytes(5000, 6), hex("00 00 02 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00")};
  TestRandom rng(3);
  for (unsigned k = 0; k < 170; ++k) {
    Bytes probe(18 + k / 10);
    for (unsigned char& b : probe) b = static_cast<unsigned char>(rng.below(4) ? 0 : rng.below(3));
    probes.push_back(probe);
  }
  for (const Bytes& probe : probes) {
    const Bytes alone = lzss_pack(probe);
    lzss_pack(random_bytes(9000, rng.next()));
    EXPECT_EQ(lzss_pack(probe), alone) << probe.size();
  }
  const Bytes data = image_like_bytes(3000, 11);
  Bytes dst(4000);
  const int needed = lzss_compress(dst.data(), 4000, data.data(), 3000);
  ASSERT_GT(needed, 0);
  for (int capacity : {0, 1, needed / 2, needed - 1}) EXPECT_EQ(lzss_compress(dst.data(), capacity, data.data(), 3000), -1);
  EXPECT_EQ(lzss_compress(dst.data(), needed, data.data(), 3000), needed);
}

// Each call keeps its own window and trees: calls on several threads at once
// give the streams and data of calls alone.
TEST(Lzss, CallsRunningSideBySideDoNotShareState) {
  std::vector<Bytes> inputs, streams;
  for (int t = 0; t < 4; ++t) {
    inputs.push_back(image_like_bytes(20000 + 3000 * t, 40 + t));
    Bytes stream(100000);
    const int n = lzss_compress(stream.data(), 100000, inputs[t].data(), static_cast<unsigned>(inputs[t].size()));
    ASSERT_GT(n, 0);
    stream.resize(static_cast<size_t>(n));
    streams.push_back(stream);
  }
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        Bytes stream(100000), data(inputs[t].size());
        const int n = lzss_compress(stream.data(), 100000, inputs[t].data(), static_cast<unsigned>(inputs[t].size()));
        stream.resize(n > 0 ? static_cast<size_t>(n) : 0);
        const int m = lzss_uncompress(data.data(), static_cast<unsigned>(data.size()), streams[t].data(),
                                      static_cast<int>(streams[t].size()));
        if (stream != streams[t] || m != static_cast<int>(data.size()) || data != inputs[t]) ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST(Lzss, DecoderFollowsTheWindowRulesAndStopsCleanlyOnTruncatedStreams) {
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
  // Every prefix of a stream decodes to a prefix of its data, never less than a shorter prefix did.
  const Bytes data = image_like_bytes(5000, 21), file = lzss_pack(data), stream(file.begin() + 4, file.end());
  size_t previous = 0;
  for (size_t cut = 0; cut <= stream.size(); cut += (cut < 300 ? 1 : 13)) {
    unsigned long long total = 0;
    const Bytes out = decode_stream(Bytes(stream.begin(), stream.begin() + cut), 5000, &total);
    ASSERT_TRUE(out.size() <= data.size() && std::equal(out.begin(), out.end(), data.begin())) << cut;
    EXPECT_GE(out.size(), previous) << cut;
    EXPECT_EQ(total, out.size()) << cut;
    previous = out.size();
  }
  EXPECT_EQ(decode_stream(stream, 5000), data);
}

TEST(Lzss, FileHeadersAreCheckedAndNeverOverrun) {
  const Bytes stream = hex("01 41 EE FF");  // decodes to 19 bytes
  const std::string mismatch = "Warning: returned number of uncompressed bytes is not same as expected: 19 != ";
  const std::string big = "Uncompressed length at header seems liks is very big: ";
  const struct { Bytes file; bool ok; size_t kept; std::string message; } cases[] = {
      {Bytes(), false, 0, "Data too small!\n"},
      {hex("05 00 00 00"), false, 0, "Data too small!\n"},
      {file_of(0, stream), false, 0, "Uncompressed length at header is 0!\n"},
      {file_of(0x4000001, stream), false, 0, big + "67108865\n"},
      {file_of(0xFFFFFFFF, stream), false, 0, big + "4294967295\n"},
      {file_of(10, hex("00")), false, 0, "Error: lzss_uncompress returned: 0\n"},
      {file_of(19, stream), true, 19, ""},
      // Short streams keep what they decode; long ones stop at the header's length.
      {file_of(0x4000000, stream), true, 19, mismatch + "67108864\n"},
      {file_of(100, stream), true, 19, mismatch + "100\n"},
      {file_of(5, stream), true, 5, mismatch + "5\n"},
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

// The two operations on an image with an LZSS file, a large and a small plain file, a bad LZSS header, and
// a bystander no operation may touch.
TEST(Lzss, OperationsShrinkOrGrowTheFileInTheImageAndRefusalsChangeNothing) {
  const std::string dir = testsupport::make_scratch_dir("lzss_ops"), iso = dir + "/disc.iso", out = dir + "/out.bin";
  const Bytes original = image_like_bytes(20000, 77), bystander = random_bytes(3000, 2);
  testsupport::write_file(dir + "/src/IMG/PACKED.LZS", lzss_pack(original));
  testsupport::write_file(dir + "/src/IMG/BIG.BIN", random_bytes(60000, 1));
  testsupport::write_file(dir + "/src/IMG/SMALL.BIN", Bytes(100, 'S'));
  testsupport::write_file(dir + "/src/IMG/ZERO.LZS", hex("00 00 00 00 FF 41 42"));
  testsupport::write_file(dir + "/src/OTHER.BIN", bystander);
  testsupport::write_file(dir + "/tiny.bin", Bytes(10, 'x'));
  testsupport::write_file(dir + "/good.bin", image_like_bytes(5000, 8));
  ASSERT_TRUE(testsupport::make_iso(dir + "/src", iso));
  const Bytes image = testsupport::read_file_bytes(iso);
  const struct { bool compress; std::string path, file, message; } refusals[] = {
      {false, "/IMG/NOPE.LZS", out, "\"/IMG/NOPE.LZS\" was not found in the iso.\n"},
      {false, "/IMG/ZERO.LZS", out, "Uncompressed length at header is 0!\n"},
      {false, "/IMG/PACKED.LZS", iso, "Error: output file is the disc image itself: " + iso + "\n"},
      {true, "/IMG/BIG.BIN", dir + "/missing.bin", "Error opening file \"" + dir + "/missing.bin\""},
      {true, "/IMG/BIG.BIN", dir + "/tiny.bin", "Error: lzss_compress returned: 0\n"},
      {true, "/IMG/NOPE.BIN", dir + "/good.bin", "\"/IMG/NOPE.BIN\" was not found in the iso.\n"},
  };
  Output o;
  for (const auto& k : refusals) {
    EXPECT_FALSE(captured(&o, [&] {
      return k.compress ? compress_lzss(iso.c_str(), k.path.c_str(), k.file.c_str())
                        : uncompress_lzss(iso.c_str(), k.path.c_str(), k.file.c_str());
    }));
    EXPECT_EQ(o.out + o.err, k.message);
    EXPECT_FALSE(testsupport::file_exists(out));
    EXPECT_TRUE(testsupport::read_file_bytes(iso) == image) << k.message;
  }
  ASSERT_TRUE(captured(&o, [&] { return uncompress_lzss(iso.c_str(), "/IMG/PACKED.LZS", out.c_str()); })) << o.err;
  EXPECT_EQ(o.out, "Done.\n");
  EXPECT_EQ(testsupport::read_file_bytes(out), original);
  const struct { const char* path; size_t size; const char* info; } cases[] = {
      {"/IMG/BIG.BIN", 30000, "got reduced from 60000 to "},
      {"/IMG/SMALL.BIN", 40000, "got bigger: from 100 to "},  // outgrows its sector: moves to the image's end
  };
  for (const auto& k : cases) {
    const Bytes input = image_like_bytes(k.size, 5);
    testsupport::write_file(dir + "/input.bin", input);
    ASSERT_TRUE(captured(&o, [&] { return compress_lzss(iso.c_str(), k.path, (dir + "/input.bin").c_str()); })) << o.err;
    Bytes stored;
    EXPECT_TRUE(testsupport::isoinfo_extract(iso, k.path, &stored));
    EXPECT_EQ(o.out, "Info: file \"" + std::string(k.path) + "\" " + k.info + std::to_string(stored.size()) + " bytes.\nDone.\n");
    EXPECT_TRUE(stored == lzss_pack(input) && lzss_unpack(stored) == input) << k.path;
    // The volume size in the primary descriptor covers a grown image.
    const Bytes now = testsupport::read_file_bytes(iso);
    EXPECT_EQ(talvo::read_le32(&now[16 * 2048 + 80]) * 2048ull, now.size());
  }
  Bytes other;
  EXPECT_TRUE(testsupport::isoinfo_extract(iso, "/OTHER.BIN", &other) && other == bystander);
}
