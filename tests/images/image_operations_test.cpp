// The image operations on a genisoimage-made disc: Pillow reads the BMP files we write, Pillow and
// ImageMagick write the ones we insert, and pycdlib reads the disc back.
#include "images/image_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "images/extract_all.h"
#include "images/list_files.h"
#include "tests/images/image_test_helpers.h"
#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"

using namespace imagetest;
using testsupport::build_dc;
using testsupport::build_pp;
using testsupport::file_exists;
using testsupport::read_file_bytes;
using testsupport::rgb_of_555;

namespace {

// "dump PATH" prints mode, width, height and the pixels' colours as hex RGB bytes; "write PATH W H PALETTE
// PIXELS" writes a picture (palette and RGB pixels as 0xRRGGBB numbers, no palette for an RGB picture).
const char kPillow[] = R"(
import sys
from PIL import Image
if sys.argv[1] == 'dump':
    im = Image.open(sys.argv[2])
    print(im.mode, *im.size, im.convert('RGB').tobytes().hex())
else:
    path, w, h, pal, px = sys.argv[2:7]
    rgb = lambda v: (v >> 16, (v >> 8) & 255, v & 255)
    values = [int(v) for v in px.split(',')]
    im = Image.new('P' if pal else 'RGB', (int(w), int(h)))
    if pal: im.putpalette([c for v in pal.split(',') for c in rgb(int(v))])
    else: values = [rgb(v) for v in values]
    im.putdata(values)
    im.save(path)
)";

// Pillow must read the BMP file of a game image as a palette (PP, pp) or RGB (DC) picture of its colours.
void expect_pillow_reads(const std::string& bmp, const ImageBytes& img) {
  const int w = img[2] << 8 | img[3], h = img[4] << 8 | img[5];
  std::string want = std::string(img[0] == 'D' ? "RGB " : "P ") + std::to_string(w) + " " + std::to_string(h) + " ";
  for (int i = 0; i < w * h; i++) {
    const int entry = img[0] == 'D' ? i : img[0] == 'P' ? img[518 + i] : (img[38 + i / 2] >> (i % 2 ? 0 : 4)) & 15;
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06x", rgb_of_555(img[6 + 2 * entry] << 8 | img[7 + 2 * entry]));
    want += colour;
  }
  std::string dump;
  EXPECT_EQ(testsupport::run_python(kPillow, {"dump", bmp}, &dump), 0) << bmp;
  EXPECT_EQ(dump, want + "\n") << bmp;
}

// Writes a picture with Pillow, or with ImageMagick from Pillow's PNG when magick_options is not null.
void write_picture(const std::string& path, int w, int h, const std::vector<uint32_t>& palette,
                   const std::vector<uint32_t>& pixels, const char* magick_options = nullptr) {
  auto words = [](const std::vector<uint32_t>& values) {
    std::string text;
    for (uint32_t v : values) text += (text.empty() ? "" : ",") + std::to_string(v);
    return text;
  };
  const std::string target = magick_options ? path + ".png" : path;
  const std::vector<std::string> args = {"write", target, std::to_string(w), std::to_string(h), words(palette), words(pixels)};
  ASSERT_EQ(testsupport::run_python(kPillow, args), 0);
  if (magick_options) {
    ASSERT_EQ(testsupport::run(std::string(TALVO_CONVERT) + " " + testsupport::shell_quote(target) + " " +
                               magick_options + " " + testsupport::shell_quote(path)), 0);
  }
}

// The DC image of 20 pixels 0xRRGGBB, 5 x 4.
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

const std::vector<uint16_t> kPalette = gradient(256, 2), kPalette16 = gradient(16, 3);
const ImageBytes kPpIndices = {3, 10, 17, 4, 11, 18, 5, 12, 19, 6, 13, 0, 7, 14, 1, 8, 15, 2, 9, 16};
const ImageBytes kDc = build_dc(5, 4, gradient(20, 1)), kPp = build_pp(5, 4, kPalette, kPpIndices),
                 kPp4 = testsupport::build_pp4(6, 2, kPalette16, {3, 10, 5, 0, 7, 2, 9, 4, 11, 6, 1, 8}),
                 kMato = build_mato({kDc, kPp, kPp4});

class ImageOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::make_scratch_dir("image_ops");
    // SCNBIN/DAY_A0.SCN: a day file as far as its header goes, a signature and its own length.
    iso_ = testsupport::build_iso(dir_, {
        {"/MKRT/CHG.TEX", concat(concat(ImageBytes(0x30, 0x11), kDc), ImageBytes(7, 0x22))},
        {"/MKRT/SAVEP.TEX", concat(ImageBytes(0x28, 0x33), kPp)}, {"/MKRT/EV/EVA32B.DGP", lzss_pack(kDc)},
        {"/BG/BG09.DGP", lzss_pack(kPp)}, {"/SP/WA_JYUL.DGP", lzss_pack(kPp4)}, {"/FC/FC01A.CHP", lzss_pack(kMato)},
        {"/CHG2.TEX", kMato}, {"/SHORT.BIN", {'D', 'C', 0, 1, 0, 1, 0, 0}}, {"/PLAIN.PP4", kPp4},
        {"/NOTES.TXT", ImageBytes(100, 'x')}, {"/SCNBIN/DAY_A0.SCN", concat({'s', 'c', 'n', 0, 80, 0}, ImageBytes(74, 0))},
        {"/SCNBIN/PACKED.BIN", lzss_pack(ImageBytes(300, 'x'))}}, true);
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
  Output o_;
};

}  // namespace

