// The image operations on a real disc image made by genisoimage, checked with
// independent tools: Pillow reads the BMP files we write, Pillow and
// ImageMagick write the BMP files we insert, and pycdlib reads the image back.
#include "images/image_operations.h"

#include <gtest/gtest.h>

#include <sstream>

#include "images/extract_all.h"
#include "images/lzss.h"
#include "tests/images/image_test_helpers.h"
#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"

using namespace imagetest;
using testsupport::build_dc;
using testsupport::build_pp;
using testsupport::build_pp4;
using testsupport::file_exists;
using testsupport::read_file_bytes;
using testsupport::rgb_of_555;

namespace {

const char kPillowDump[] = R"(
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.load()
print(im.mode, im.size[0], im.size[1])
if im.mode == 'P':
    print(' '.join(str(v) for v in im.getpalette()))
def fmt(p):
    return '%d,%d,%d' % p[:3] if isinstance(p, tuple) else str(p)
print(' '.join(fmt(p) for p in im.getdata()))
)";

// argv: output, mode (RGB or P), width, height, palette "r,g,b,...", pixels
// ("r:g:b,..." or "i,i,...").
const char kPillowWrite[] = R"(
import sys
from PIL import Image
path, mode, w, h, pal, px = sys.argv[1:7]
im = Image.new(mode, (int(w), int(h)))
if mode == 'P':
    im.putpalette([int(v) for v in pal.split(',')])
    im.putdata([int(v) for v in px.split(',')])
else:
    im.putdata([tuple(int(c) for c in v.split(':')) for v in px.split(',')])
im.save(path)
)";

std::string pillow_dump(const std::string& bmp) {
  std::string out;
  EXPECT_EQ(testsupport::run_python(kPillowDump, {bmp}, &out), 0) << bmp;
  return out;
}

// A picture for Pillow to write: RGB colours as 0xRRGGBB, or palette indices.
struct Picture {
  int width, height;
  std::vector<uint32_t> palette;  // empty: RGB picture
  std::vector<uint32_t> pixels;
};

void pillow_write(const std::string& path, const Picture& p) {
  std::ostringstream pal, px;
  for (size_t i = 0; i < p.palette.size(); i++) {
    const uint32_t c = p.palette[i];
    pal << (i ? "," : "") << (c >> 16) << "," << ((c >> 8) & 255) << "," << (c & 255);
  }
  for (size_t i = 0; i < p.pixels.size(); i++) {
    const uint32_t v = p.pixels[i];
    px << (i ? "," : "");
    if (p.palette.empty()) px << (v >> 16) << ":" << ((v >> 8) & 255) << ":" << (v & 255);
    else px << v;
  }
  ASSERT_EQ(testsupport::run_python(kPillowWrite,
                                    {path, p.palette.empty() ? "RGB" : "P", std::to_string(p.width),
                                     std::to_string(p.height), pal.str(), px.str()}),
            0);
}

// ImageMagick's own BMP writer (V5 info header; run-length coded 8-bit rows
// unless told otherwise), from a PNG that Pillow wrote.
void magick_write(const std::string& path, const Picture& p, const std::string& options) {
  const std::string png = path + ".png";
  pillow_write(png, p);
  ASSERT_EQ(testsupport::run("/usr/bin/convert " + testsupport::shell_quote(png) + " " + options + " " +
                             testsupport::shell_quote(path)),
            0);
}

std::string expected_rgb_dump(int w, int h, const std::vector<uint16_t>& px) {
  std::ostringstream s;
  s << "RGB " << w << " " << h << "\n";
  for (int i = 0; i < w * h; i++) {
    const uint32_t c = rgb_of_555(px[i]);
    s << (i ? " " : "") << (c >> 16) << "," << ((c >> 8) & 255) << "," << (c & 255);
  }
  return s.str() + "\n";
}

