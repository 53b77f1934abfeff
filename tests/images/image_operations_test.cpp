// The image operations on a genisoimage-made disc: Pillow reads the BMP files we write, Pillow and
// ImageMagick write the ones we insert, and pycdlib reads the disc back.
#include "images/image_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "files/mounted_image.h"
#include "images/extract_all.h"
#include "images/list_files.h"
#include "iso/disc.h"
#include "tests/images/image_test_helpers.h"
#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"
#include "util/byte_order.h"

using namespace imagetest;
using testsupport::build_dc;
using testsupport::build_pp;
using testsupport::build_pp4;
using testsupport::file_exists;
using testsupport::rgb_of_555;

namespace {

// "dump PATH" prints "mode width height", the palette (palette pictures) and the pixels; "write PATH W H
// PALETTE PIXELS" writes a picture (palette "r,g,b,...", empty for RGB with 0xRRGGBB pixels).
const char kPillow[] = R"(
import sys
from PIL import Image
if sys.argv[1] == 'dump':
    im = Image.open(sys.argv[2])
    print(im.mode, *im.size)
    if im.mode == 'P': print(*im.getpalette())
    print(*('%d,%d,%d' % p[:3] if isinstance(p, tuple) else p for p in im.getdata()))
else:
    path, w, h, pal, px = sys.argv[2:7]
    values = [int(v) for v in px.split(',')]
    im = Image.new('P' if pal else 'RGB', (int(w), int(h)))
    if pal: im.putpalette([int(v) for v in pal.split(',')])
    else: values = [(v >> 16, (v >> 8) & 255, v & 255) for v in values]
    im.putdata(values)
    im.save(path)
)";

std::string pillow_dump(const std::string& bmp) {
  std::string out;
  EXPECT_EQ(testsupport::run_python(kPillow, {"dump", bmp}, &out), 0) << bmp;
  return out;
}

std::string rgb_words(uint32_t c, char sep) {
  return std::to_string(c >> 16) + sep + std::to_string((c >> 8) & 255) + sep + std::to_string(c & 255);
}

// What Pillow must see in the BMP file of a game image.
std::string expected_dump(const ImageBytes& img) {
  const int w = img[2] << 8 | img[3], h = img[4] << 8 | img[5], colours = img[0] == 'P' ? 256 : 16;
  std::ostringstream s;
  s << (img[0] == 'D' ? "RGB " : "P ") << w << " " << h << "\n";
  for (int i = 0; img[0] != 'D' && i < colours; i++) s << (i ? " " : "") << rgb_words(rgb_of_555(img[6 + 2 * i] << 8 | img[7 + 2 * i]), ' ');
  if (img[0] != 'D') s << "\n";
  for (int i = 0; i < w * h; i++) {
    s << (i ? " " : "");
    if (img[0] == 'D') s << rgb_words(rgb_of_555(img[6 + 2 * i] << 8 | img[7 + 2 * i]), ',');
    else if (img[0] == 'P') s << int(img[518 + i]);
    else s << ((img[38 + i / 2] >> (i % 2 ? 0 : 4)) & 15);
  }
  return s.str() + "\n";
}

// Writes a picture with Pillow, or with ImageMagick from Pillow's PNG when options is not null.
void write_picture(const std::string& path, int w, int h, const std::vector<uint32_t>& palette,
                   const std::vector<uint32_t>& pixels, const char* magick_options = nullptr) {
  std::string pal, px;
  for (uint32_t c : palette) pal += (pal.empty() ? "" : ",") + rgb_words(c, ',');
  for (uint32_t v : pixels) px += (px.empty() ? "" : ",") + std::to_string(v);
  const std::string target = magick_options ? path + ".png" : path;
  ASSERT_EQ(testsupport::run_python(kPillow, {"write", target, std::to_string(w), std::to_string(h), pal, px}), 0);
  if (magick_options) {
    ASSERT_EQ(testsupport::run(std::string(TALVO_CONVERT) + " " + testsupport::shell_quote(target) + " " + magick_options +
                               " " + testsupport::shell_quote(path)), 0);
  }
}