// A Pillow-written DC picture inside a plain file (the bytes around it stay) and an LZSS one, and an
// ImageMagick-written run-length coded PP one whose palette it reordered: fix_palette maps it back.
TEST_F(ImageOperations, PicturesTakePillowAndImageMagickFiles) {
  std::vector<uint32_t> pixels(20);
  for (uint32_t i = 0; i < 20; i++) pixels[i] = (0x405060 + i * 0x0B1D37) & 0xFFFFFF;
  write_picture(out("dc.bmp"), 5, 4, {}, pixels);
  ASSERT_TRUE(done([&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", out("dc.bmp").c_str(), 0x30); })) << o_.err;
  EXPECT_EQ(iso_file("/MKRT/CHG.TEX"), concat(concat(ImageBytes(0x30, 0x11), dc_of(pixels)), ImageBytes(7, 0x22)));
  ASSERT_TRUE(done([&] { return extract_dc_to_bmp(iso_.c_str(), "/MKRT/CHG.TEX", out("x.bmp").c_str(), 0x30); }));
  expect_pillow_reads(out("x.bmp"), dc_of(pixels));
  ASSERT_TRUE(run([&] { return insert_bmp_into_lzss_dc(iso_.c_str(), "/MKRT/EV/EVA32B.DGP", out("dc.bmp").c_str()); }));
  EXPECT_EQ(lzss_unpack(iso_file("/MKRT/EV/EVA32B.DGP")), dc_of(pixels));
  std::vector<uint32_t> palette, indices(kPpIndices.begin(), kPpIndices.end());
  for (int i = 0; i < 20; i++) palette.push_back(rgb_of_555(kPalette[i]));
  write_picture(out("pp.bmp"), 5, 4, palette, indices, "");
  ASSERT_TRUE(run([&] { return insert_bmp_into_pp(iso_.c_str(), "/MKRT/SAVEP.TEX", out("pp.bmp").c_str(), 0x28, false, true); })) << o_.err;
  EXPECT_EQ(iso_file("/MKRT/SAVEP.TEX"), concat(ImageBytes(0x28, 0x33), kPp));
}

TEST_F(ImageOperations, RefusalsLeaveTheDiscByteIdentical) {
  const ImageBytes before = read_file_bytes(iso_);
  write_picture(out("wrong.bmp"), 4, 4, {}, std::vector<uint32_t>(16, 0x808080));
  write_picture(out("eight.bmp"), 5, 4, {0, 0xFFFFFF}, std::vector<uint32_t>(20, 1));
  const std::string wrong = out("wrong.bmp"), eight = out("eight.bmp"), none = out("none.bmp");
  const std::string mismatch = "Error: width/height of BMP and DC don't match: (4, 4) != (5, 4)\n";
  const char* i = iso_.c_str();
  const std::pair<std::function<bool()>, std::string> cases[] = {
      {[&] { return insert_bmp_into_dc(i, "/MKRT/CHG.TEX", wrong.c_str(), 0x30); }, mismatch},
      {[&] { return insert_bmp_into_dc(i, "/MKRT/CHG.TEX", eight.c_str(), 0x30); }, "Unsupported type of BMP. Must be 24 bits.\n"},
      {[&] { return insert_bmp_into_dc(i, "/MKRT/CHG.TEX", none.c_str(), 0x30); }, "Can't open file \"" + none + "\""},
      {[&] { return insert_bmp_into_dc(i, "/MKRT/CHG.TEX", wrong.c_str(), 0x65); }, "Offset 65 goes to end of file or greater.\n"},
      {[&] { return insert_bmp_into_pp(i, "/MKRT/NOPE.TEX", wrong.c_str(), 0, true, false); }, "\"/MKRT/NOPE.TEX\" was not found in the iso.\n"},
      {[&] { return insert_bmp_into_lzss_dc(i, "/MKRT/EV/EVA32B.DGP", wrong.c_str()); }, mismatch},
      {[&] { return insert_bmp_into_lzss_pp4(i, "/BG/BG09.DGP", eight.c_str(), true); }, "Error: no pp signature.\n"},
      {[&] { return extract_dc_to_bmp(i, "/MKRT/CHG.TEX", out("x.bmp").c_str(), 0x65); }, "Offset 65 goes to end of file or beyond.\n"},
      {[&] { return extract_dc_to_bmp(i, "/MKRT/CHG.TEX", i, 0x30); }, "Error: output file is the disc image itself: " + iso_ + "\n"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(run(c.first)) << c.second;
    EXPECT_EQ(o_.err, c.second);
    EXPECT_EQ(read_file_bytes(iso_), before) << c.second;
  }
  EXPECT_FALSE(file_exists(out("x.bmp")));
}

// A compressed container's edited DC picture goes back in; a missing picture file fails the insert unless
// ignored.
TEST_F(ImageOperations, MatoContainerTakesEditedPictures) {
  const std::string prefix = out("FC01A");
  ASSERT_TRUE(done([&] { return extract_lzss_mato(iso_.c_str(), "/FC/FC01A.CHP", prefix.c_str()); }));
  write_picture(prefix + "_0000001C.bmp", 5, 4, {}, std::vector<uint32_t>(20, 0xF0F0F0));
  std::remove((prefix + "_0000004A.bmp").c_str());
  auto insert = [&](bool ignore_missing) {
    return run([&] { return insert_lzss_mato(iso_.c_str(), "/FC/FC01A.CHP", prefix.c_str(), true, ignore_missing, false); });
  };
  ASSERT_TRUE(insert(true)) << o_.err;
  EXPECT_EQ(lzss_unpack(iso_file("/FC/FC01A.CHP")), build_mato({dc_of(std::vector<uint32_t>(20, 0xF0F0F0)), kPp, kPp4}));
  EXPECT_FALSE(insert(false));
  EXPECT_TRUE(contains(o_.err, "Cannot open file \"" + prefix + "_0000004A.bmp\"\n")) << o_.err;
}

// Every picture kind comes out where Pillow reads it, in folders mirroring the disc; files that are too
// short, hold no picture or a plain pp image are skipped. The list of an oddly named folder gives each file
// with its size and extent as pycdlib reads them and the kinds extraction does not show; a file is no folder.
TEST_F(ImageOperations, ExtractAllAndListSeeEveryKind) {
  const std::string folder = out("all");
  EXPECT_TRUE(run([&] { return extract_all_images(iso_.c_str(), folder.c_str()); })) << o_.err;
  EXPECT_EQ(o_.err, "PP4 uncompressed standalone, buuuuuu this doesn't exist.\n");
  const std::pair<const char*, ImageBytes> pictures[] = {{"/MKRT/EV/EVA32B.BMP", kDc}, {"/BG/BG09.BMP", kPp},
                                                        {"/SP/WA_JYUL.BMP", kPp4}, {"/CHG2_0000004A.bmp", kPp},
                                                        {"/FC/FC01A_00000264.bmp", kPp4}};
  for (const auto& [f, image] : pictures) expect_pillow_reads(folder + f, image);
  for (const char* f : {"/SHORT.BMP", "/NOTES.BMP", "/PLAIN.BMP", "/MKRT/SAVEP.BMP"}) EXPECT_FALSE(file_exists(folder + f)) << f;
  testsupport::IsoContents disc = testsupport::read_iso_contents(iso_);
  std::string want;
  for (const auto& [path, kind] : {std::pair{"/SCNBIN/DAY_A0.SCN", "scn day file"}, std::pair{"/SCNBIN/PACKED.BIN", "LZSS"}}) {
    const testsupport::IsoFileInfo& f = disc.joliet_tree.at(path);
    want += std::string(path) + "\t" + std::to_string(f.length) + "\t" + std::to_string(f.extent) + "\t" + kind + "\n";
  }
  EXPECT_TRUE(run([&] { return list_files(iso_.c_str(), "//SCNBIN/"); }));
  EXPECT_EQ(o_.out, want);
  EXPECT_FALSE(run([&] { return list_files(iso_.c_str(), "/NOTES.TXT"); }));
  EXPECT_EQ(o_.err, "Error opening ISO directory \"/NOTES.TXT/\"\n");
}

// A plain ISO 9660 tree with a file identifier patched to climb out of the output folder, a directory whose
// listing is damaged (a record's identifier runs past the record) and a directory record leading back to its
// parent: each is reported, the rest extracted, the run fails.
TEST_F(ImageOperations, ExtractAllReportsDamagedRecordsAndGoesOn) {
  const std::string dir = testsupport::make_scratch_dir("damaged_all");
  const std::string iso = testsupport::build_iso(dir, {{"/A.DG2", kDc}, {"/LDIR/EVILXX.DG2", kDc}, {"/LDIR/MLOOP/E.DG2", kDc},
                                                       {"/SUB/ZZBROKEN/C.DG2", kDc}, {"/Z.DG2", kDc}}, false);
  ImageBytes bytes = read_file_bytes(iso);
  // The one directory record of each name (path tables hold other bytes before a name).
  auto record_of = [&](const std::string& identifier) {
    auto at = bytes.begin();
    do at = std::search(at + 1, bytes.end(), identifier.begin(), identifier.end());
    while (at != bytes.end() && at[-1] != static_cast<unsigned char>(identifier.size()));
    EXPECT_NE(at, bytes.end()) << identifier;
    return static_cast<size_t>(at - bytes.begin()) - 33;
  };
  const std::string escape = "../../X.DG2;";
  std::copy(escape.begin(), escape.end(), &bytes[record_of("EVILXX.DG2;1") + 33]);
  bytes[record_of("ZZBROKEN") + 32] = 0xFF;
  const size_t parent = record_of("LDIR"), loop = record_of("MLOOP");
  std::copy(&bytes[parent + 2], &bytes[parent + 18], &bytes[loop + 2]);  // extent and length, both orders
  testsupport::write_file(iso, bytes);
  const std::string deep = dir + "/out/a/b";  // the escape would land in out/a
  testsupport::run("mkdir -p " + testsupport::shell_quote(deep));
  EXPECT_FALSE(run([&] { return extract_all_images(iso.c_str(), deep.c_str()); }));
  EXPECT_EQ(o_.err, "Error: unsafe name in ISO directory \"" + escape + "\"\n"
                    "Error opening ISO directory \"/LDIR/MLOOP/\"\n"
                    "Error opening ISO directory \"/SUB/\"\n");
  EXPECT_TRUE(file_exists(deep + "/A.BMP") && file_exists(deep + "/Z.BMP"));
  EXPECT_FALSE(file_exists(dir + "/out/a/X.BMP"));
}