std::string expected_palette_dump(int w, int h, const std::vector<uint16_t>& pal, const ImageBytes& idx) {
  std::ostringstream s;
  s << "P " << w << " " << h << "\n";
  for (size_t i = 0; i < pal.size(); i++) {
    const uint32_t c = rgb_of_555(pal[i]);
    s << (i ? " " : "") << (c >> 16) << " " << ((c >> 8) & 255) << " " << (c & 255);
  }
  s << "\n";
  for (size_t i = 0; i < idx.size(); i++) s << (i ? " " : "") << int(idx[i]);
  return s.str() + "\n";
}

uint16_t to555(uint32_t rgb) {
  return static_cast<uint16_t>(0x8000 | (((rgb & 255) >> 3) << 10) | ((((rgb >> 8) & 255) >> 3) << 5) |
                               ((rgb >> 16) >> 3));
}

ImageBytes lzss_file(const ImageBytes& data) {
  unsigned int size = 0;
  // Tiny test pictures do not shrink; the warning saying so is expected.
  Output ignored;
  unsigned char* packed =
      captured(&ignored, [&] { return compress_lzss(data.data(), static_cast<unsigned>(data.size()), &size); });
  return take(packed, size);
}

ImageBytes unlzss(const ImageBytes& file) {
  unsigned int size = 0;
  unsigned char* data = uncompress_lzss(file.data(), static_cast<unsigned>(file.size()), &size);
  return take(data, size);
}

uint16_t be16(const ImageBytes& b, size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); }

std::vector<uint16_t> gradient(int n, int salt) {
  std::vector<uint16_t> v;
  for (int i = 0; i < n; i++) v.push_back(static_cast<uint16_t>(0x8000 | ((i * 0x0C63 + salt * 0x1111) & 0x7FFF)));
  return v;
}

ImageBytes indices(int n, int colours) {
  ImageBytes v;
  for (int i = 0; i < n; i++) v.push_back(static_cast<unsigned char>((i * 7 + 3) % colours));
  return v;
}

ImageBytes concat(ImageBytes a, const ImageBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

ImageBytes mato_of(const std::vector<ImageBytes>& images) {
  ImageBytes b = {'m', 'a', 't', 'o', 0, 0, 0, 0};
  testsupport::put_be32(&b, static_cast<uint32_t>(images.size()));
  testsupport::put_be32(&b, 0);
  uint32_t at = 16 + 4 * static_cast<uint32_t>(images.size());
  for (const ImageBytes& img : images) {
    testsupport::put_be32(&b, at - 8);
    at += static_cast<uint32_t>(img.size());
  }
  for (const ImageBytes& img : images) b = concat(b, img);
  b[6] = static_cast<unsigned char>(b.size() >> 8);
  b[7] = static_cast<unsigned char>(b.size());
  return b;
}

class ImageOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::make_scratch_dir("image_ops");
    dc_px_ = gradient(5 * 4, 1);
    pp_pal_ = gradient(256, 2);
    pp_idx_ = indices(5 * 4, 20);
    pp4_pal_ = gradient(16, 3);
    pp4_idx_ = indices(6 * 2, 12);
    files_["/MKRT/CHG.TEX"] = concat(concat(ImageBytes(0x30, 0x11), build_dc(5, 4, dc_px_)), ImageBytes(7, 0x22));
    files_["/MKRT/SAVEP.TEX"] = concat(ImageBytes(0x28, 0x33), build_pp(5, 4, pp_pal_, pp_idx_));
    files_["/MKRT/EV/EVA32B.DGP"] = lzss_file(build_dc(5, 4, dc_px_));
    files_["/BG/BG09.DGP"] = lzss_file(build_pp(5, 4, pp_pal_, pp_idx_));
    files_["/SP/WA_JYUL.DGP"] = lzss_file(build_pp4(6, 2, pp4_pal_, pp4_idx_));
    mato_ = mato_of({build_dc(5, 4, dc_px_), build_pp(5, 4, pp_pal_, pp_idx_), build_pp4(6, 2, pp4_pal_, pp4_idx_)});
    files_["/FC/FC01A.CHP"] = lzss_file(mato_);
    files_["/CHG2.TEX"] = mato_;
    files_["/README"] = build_dc(5, 4, dc_px_);
    files_["/SHORT.BIN"] = ImageBytes{'D', 'C', 0, 1, 0, 1, 0, 0};
    files_["/PLAIN.PP4"] = build_pp4(6, 2, pp4_pal_, pp4_idx_);
    files_["/NOTES.TXT"] = ImageBytes(100, 'x');
    iso_ = testsupport::build_iso(dir_, files_, true);
    ASSERT_FALSE(iso_.empty());
  }

  // A file as pycdlib reads it from both trees, which must agree.
  ImageBytes iso_file(const std::string& path) {
    testsupport::IsoContents c = testsupport::read_iso_contents(iso_);
    EXPECT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.iso_tree[path].data, c.joliet_tree[path].data) << path;
    return c.joliet_tree[path].data;
  }

  std::string out(const std::string& name) { return dir_ + "/" + name; }

  std::string dir_, iso_;
  testsupport::FileMap files_;
  std::vector<uint16_t> dc_px_, pp_pal_, pp4_pal_;
  ImageBytes pp_idx_, pp4_idx_, mato_;
};

}  // namespace