// 20 pixels base + i * step for a 5 x 4 picture, and the DC image they become.
std::vector<uint32_t> rgb_pixels(uint32_t base, uint32_t step) {
  std::vector<uint32_t> pixels(20);
  for (uint32_t i = 0; i < 20; i++) pixels[i] = (base + i * step) & 0xFFFFFF;
  return pixels;
}
ImageBytes dc_of(const std::vector<uint32_t>& pixels) {
  std::vector<uint16_t> v;
  for (uint32_t c : pixels) v.push_back(static_cast<uint16_t>(0x8000 | (c & 255) >> 3 << 10 | ((c >> 8) & 255) >> 3 << 5 | (c >> 16) >> 3));
  return build_dc(5, 4, v);
}

std::vector<uint16_t> gradient(int n, int salt) {
  std::vector<uint16_t> v;
  for (int i = 0; i < n; i++) v.push_back(static_cast<uint16_t>(0x8000 | ((i * 0x0C63 + salt * 0x1111) & 0x7FFF)));
  return v;
}

ImageBytes concat(ImageBytes a, const ImageBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<uint16_t> kDcPixels = gradient(20, 1), kPalette = gradient(256, 2), kPalette16 = gradient(16, 3);
const ImageBytes kPpIndices = {3, 10, 17, 4, 11, 18, 5, 12, 19, 6, 13, 0, 7, 14, 1, 8, 15, 2, 9, 16};
const ImageBytes kPp4Indices = {3, 10, 5, 0, 7, 2, 9, 4, 11, 6, 1, 8};
// A day file as far as its header goes: signature and its own length.
const ImageBytes kScn = concat({'s', 'c', 'n', 0, 80, 0}, ImageBytes(74, 0));
const ImageBytes kDc = build_dc(5, 4, kDcPixels), kPp = build_pp(5, 4, kPalette, kPpIndices),
                 kPp4 = build_pp4(6, 2, kPalette16, kPp4Indices), kMato = build_mato({kDc, kPp, kPp4});

class ImageOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::make_scratch_dir("image_ops");
    testsupport::FileMap files = {
        {"/MKRT/CHG.TEX", concat(concat(ImageBytes(0x30, 0x11), kDc), ImageBytes(7, 0x22))},
        {"/MKRT/SAVEP.TEX", concat(ImageBytes(0x28, 0x33), kPp)},
        {"/MKRT/EV/EVA32B.DGP", lzss_pack(kDc)}, {"/BG/BG09.DGP", lzss_pack(kPp)},
        {"/SP/WA_JYUL.DGP", lzss_pack(kPp4)},     {"/FC/FC01A.CHP", lzss_pack(kMato)},
        {"/CHG2.TEX", kMato},                     {"/README", kDc},
        {"/SHORT.BIN", {'D', 'C', 0, 1, 0, 1, 0, 0}}, {"/PLAIN.PP4", kPp4},
        {"/NOTES.TXT", ImageBytes(100, 'x')},     {"/SCNBIN/DAY_A0.SCN", kScn},
        {"/SCNBIN/PACKED.BIN", lzss_pack(ImageBytes(300, 'x'))}};
    old_dgp_size_ = static_cast<unsigned>(files["/MKRT/EV/EVA32B.DGP"].size());
    iso_ = testsupport::build_iso(dir_, files, true);
    ASSERT_FALSE(iso_.empty());
  }
  ImageBytes iso_file(const std::string& path) {  // as pycdlib reads it from both trees, which must agree
    testsupport::IsoContents c = testsupport::read_iso_contents(iso_);
    EXPECT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.iso_tree[path].data, c.joliet_tree[path].data) << path;
    return c.joliet_tree[path].data;
  }
  bool run(const std::function<bool()>& op) { return captured(&o_, op); }
  bool done(const std::function<bool()>& op) { return run(op) && o_.out == "Done.\n"; }  // succeeds saying so
  std::string out(const std::string& name) { return dir_ + "/" + name; }
  std::string dir_, iso_;
  unsigned old_dgp_size_ = 0;
  Output o_;
};

}  // namespace