TEST_F(ImageOperations, DcAtAnOffsetReadsInPillowAndTakesPillowAndImageMagickFiles) {
  Output o;
  ASSERT_TRUE(captured(&o, [&] { return extract_dc_to_bmp(iso_.c_str(), "/MKRT/CHG.TEX", out("a.bmp").c_str(), 0x30); }));
  EXPECT_EQ(o.out, "Done.\n");
  EXPECT_EQ(pillow_dump(out("a.bmp")), expected_rgb_dump(5, 4, dc_px_));

  Picture pic{5, 4, {}, {}};
  for (int i = 0; i < 20; i++) pic.pixels.push_back((i * 0x0B1D37u + 0x405060) & 0xFFFFFF);
  std::vector<uint16_t> want;
  for (uint32_t c : pic.pixels) want.push_back(to555(c));
  for (int writer = 0; writer < 2; writer++) {
    const std::string bmp = out(writer ? "im24.bmp" : "pil24.bmp");
    if (writer) magick_write(bmp, pic, "-type truecolor");
    else pillow_write(bmp, pic);
    ASSERT_TRUE(captured(&o, [&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", bmp.c_str(), 0x30); }))
        << o.err;
    EXPECT_EQ(o.out, "Done.\n");
    const ImageBytes stored = iso_file("/MKRT/CHG.TEX");
    EXPECT_EQ(stored, concat(concat(ImageBytes(0x30, 0x11), build_dc(5, 4, want)), ImageBytes(7, 0x22)))
        << writer;
  }
}

TEST_F(ImageOperations, PpPalettesSurviveEditorsAndBothRepairs) {
  Output o;
  ASSERT_TRUE(captured(&o, [&] { return extract_pp_to_bmp(iso_.c_str(), "/MKRT/SAVEP.TEX", out("p.bmp").c_str(), 0x28); }));
  EXPECT_EQ(pillow_dump(out("p.bmp")), expected_palette_dump(5, 4, pp_pal_, pp_idx_));
  const ImageBytes original = iso_file("/MKRT/SAVEP.TEX");

  // Pillow writes only the 20 colours it was given: the rest become black.
  Picture small{5, 4, {}, {}};
  for (int i = 0; i < 20; i++) small.palette.push_back(rgb_of_555(pp_pal_[i]));
  small.pixels.assign(pp_idx_.begin(), pp_idx_.end());
  pillow_write(out("pil8.bmp"), small);
  ASSERT_TRUE(captured(&o, [&] { return insert_bmp_into_pp(iso_.c_str(), "/MKRT/SAVEP.TEX", out("pil8.bmp").c_str(), 0x28, false, false); }))
      << o.err;
  EXPECT_EQ(o.out, "Image \"" + out("pil8.bmp") + "\" was inserted.\n");
  std::vector<uint16_t> padded(pp_pal_.begin(), pp_pal_.begin() + 20);
  padded.resize(256, 0x8000);
  EXPECT_EQ(iso_file("/MKRT/SAVEP.TEX"), concat(ImageBytes(0x28, 0x33), build_pp(5, 4, padded, pp_idx_)));

  // An editor moved the transparent colour from index 0 to index 7.
  Picture moved{5, 4, {}, {}};
  for (int i = 0; i < 256; i++) moved.palette.push_back(rgb_of_555(pp_pal_[i]));
  std::swap(moved.palette[0], moved.palette[7]);
  for (unsigned char v : pp_idx_) moved.pixels.push_back(v == 0 ? 7 : v == 7 ? 0 : v);
  pillow_write(out("moved.bmp"), moved);
  ASSERT_TRUE(captured(&o, [&] { return insert_bmp_into_pp(iso_.c_str(), "/MKRT/SAVEP.TEX", out("moved.bmp").c_str(), 0x28, true, false); }));
  EXPECT_TRUE(contains(o.out, "Info: transparency fixed to colour"));
  EXPECT_EQ(iso_file("/MKRT/SAVEP.TEX"), original);

  // ImageMagick rebuilds the palette in its own order and codes the rows as
  // runs; fix_palette maps everything back onto the stored palette.
  for (const char* options : {"", "-compress none"}) {
    magick_write(out("im8.bmp"), small, options);
    ASSERT_TRUE(captured(&o, [&] { return insert_bmp_into_pp(iso_.c_str(), "/MKRT/SAVEP.TEX", out("im8.bmp").c_str(), 0x28, false, true); }))
        << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(iso_file("/MKRT/SAVEP.TEX"), original) << options;
  }
}

TEST_F(ImageOperations, LzssImagesShrinkAndGrowInsideTheDisc) {
  Output o;
  ASSERT_TRUE(captured(&o, [&] { return extract_lzss_dc_to_bmp(iso_.c_str(), "/MKRT/EV/EVA32B.DGP", out("ev.bmp").c_str()); }));
  EXPECT_EQ(pillow_dump(out("ev.bmp")), expected_rgb_dump(5, 4, dc_px_));
  const unsigned old_size = static_cast<unsigned>(files_["/MKRT/EV/EVA32B.DGP"].size());

  Picture flat{5, 4, {}, std::vector<uint32_t>(20, 0x102030)};
  pillow_write(out("flat.bmp"), flat);
  ASSERT_TRUE(captured(&o, [&] { return insert_bmp_into_lzss_dc(iso_.c_str(), "/MKRT/EV/EVA32B.DGP", out("flat.bmp").c_str()); }));
  ImageBytes stored = iso_file("/MKRT/EV/EVA32B.DGP");
  EXPECT_LT(stored.size(), old_size);
  EXPECT_EQ(o.out, "Info: file \"/MKRT/EV/EVA32B.DGP\" got reduced from " + std::to_string(old_size) + " to " +
                       std::to_string(stored.size()) + " bytes.\nImage \"" + out("flat.bmp") + "\" was inserted.\n");
  EXPECT_EQ(unlzss(stored), build_dc(5, 4, std::vector<uint16_t>(20, to555(0x102030))));

  Picture noisy{5, 4, {}, {}};
  for (int i = 0; i < 20; i++) noisy.pixels.push_back((i * 0x9E3779u) & 0xFFFFFF);
  pillow_write(out("noisy.bmp"), noisy);
  ASSERT_TRUE(captured(&o, [&] { return insert_bmp_into_lzss_dc(iso_.c_str(), "/MKRT/EV/EVA32B.DGP", out("noisy.bmp").c_str()); }));
  EXPECT_TRUE(contains(o.out, "got bigger: from " + std::to_string(stored.size())));
  std::vector<uint16_t> want;
  for (uint32_t c : noisy.pixels) want.push_back(to555(c));
  EXPECT_EQ(unlzss(iso_file("/MKRT/EV/EVA32B.DGP")), build_dc(5, 4, want));
}

TEST_F(ImageOperations, LzssPaletteImagesRoundTripThroughImageMagick) {
  Output o;
  ASSERT_TRUE(captured(&o, [&] { return extract_lzss_pp_to_bmp(iso_.c_str(), "/BG/BG09.DGP", out("bg.bmp").c_str()); }));
  EXPECT_EQ(pillow_dump(out("bg.bmp")), expected_palette_dump(5, 4, pp_pal_, pp_idx_));
  ASSERT_TRUE(captured(&o, [&] { return extract_lzss_pp4_to_bmp(iso_.c_str(), "/SP/WA_JYUL.DGP", out("sp.bmp").c_str()); }));
  EXPECT_EQ(pillow_dump(out("sp.bmp")), expected_palette_dump(6, 2, pp4_pal_, pp4_idx_));

  // ImageMagick writes 12 colours as a 4-bit file, in an order of its own:
  // every pixel must keep its colour, and the transparent one stays at 0.
  Picture pic{6, 2, {}, {}};
  for (int i = 0; i < 12; i++) pic.palette.push_back(rgb_of_555(pp4_pal_[(i + 5) % 12]));
  for (unsigned char v : pp4_idx_) pic.pixels.push_back((v + 7) % 12);
  magick_write(out("im4.bmp"), pic, "");
  ASSERT_TRUE(captured(&o, [&] { return insert_bmp_into_lzss_pp4(iso_.c_str(), "/SP/WA_JYUL.DGP", out("im4.bmp").c_str(), true); }))
      << o.err;
  EXPECT_TRUE(contains(o.out, "Done.\n"));
  const ImageBytes pp = unlzss(iso_file("/SP/WA_JYUL.DGP"));
  ASSERT_EQ(pp.size(), 38u + 6);
  EXPECT_EQ(be16(pp, 6), pp4_pal_[0] | 0x8000);
  for (int i = 0; i < 12; i++) {
    const unsigned nibble = (pp[38 + i / 2] >> (i % 2 ? 0 : 4)) & 15;
    EXPECT_EQ(be16(pp, 6 + 2 * nibble), pp4_pal_[pp4_idx_[i]] | 0x8000) << i;
  }
}

TEST_F(ImageOperations, RefusalsLeaveTheDiscByteIdentical) {
  const ImageBytes before = read_file_bytes(iso_);
  Picture wrong{4, 4, {}, std::vector<uint32_t>(16, 0x808080)};
  pillow_write(out("wrong.bmp"), wrong);
  Picture eight{5, 4, {0, 0xFFFFFF}, std::vector<uint32_t>(20, 1)};
  pillow_write(out("eight.bmp"), eight);
  struct Case {
    std::function<bool()> op;
    std::string message;
  } cases[] = {
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", out("wrong.bmp").c_str(), 0x30); },
       "Error: width/height of BMP and DC don't match: (4, 4) != (5, 4)\n"},
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", out("eight.bmp").c_str(), 0x30); },
       "Unsupported type of BMP. Must be 24 bits.\n"},
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", out("none.bmp").c_str(), 0x30); },
       "Can't open file \"" + out("none.bmp") + "\"\n"},
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/CHG.TEX", out("wrong.bmp").c_str(), 0x65); },
       "Offset 65 goes to end of file or greater.\n"},
      {[&] { return insert_bmp_into_dc(iso_.c_str(), "/MKRT/NOPE.TEX", out("wrong.bmp").c_str(), 0); },
       "\"/MKRT/NOPE.TEX\" was not found in the iso.\n"},
      {[&] { return insert_bmp_into_lzss_dc(iso_.c_str(), "/MKRT/EV/EVA32B.DGP", out("wrong.bmp").c_str()); },
       "Error: width/height of BMP and DC don't match: (4, 4) != (5, 4)\n"},
      {[&] { return insert_bmp_into_lzss_pp(iso_.c_str(), "/BG/BG09.DGP", out("wrong.bmp").c_str(), true, false); },
       "Unsupported type of BMP. It must be 8 bits with 256 colours palette.\n"},
      {[&] { return insert_bmp_into_lzss_pp4(iso_.c_str(), "/BG/BG09.DGP", out("eight.bmp").c_str(), true); },
       "Error: no pp signature.\n"},
      {[&] { return extract_dc_to_bmp(iso_.c_str(), "/MKRT/CHG.TEX", out("x.bmp").c_str(), 0x65); },
       "Offset 65 goes to end of file or beyond.\n"},
      {[&] { return extract_dc_to_bmp(iso_.c_str(), "/MKRT/CHG.TEX", iso_.c_str(), 0x30); },
       "Error: output file is the disc image itself: " + iso_ + "\n"},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
    Output o;
    EXPECT_FALSE(captured(&o, cases[i].op)) << i;
    EXPECT_EQ(o.err, cases[i].message) << i;
    EXPECT_EQ(read_file_bytes(iso_), before) << i;
  }
  EXPECT_FALSE(file_exists(out("x.bmp")));
}

TEST_F(ImageOperations, MatoContainersPlainAndCompressed) {
  for (bool lzss : {false, true}) {
    const char* path = lzss ? "/FC/FC01A.CHP" : "/CHG2.TEX";
    const std::string prefix = out(lzss ? "FC01A" : "CHG2");
    Output o;
    ASSERT_TRUE(captured(&o, [&] {
      return lzss ? extract_lzss_mato(iso_.c_str(), path, prefix.c_str()) : extract_mato(iso_.c_str(), path, prefix.c_str());
    })) << o.err;
    EXPECT_EQ(o.out, "Done.\n");
    const uint32_t dc_at = 16 + 12, pp_at = dc_at + 6 + 40, pp4_at = pp_at + 518 + 20;
    char name[64];
    std::snprintf(name, sizeof name, "_%08X.bmp", pp4_at);
    EXPECT_EQ(pillow_dump(prefix + name), expected_palette_dump(6, 2, pp4_pal_, pp4_idx_));
    std::snprintf(name, sizeof name, "_%08X.bmp", dc_at);
    EXPECT_EQ(pillow_dump(prefix + name), expected_rgb_dump(5, 4, dc_px_));
    // Replace the DC picture with Pillow's, drop the others' files.
    Picture flat{5, 4, {}, std::vector<uint32_t>(20, 0xF0F0F0)};
    pillow_write(prefix + name, flat);
    std::snprintf(name, sizeof name, "_%08X.bmp", pp_at);
    std::remove((prefix + name).c_str());
    ASSERT_TRUE(captured(&o, [&] {
      return lzss ? insert_lzss_mato(iso_.c_str(), path, prefix.c_str(), true, true, false)
                  : insert_mato(iso_.c_str(), path, prefix.c_str(), true, true, false);
    })) << o.err;
    EXPECT_TRUE(contains(o.out, std::string(lzss ? "insert_lzss_mato(" : "insert_mato(") + path + ") completed"));
    EXPECT_TRUE(contains(o.out, "(num images inserted = 2)\n"));
    const ImageBytes stored = lzss ? unlzss(iso_file(path)) : iso_file(path);
    EXPECT_EQ(stored, mato_of({build_dc(5, 4, std::vector<uint16_t>(20, to555(0xF0F0F0))),
                               build_pp(5, 4, pp_pal_, pp_idx_), build_pp4(6, 2, pp4_pal_, pp4_idx_)}));
    // Without ignore_missing_files the missing PP picture is a failure.
    EXPECT_FALSE(captured(&o, [&] {
      return lzss ? insert_lzss_mato(iso_.c_str(), path, prefix.c_str(), true, false, false)
                  : insert_mato(iso_.c_str(), path, prefix.c_str(), true, false, false);
    }));
    EXPECT_TRUE(contains(o.err, "Cannot open file"));
  }
}