TEST_F(ImageOperations, DcAtAnOffsetReadsInPillowAndTakesPillowAndImageMagickFiles) {
  ASSERT_TRUE(done([&] { return extract_dc_to_bmp(iso_.c_str(), "/MKRT/CHG.TEX", out("a.bmp").c_str(), 0x30); }));
  EXPECT_EQ(pillow_dump(out("a.bmp")), expected_dump(kDc));
  const std::vector<uint32_t> pixels = rgb_pixels(0x405060, 0x0B1D37);
  for (const char* magick : {static_cast<const char*>(nullptr), "-type truecolor"}) {
    write_picture(out("new.bmp"), 5, 4, {}, pixels, magick);
    ASSERT_TRUE(done([&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", out("new.bmp").c_str(), 0x30); })) << o_.err;
    EXPECT_EQ(iso_file("/MKRT/CHG.TEX"), concat(concat(ImageBytes(0x30, 0x11), dc_of(pixels)), ImageBytes(7, 0x22)));
  }
}

TEST_F(ImageOperations, PpPalettesFromPillowAndImageMagickKeepTheirColours) {
  ASSERT_TRUE(run([&] { return extract_pp_to_bmp(iso_.c_str(), "/MKRT/SAVEP.TEX", out("p.bmp").c_str(), 0x28); }));
  EXPECT_EQ(pillow_dump(out("p.bmp")), expected_dump(kPp));
  const ImageBytes original = iso_file("/MKRT/SAVEP.TEX");
  auto insert = [&](bool fix_palette) {
    return run([&] { return insert_bmp_into_pp(iso_.c_str(), "/MKRT/SAVEP.TEX", out("e.bmp").c_str(), 0x28, false, fix_palette); });
  };
  std::vector<uint32_t> palette, pixels(kPpIndices.begin(), kPpIndices.end());
  for (int i = 0; i < 20; i++) palette.push_back(rgb_of_555(kPalette[i]));
  // ImageMagick reorders the palette (RLE or not): fix_palette maps it back onto the stored one.
  for (const char* options : {"", "-compress none"}) {
    write_picture(out("e.bmp"), 5, 4, palette, pixels, options);
    ASSERT_TRUE(insert(true)) << o_.err;
    EXPECT_EQ(iso_file("/MKRT/SAVEP.TEX"), original) << options;
  }
  // Pillow writes only the 20 colours it was given: the rest become black.
  write_picture(out("e.bmp"), 5, 4, palette, pixels);
  ASSERT_TRUE(insert(false)) << o_.err;
  EXPECT_EQ(o_.out, "Image \"" + out("e.bmp") + "\" was inserted.\n");
  std::vector<uint16_t> padded(kPalette.begin(), kPalette.begin() + 20);
  padded.resize(256, 0x8000);
  EXPECT_EQ(iso_file("/MKRT/SAVEP.TEX"), concat(ImageBytes(0x28, 0x33), build_pp(5, 4, padded, kPpIndices)));
}

TEST_F(ImageOperations, LzssImagesShrinkAndGrowAndTakeImageMagickPalettes) {
  const std::pair<const char*, std::function<bool(const char*, const char*, const char*)>> extractions[] = {
      {"/MKRT/EV/EVA32B.DGP", extract_lzss_dc_to_bmp}, {"/BG/BG09.DGP", extract_lzss_pp_to_bmp},
      {"/SP/WA_JYUL.DGP", extract_lzss_pp4_to_bmp}};
  for (const auto& e : extractions) {
    ASSERT_TRUE(run([&] { return e.second(iso_.c_str(), e.first, out("x.bmp").c_str()); })) << e.first;
    EXPECT_EQ(pillow_dump(out("x.bmp")), expected_dump(lzss_unpack(iso_file(e.first)))) << e.first;
  }
  for (uint32_t step : {0u, 0x9E3779u}) {  // a flat picture shrinks the file, a noisy one grows it
    const std::vector<uint32_t> pixels = rgb_pixels(0x102030, step);
    write_picture(out("new.bmp"), 5, 4, {}, pixels);
    ASSERT_TRUE(run([&] { return insert_bmp_into_lzss_dc(iso_.c_str(), "/MKRT/EV/EVA32B.DGP", out("new.bmp").c_str()); }));
    const ImageBytes stored = iso_file("/MKRT/EV/EVA32B.DGP");
    EXPECT_EQ(lzss_unpack(stored), dc_of(pixels));
    EXPECT_EQ(o_.out, std::string("Info: file \"/MKRT/EV/EVA32B.DGP\" ") + (step ? "got bigger: from " : "got reduced from ") +
                          std::to_string(old_dgp_size_) + " to " + std::to_string(stored.size()) + " bytes.\nImage \"" +
                          out("new.bmp") + "\" was inserted.\n");
    old_dgp_size_ = static_cast<unsigned>(stored.size());
  }
  // ImageMagick writes 12 colours as a 4-bit file in its own order: every pixel keeps its
  // colour and the transparent one stays at index 0.
  std::vector<uint32_t> palette, pixels;
  for (int i = 0; i < 12; i++) palette.push_back(rgb_of_555(kPalette16[(i + 5) % 12]));
  for (unsigned char v : kPp4Indices) pixels.push_back((v + 7) % 12);
  write_picture(out("im4.bmp"), 6, 2, palette, pixels, "");
  ASSERT_TRUE(run([&] { return insert_bmp_into_lzss_pp4(iso_.c_str(), "/SP/WA_JYUL.DGP", out("im4.bmp").c_str(), true); })) << o_.err;
  const ImageBytes pp = lzss_unpack(iso_file("/SP/WA_JYUL.DGP"));
  ASSERT_EQ(pp.size(), 38u + 6);
  EXPECT_EQ(pp[6] << 8 | pp[7], kPalette16[0]);
  for (int i = 0; i < 12; i++) {
    const int nibble = (pp[38 + i / 2] >> (i % 2 ? 0 : 4)) & 15;
    EXPECT_EQ(pp[6 + 2 * nibble] << 8 | pp[7 + 2 * nibble], kPalette16[kPp4Indices[i]]) << i;
  }
}

TEST_F(ImageOperations, RefusalsLeaveTheDiscByteIdentical) {
  const ImageBytes before = testsupport::read_file_bytes(iso_);
  write_picture(out("wrong.bmp"), 4, 4, {}, std::vector<uint32_t>(16, 0x808080));
  write_picture(out("eight.bmp"), 5, 4, {0, 0xFFFFFF}, std::vector<uint32_t>(20, 1));
  const std::string wrong = out("wrong.bmp"), eight = out("eight.bmp"), none = out("none.bmp");
  const std::pair<std::function<bool()>, std::string> cases[] = {
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", wrong.c_str(), 0x30); },
       "Error: width/height of BMP and DC don't match: (4, 4) != (5, 4)\n"},
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", eight.c_str(), 0x30); }, "Unsupported type of BMP. Must be 24 bits.\n"},
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", none.c_str(), 0x30); }, "Can't open file \"" + none + "\""},
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", wrong.c_str(), 0x65); }, "Offset 65 goes to end of file or greater.\n"},
      {[&] { return insert_bmp_into_pp(iso_.c_str(), "/MKRT/NOPE.TEX", wrong.c_str(), 0, true, false); }, "\"/MKRT/NOPE.TEX\" was not found in the iso.\n"},
      {[&] { return insert_bmp_into_lzss_dc(iso_.c_str(), "/MKRT/EV/EVA32B.DGP", wrong.c_str()); },
       "Error: width/height of BMP and DC don't match: (4, 4) != (5, 4)\n"},
      {[&] { return insert_bmp_into_lzss_pp4(iso_.c_str(), "/BG/BG09.DGP", eight.c_str(), true); }, "Error: no pp signature.\n"},
      {[&] { return extract_dc_to_bmp(iso_.c_str(), "/MKRT/CHG.TEX", out("x.bmp").c_str(), 0x65); }, "Offset 65 goes to end of file or beyond.\n"},
      {[&] { return extract_dc_to_bmp(iso_.c_str(), "/MKRT/CHG.TEX", iso_.c_str(), 0x30); }, "Error: output file is the disc image itself: " + iso_ + "\n"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(run(c.first)) << c.second;
    EXPECT_EQ(o_.err, c.second);
    EXPECT_EQ(testsupport::read_file_bytes(iso_), before) << c.second;
  }
  EXPECT_FALSE(file_exists(out("x.bmp")));
}

TEST_F(ImageOperations, MatoContainersPlainAndCompressed) {
  for (bool lzss : {false, true}) {
    const char* path = lzss ? "/FC/FC01A.CHP" : "/CHG2.TEX";
    const std::string prefix = out(lzss ? "FC01A" : "CHG2");
    ASSERT_TRUE(done([&] { return lzss ? extract_lzss_mato(iso_.c_str(), path, prefix.c_str()) : extract_mato(iso_.c_str(), path, prefix.c_str()); }));
    EXPECT_EQ(pillow_dump(prefix + "_0000001C.bmp"), expected_dump(kDc));
    EXPECT_EQ(pillow_dump(prefix + "_00000264.bmp"), expected_dump(kPp4));
    // Replace the DC picture, drop the PP one's file.
    write_picture(prefix + "_0000001C.bmp", 5, 4, {}, std::vector<uint32_t>(20, 0xF0F0F0));
    std::remove((prefix + "_0000004A.bmp").c_str());
    auto insert = [&](bool ignore_missing) {
      return run([&] {
        return lzss ? insert_lzss_mato(iso_.c_str(), path, prefix.c_str(), true, ignore_missing, false)
                    : insert_mato(iso_.c_str(), path, prefix.c_str(), true, ignore_missing, false);
      });
    };
    ASSERT_TRUE(insert(true)) << o_.err;
    EXPECT_TRUE(contains(o_.out, lzss ? "insert_lzss_mato(/FC/FC01A.CHP) completed. (num images inserted = 2)\n"
                                      : "insert_mato(/CHG2.TEX) completed (num images inserted = 2)\n")) << o_.out;
    const ImageBytes want = build_mato({dc_of(rgb_pixels(0xF0F0F0, 0)), kPp, kPp4});
    EXPECT_EQ(lzss ? lzss_unpack(iso_file(path)) : iso_file(path), want);
    // Without ignore_missing_files the missing picture makes the run fail.
    EXPECT_FALSE(insert(false));
    EXPECT_TRUE(contains(o_.err, "Cannot open file \"" + prefix + "_0000004A.bmp\"\n"));
  }
}

// A mixed disc with nested folders and short files, then a plain ISO 9660 tree whose file
// identifier is patched to climb out of the output folder.
TEST_F(ImageOperations, ExtractAllMirrorsTheDiscTreeAndSkipsUnsafeNames) {
  const std::string folder = out("all");
  // The walk mounts the image once and reads every picture through that mount.
  static int discs_opened;
  discs_opened = 0;
  DiscMaker plain = set_disc_maker([](bool read_only, bool journaled) {
    ++discs_opened;
    return new IsoFileDisc(read_only, journaled);
  });
  EXPECT_TRUE(run([&] { return extract_all_images(iso_.c_str(), folder.c_str()); })) << o_.err;
  set_disc_maker(plain);
  EXPECT_EQ(discs_opened, 1);
  for (const char* line : {"/MKRT/EV/EVA32B.DGP (DC (LZSS))", "/BG/BG09.DGP (PP (LZSS))", "/SP/WA_JYUL.DGP (PP4 (LZSS))",
                           "/FC/FC01A.CHP (mato (LZSS))", "/CHG2.TEX (mato)", "/README (DC)"}) {
    EXPECT_TRUE(contains(o_.out, std::string("Now processing ") + line + "\n")) << line;
  }
  // Too short, no image, or image data behind other bytes: not announced.
  for (const char* name : {"SHORT.BIN", "NOTES.TXT", "SAVEP", "CHG.TEX"}) EXPECT_FALSE(contains(o_.out, name)) << name;
  EXPECT_EQ(o_.err, "PP4 uncompressed standalone, buuuuuu this doesn't exist.\n");
  EXPECT_EQ(pillow_dump(folder + "/MKRT/EV/EVA32B.BMP"), expected_dump(kDc));
  for (const char* f : {"/README.BMP", "/SP/WA_JYUL.BMP", "/BG/BG09.BMP", "/CHG2_0000001C.bmp", "/FC/FC01A_0000004A.bmp"}) {
    EXPECT_TRUE(file_exists(folder + f)) << f;
  }
  const std::string dir = testsupport::make_scratch_dir("evil");
  const std::string iso = testsupport::build_iso(dir, {{"/SUB/EVILXX.DG2", kDc}, {"/SUB/GOOD.DG2", kDc}}, false);
  ImageBytes bytes = testsupport::read_file_bytes(iso);
  const std::string from = "EVILXX.DG2;1", to = "../../X.DG2;";
  auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
  ASSERT_NE(at, bytes.end());
  std::copy(to.begin(), to.end(), at);
  testsupport::write_file(iso, bytes);
  const std::string deep = dir + "/out/a/b";
  testsupport::run("mkdir -p " + testsupport::shell_quote(deep));
  EXPECT_FALSE(run([&] { return extract_all_images(iso.c_str(), deep.c_str()); }));
  EXPECT_EQ(o_.err, "Error: unsafe name in ISO directory \"../../X.DG2;\"\n");
  EXPECT_TRUE(file_exists(deep + "/SUB/GOOD.BMP"));
  EXPECT_FALSE(file_exists(dir + "/out/X.BMP"));
}

// A directory whose listing is damaged (a record's identifier runs past the
// record), a directory record leading back to its parent and a file whose
// extent lies past the end of the image: each is reported, everything else
// is extracted, and the run fails.
TEST_F(ImageOperations, ExtractAllReportsUnreadableDirectoriesAndFilesAndGoesOn) {
  const std::string dir = testsupport::make_scratch_dir("damaged_all");
  const std::string iso = testsupport::build_iso(dir,
                                                 {{"/A.DG2", kDc}, {"/LDIR/D.DG2", kDc}, {"/LDIR/MLOOP/E.DG2", kDc},
                                                  {"/PAST.DG2", kDc}, {"/SUB/B.DG2", kDc}, {"/SUB/ZZBROKEN/C.DG2", kDc},
                                                  {"/Z.DG2", kDc}},
                                                 false);
  ImageBytes bytes = testsupport::read_file_bytes(iso);
  // The one directory record of each name (path tables hold other bytes before a name).
  auto record_of = [&](const std::string& identifier) {
    auto at = bytes.begin();
    for (;;) {
      at = std::search(at + 1, bytes.end(), identifier.begin(), identifier.end());
      if (at == bytes.end() || at[-1] == static_cast<unsigned char>(identifier.size())) break;
    }
    EXPECT_NE(at, bytes.end()) << identifier;
    return static_cast<size_t>(at - bytes.begin()) - 33;
  };
  talvo::write_both32(&bytes[record_of("PAST.DG2;1") + 2], 0x00FFFFFF);
  bytes[record_of("ZZBROKEN") + 32] = 0xFF;
  const size_t parent = record_of("LDIR"), loop = record_of("MLOOP");
  std::copy(&bytes[parent + 2], &bytes[parent + 18], &bytes[loop + 2]);  // extent and length, both orders
  testsupport::write_file(iso, bytes);
  const std::string folder = out("damaged");
  EXPECT_FALSE(run([&] { return extract_all_images(iso.c_str(), folder.c_str()); }));
  EXPECT_EQ(o_.err, "Error opening ISO directory \"/LDIR/MLOOP/\"\n"
                    "Error happened while reading file \"/PAST.DG2\" inside iso\n"
                    "Error opening ISO directory \"/SUB/\"\n");
  for (const char* f : {"/A.BMP", "/LDIR/D.BMP", "/SUB/B.BMP", "/Z.BMP"}) EXPECT_TRUE(file_exists(folder + f)) << f;
}

// Path, size and extent of every file as isoinfo lists the ISO tree.
std::map<std::string, std::string> isoinfo_listing(const std::string& iso) {
  std::string out;
  EXPECT_EQ(testsupport::run_python(R"(
import re, subprocess, sys
listing = subprocess.run(['isoinfo', '-l', '-i', sys.argv[1]], capture_output=True, text=True, check=True).stdout
folder = ''
for line in listing.splitlines():
    if line.startswith('Directory listing of '):
        folder = line[len('Directory listing of '):]
    m = re.match(r'^-\S*\s+\d+\s+\d+\s+\d+\s+(\d+)\s.*\[\s*(\d+)\s+\d+\]\s+(\S+);1\s*$', line)
    if m: print(folder + m.group(3).rstrip('.'), m.group(1), m.group(2), sep='\t')
)", {iso}, &out), 0);
  std::map<std::string, std::string> by_path;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) by_path[line.substr(0, line.find('\t'))] = line;
  return by_path;
}

TEST_F(ImageOperations, ListNamesEveryFileWithItsKindInRecordOrder) {
  std::map<std::string, std::string> isoinfo = isoinfo_listing(iso_);
  auto expected = [&](const std::vector<std::pair<const char*, const char*>>& files) {
    std::string text;
    for (const auto& [path, kind] : files) {
      EXPECT_TRUE(isoinfo.count(path)) << path;
      text += isoinfo[path] + "\t" + kind + "\n";
    }
    return text;
  };
  EXPECT_TRUE(run([&] { return list_files(iso_.c_str(), nullptr); })) << o_.err;
  EXPECT_EQ(o_.out, expected({{"/BG/BG09.DGP", "LZSS PP"},
                              {"/CHG2.TEX", "mato"},
                              {"/FC/FC01A.CHP", "LZSS mato"},
                              {"/MKRT/CHG.TEX", "other"},
                              {"/MKRT/EV/EVA32B.DGP", "LZSS DC"},
                              {"/MKRT/SAVEP.TEX", "other"},
                              {"/NOTES.TXT", "other"},
                              {"/PLAIN.PP4", "pp"},
                              {"/README", "DC"},
                              {"/SCNBIN/DAY_A0.SCN", "scn day file"},
                              {"/SCNBIN/PACKED.BIN", "LZSS"},
                              {"/SHORT.BIN", "other"},
                              {"/SP/WA_JYUL.DGP", "LZSS pp"}}));
  EXPECT_EQ(o_.err, "");
  for (const char* folder : {"MKRT", "/MKRT/", "//MKRT"}) {
    EXPECT_TRUE(run([&] { return list_files(iso_.c_str(), folder); })) << folder;
    EXPECT_EQ(o_.out, expected({{"/MKRT/CHG.TEX", "other"},
                                {"/MKRT/EV/EVA32B.DGP", "LZSS DC"},
                                {"/MKRT/SAVEP.TEX", "other"}}))
        << folder;
  }
  EXPECT_FALSE(run([&] { return list_files(iso_.c_str(), "/README"); }));
  EXPECT_EQ(o_.err, "Error opening ISO directory \"/README/\"\n");
}