TEST_F(ImageOperations, ExtractAllMirrorsTheDiscTree) {
  const std::string folder = out("all");
  Output o;
  EXPECT_TRUE(captured(&o, [&] { return extract_all_images(iso_.c_str(), folder.c_str()); })) << o.err;
  for (const char* line : {"Now processing /MKRT/EV/EVA32B.DGP (DC (LZSS))\n", "Now processing /BG/BG09.DGP (PP (LZSS))\n", "Now processing /SP/WA_JYUL.DGP (PP4 (LZSS))\n",
                           "Now processing /FC/FC01A.CHP (mato (LZSS))\n", "Now processing /CHG2.TEX (mato)\n",
                           "Now processing /README (DC)\n"}) {
    EXPECT_TRUE(contains(o.out, line)) << line;
  }
  EXPECT_FALSE(contains(o.out, "SHORT.BIN"));
  EXPECT_FALSE(contains(o.out, "NOTES.TXT"));
  // Image data behind other bytes is not recognised.
  EXPECT_FALSE(contains(o.out, "SAVEP"));
  EXPECT_FALSE(contains(o.out, "/MKRT/CHG.TEX"));
  EXPECT_EQ(o.err, "PP4 uncompressed standalone, buuuuuu this doesn't exist.\n");
  EXPECT_EQ(pillow_dump(folder + "/MKRT/EV/EVA32B.BMP"), expected_rgb_dump(5, 4, dc_px_));
  EXPECT_EQ(pillow_dump(folder + "/README.BMP"), expected_rgb_dump(5, 4, dc_px_));
  EXPECT_EQ(pillow_dump(folder + "/SP/WA_JYUL.BMP"), expected_palette_dump(6, 2, pp4_pal_, pp4_idx_));
  EXPECT_TRUE(file_exists(folder + "/BG/BG09.BMP"));
  EXPECT_TRUE(file_exists(folder + "/CHG2_0000001C.bmp"));
  EXPECT_TRUE(file_exists(folder + "/FC/FC01A_0000001C.bmp"));
}

TEST_F(ImageOperations, ExtractAllSkipsNamesThatWouldLeaveTheOutputFolder) {
  // A plain ISO 9660 tree whose file identifier is patched to climb out.
  testsupport::FileMap files;
  files["/SUB/EVILXX.DG2"] = build_dc(5, 4, dc_px_);
  files["/SUB/GOOD.DG2"] = build_dc(5, 4, dc_px_);
  const std::string dir = testsupport::make_scratch_dir("evil");
  const std::string iso = testsupport::build_iso(dir, files, false);
  ImageBytes bytes = read_file_bytes(iso);
  const std::string from = "EVILXX.DG2;1", to = "../../X.DG2;";
  bool patched = false;
  for (size_t i = 0; i + from.size() <= bytes.size() && !patched; i++) {
    if (std::equal(from.begin(), from.end(), bytes.begin() + i)) {
      std::copy(to.begin(), to.end(), bytes.begin() + i);
      patched = true;
    }
  }
  ASSERT_TRUE(patched);
  testsupport::write_file(iso, bytes);
  const std::string folder = dir + "/out/a/b";
  testsupport::run("mkdir -p " + testsupport::shell_quote(folder));
  Output o;
  EXPECT_FALSE(captured(&o, [&] { return extract_all_images(iso.c_str(), folder.c_str()); }));
  EXPECT_TRUE(contains(o.err, "Error: unsafe name in ISO directory \"../../X.DG2;\"\n")) << o.err;
  EXPECT_TRUE(file_exists(folder + "/SUB/GOOD.BMP"));
  EXPECT_FALSE(file_exists(dir + "/out/X.BMP"));
  EXPECT_FALSE(file_exists(folder + "/X.BMP"));
}
