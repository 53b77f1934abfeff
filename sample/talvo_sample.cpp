// talvo_sample: makes the sample data that scripts/demo shows the tool on,
// since the game disc itself cannot ship with the project.
//
//   talvo_sample translate DIR   a synthetic game disc (DIR/game.iso), its
//                                dump (DIR/japanese.ini), that dump edited as
//                                a translator would (DIR/english.ini) and the
//                                translated disc (DIR/translated.iso). The
//                                tool's catalogue only accepts the real day
//                                files, so the workflow runs in-process with
//                                the synthetic disc's own catalogue.
//   talvo_sample images DIR      a folder tree DIR/src of pictures in the
//                                game's formats, plain and LZSS-compressed,
//                                and the disc DIR/images.iso made of it.
//
// Exit status 0 when everything was made, 1 after a message otherwise.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "images/bmp.h"
#include "images/dc.h"
#include "images/lzss.h"
#include "images/pp.h"
#include "images/pp4.h"
#include "sample/host_tools.h"
#include "sample/synthetic_game.h"
#include "translation/dump.h"
#include "translation/reports.h"
#include "translation/translate.h"
#include "translation/verify.h"
#include "util/byte_order.h"
#include "util/guards.h"

namespace {

using sample::ini_quoted;

using sample::Bytes;

void heading(const std::string& text) {
  std::printf("\n--- %s\n", text.c_str());
  std::fflush(stdout);
}

bool fail(const std::string& why) {
  std::fflush(stdout);
  std::fprintf(stderr, "talvo_sample: %s\n", why.c_str());
  return false;
}

// A folder and those leading to it.
bool make_dirs(const std::string& path) {
  sample::make_parents(path + "/");
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool write_host_file(const std::string& path, const Bytes& data) {
  return sample::write_file(path, data) || fail("cannot write " + path);
}

// ---------------------------------------------------------------------------
// Translation

// What a translator might write: each line fits the game's text window of
// 34 bytes a line.
const char* const kEnglishLines[] = {
    "Good morning, %N! Late again?",
    "The bell is ringing.\nWe should hurry.",
    "Did you finish the homework?",
    "I waited by the school gate.\nFor almost an hour!",
    "\"Really?\" she asked.",
    "Let's meet after class.\nOn the roof.",
    "It's raining again...",
    "Thank you. I mean it.",
    "Who left this letter on my desk?",
    "The festival is next week!",
    "Hmm.",
    "I'll walk you home.\nIt's getting dark.",
};
const int kEnglishLineCount = sizeof kEnglishLines / sizeof kEnglishLines[0];

const char* const kAnswers[] = {"Go to the library", "Go home", "Stay in class", "Ask her",
                                "Say nothing", "Run", "Wait", "Follow him"};
const int kAnswerCount = sizeof kAnswers / sizeof kAnswers[0];

const char kSaveMessage[] = "Save your game?";  // 15 bytes: the game allows 16

struct EditSummary {
  int replaced = 0;
  int kept = 0;
  int answers = 0;
  std::string link_from, link_to;
};

// The dump edited line by line, as a translator works in a text editor:
// comments, blank lines and key order stay; texts change.
//  - every VA line gets an English line, except the last line of the last
//    three days, which stay Japanese (work still to do);
//  - on DAY_A0 the fifth line only repeats the second, so it names it as a
//    link, which needs "user_linking = true" in the section;
//  - every option answer gets an English text;
//  - days that warn about duplicate names get their setting switched on,
//    as the comment above it asks once a text of the section changes;
//  - [General] gets an English save message.
std::string edit_dump(const std::string& dump, const sample::SyntheticGame& game,
                      EditSummary* summary) {
  std::map<std::string, const sample::SyntheticDay*> days;
  for (const auto& d : game.days()) days[d.name] = &d;
  const sample::SyntheticDay* day = nullptr;
  std::string section, out;
  int line_number = 0;
  for (size_t pos = 0; pos < dump.size();) {
    size_t end = dump.find("\r\n", pos);
    if (end == std::string::npos) end = dump.size();
    std::string line = dump.substr(pos, end - pos);
    pos = end + 2;
    line_number++;
    if (line.size() > 2 && line[0] == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      auto it = days.find(section);
      day = it == days.end() ? nullptr : it->second;
      out += line + "\r\n";
      if (section == "DAY_A0") out += "user_linking = true\r\n";
      continue;
    }
    size_t eq = line.find(" = ");
    if (line == ";fix_duplicate_names = true") {
      line = "fix_duplicate_names = true";
    } else if (section == "General" && line.compare(0, 11, "save_msg = ") == 0) {
      line = "save_msg = " + ini_quoted(kSaveMessage);
    } else if (day && eq != std::string::npos && line[0] != ';') {
      std::string key = line.substr(0, eq);
      int va = -1;
      for (size_t j = 0; j < day->vas.size(); j++) {
        if (day->vas[j].name == key) va = static_cast<int>(j);
      }
      const bool last_days = section == "DAY_D5" || section == "DAY_D6" || section == "DAY_D7";
      if (va >= 0 && last_days && va + 1 == static_cast<int>(day->vas.size())) {
        summary->kept++;
      } else if (va == 4 && section == "DAY_A0") {
        summary->link_from = key;
        summary->link_to = day->vas[1].name;
        line = key + " = " + day->vas[1].name;
      } else if (va >= 0) {
        const int d = static_cast<int>(day - game.days().data());
        std::string text = kEnglishLines[(d * 5 + va) % kEnglishLineCount];
        // Two slips for the line check to find: a line that is plainly too
        // long, and one whose 35th byte follows a blank (the game may wrap it).
        if (section == "DAY_A1" && va == 3) text = "I waited by the school gate for almost an hour today.";
        if (section == "DAY_C2" && va == 7) text = "Take the umbrella with you, it is raining.";
        line = key + " = " + ini_quoted(text);
        summary->replaced++;
      } else {
        // An option: "<group> OPTIONn" for two or three answers, the group
        // name alone (answers separated by "/") for more.
        size_t opt = key.rfind(" OPTION");
        std::string text;
        if (opt != std::string::npos) {
          text = kAnswers[(line_number + key.back()) % kAnswerCount];
          summary->answers++;
        } else {
          for (const auto& g : day->groups) {
            if (g.name != key) continue;
            for (size_t i = 0; i < g.texts.size(); i++) {
              text += (i ? "/" : "") + std::string(kAnswers[(line_number + i) % kAnswerCount]);
              summary->answers++;
            }
          }
        }
        if (text.empty()) {
          fail("unexpected key in the dump: " + key);
          return "";
        }
        line = key + " = " + ini_quoted(text);
      }
    }
    out += line + "\r\n";
  }
  return out;
}

bool run_translation(const std::string& dir) {
  if (!make_dirs(dir)) return fail("cannot create " + dir);
  heading("Making a synthetic game disc");
  sample::SyntheticGame game;
  const std::string built = game.build_iso(dir + "/disc");
  const std::string disc = dir + "/game.iso";
  if (built.empty() || std::rename(built.c_str(), disc.c_str()) != 0) {
    return fail("could not make the synthetic game disc (genisoimage)");
  }
  int vas = 0, groups = 0;
  for (const auto& d : game.days()) {
    vas += static_cast<int>(d.vas.size());
    groups += static_cast<int>(d.groups.size());
  }
  std::printf("%s: %zu day files /SCNBIN/DAY_A0.SCN .. DAY_D7.SCN,\n"
              "%d spoken lines and %d choices in Shift-JIS, and a few other files.\n",
              disc.c_str(), game.days().size(), vas, groups);

  heading("dump: every text of the day files into japanese.ini");
  const std::string japanese = dir + "/japanese.ini";
  std::fflush(stdout);
  if (!dump_iso(disc.c_str(), japanese.c_str(), false, game.catalogue())) {
    return fail("the dump failed");
  }

  heading("A translator edits it into english.ini");
  const Bytes dump_bytes = sample::read_file_bytes(japanese);
  if (dump_bytes.empty()) return fail("cannot read " + japanese);
  const std::string dump(dump_bytes.begin(), dump_bytes.end());
  EditSummary summary;
  std::string english_text = edit_dump(dump, game, &summary);
  if (english_text.empty()) return false;
  const std::string english = dir + "/english.ini";
  if (!write_host_file(english, Bytes(english_text.begin(), english_text.end()))) return false;
  std::printf("%d lines translated, %d left in Japanese, %d answers of choices translated,\n"
              "%s written as a link to %s (user_linking), save message \"%s\".\n",
              summary.replaced, summary.kept, summary.answers, summary.link_from.c_str(),
              summary.link_to.c_str(), kSaveMessage);

  heading("completion: how much of english.ini differs from japanese.ini");
  std::fflush(stdout);
  if (!check_percentage(english.c_str(), japanese.c_str(), game.catalogue())) {
    return fail("the completion report failed");
  }

  heading("check_ini: lines too long for the game's text window (34 bytes)");
  std::fflush(stdout);
  if (!check_ini(english.c_str(), game.catalogue())) return fail("the line check failed");

  heading("translate: game.iso + english.ini -> translated.iso");
  const std::string translated = dir + "/translated.iso";
  std::fflush(stdout);
  int result = translate_iso(disc.c_str(), translated.c_str(), english.c_str(), nullptr, nullptr,
                             game.catalogue());
  struct stat st;
  if (result != 0 || ::stat(translated.c_str(), &st) != 0) return fail("the translation failed");

  heading("verify: every text of translated.iso read back and compared with english.ini");
  std::fflush(stdout);
  if (verify_iso(disc.c_str(), translated.c_str(), english.c_str(), nullptr, nullptr,
                 game.catalogue()) != 0) {
    return fail("the translated disc does not hold every text of english.ini");
  }
  return true;
}

// ---------------------------------------------------------------------------
// Images

using Colour = std::function<uint32_t(int x, int y)>;  // 0xRRGGBB
using Index = std::function<int(int x, int y)>;

// A bottom-up BMP file of w x h pixels: 24-bit from colour, or with a
// palette (0xRRGGBB entries) from index.
Bytes make_bmp(int w, int h, unsigned bits, const std::vector<uint32_t>& palette,
               const Colour& colour, const Index& index) {
  BMP_Header header;
  if (bits == 24) make_bmp_header(&header, w, h);
  else if (bits == 8) make_bmp8_header(&header, w, h, static_cast<int>(palette.size()));
  else make_bmp4_header(&header, w, h, static_cast<int>(palette.size()));
  Bytes bmp(header.bfSize, 0);
  store_bmp_header(header, bmp.data());
  unsigned char* pal = bmp.data() + bmp_palette_offset(header);
  for (size_t i = 0; i < palette.size(); i++) {
    pal[4 * i] = palette[i] & 0xFF;
    pal[4 * i + 1] = (palette[i] >> 8) & 0xFF;
    pal[4 * i + 2] = (palette[i] >> 16) & 0xFF;
  }
  const uint64_t row = bmp_row_size(static_cast<uint64_t>(w), bits);
  for (int y = 0; y < h; y++) {
    unsigned char* p = bmp.data() + header.bfOffBits + row * static_cast<uint64_t>(h - 1 - y);
    for (int x = 0; x < w; x++) {
      if (bits == 24) {
        uint32_t c = colour(x, y);
        p[3 * x] = c & 0xFF;
        p[3 * x + 1] = (c >> 8) & 0xFF;
        p[3 * x + 2] = (c >> 16) & 0xFF;
      } else if (bits == 8) {
        p[x] = static_cast<unsigned char>(index(x, y));
      } else {
        p[x / 2] |= static_cast<unsigned char>((index(x, y) & 0x0F) << (x % 2 ? 0 : 4));
      }
    }
  }
  return bmp;
}

// An empty game image ("DC", "PP" or "pp" with its size), ready to be
// filled by the converters' insert functions.
Bytes blank_image(const char* signature, int w, int h, uint64_t size) {
  Bytes image(size, 0);
  image[0] = static_cast<unsigned char>(signature[0]);
  image[1] = static_cast<unsigned char>(signature[1]);
  talvo::write_be16(&image[2], static_cast<uint16_t>(w));
  talvo::write_be16(&image[4], static_cast<uint16_t>(h));
  return image;
}

uint32_t rgb(double r, double g, double b) {
  auto c = [](double v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  return c(r) << 16 | c(g) << 8 | c(b);
}

// A sunset: sky gradient, a sun, hills.
bool make_dc(int w, int h, Bytes* out) {
  Colour sunset = [w, h](int x, int y) {
    double t = static_cast<double>(y) / h;
    double hill = h * (0.72 + 0.08 * std::sin(x * 6.2832 / w * 1.5));
    if (y > hill) return rgb(30 + 40 * t, 90 + 60 * (1 - t), 40);
    double dx = x - w * 0.65, dy = y - h * 0.55;
    if (dx * dx + dy * dy < (h * 0.16) * (h * 0.16)) return rgb(255, 220, 90);
    return rgb(250 - 120 * t, 120 + 60 * t * (1 - t) * 4, 80 + 140 * t);
  };
  Bytes bmp = make_bmp(w, h, 24, {}, sunset, nullptr);
  *out = blank_image("DC", w, h, dc_needed_size(w, h));
  return insert_bmp_into_dc_data(bmp.data(), static_cast<unsigned>(bmp.size()), out->data(),
                            static_cast<unsigned>(out->size())) ||
         fail("cannot make the DC picture");
}

// Rings of a 256-colour rainbow palette.
bool make_pp(int w, int h, Bytes* out) {
  std::vector<uint32_t> palette(256);
  for (int i = 0; i < 256; i++) {
    double a = i * 6.2832 / 256;
    palette[i] = rgb(128 + 127 * std::sin(a), 128 + 127 * std::sin(a + 2.094),
                     128 + 127 * std::sin(a + 4.189));
  }
  palette[0] = 0x000000;  // the game draws index 0 transparent
  Index rings = [w, h](int x, int y) {
    double dx = x - w / 2.0, dy = y - h / 2.0;
    double r = std::sqrt(dx * dx + dy * dy);
    return r > h / 2.0 ? 0 : 1 + static_cast<int>(r * 12) % 255;
  };
  Bytes bmp = make_bmp(w, h, 8, palette, nullptr, rings);
  *out = blank_image("PP", w, h, pp_needed_size(w, h));
  return insert_bmp_into_pp_data(bmp.data(), static_cast<unsigned>(bmp.size()), out->data(),
                            static_cast<unsigned>(out->size()), false, false) ||
         fail("cannot make the PP picture");
}

// A 16-colour checker with a diagonal band.
bool make_pp4(int w, int h, Bytes* out) {
  std::vector<uint32_t> palette(16);
  for (int i = 0; i < 16; i++) palette[i] = rgb(i * 16, 255 - i * 12, 64 + i * 8);
  Index checker = [](int x, int y) {
    if (std::abs(x - y) < 3) return 15;
    return ((x / 4 + y / 4) % 2) ? 3 : 9;
  };
  Bytes bmp = make_bmp(w, h, 4, palette, nullptr, checker);
  *out = blank_image("pp", w, h, pp4_needed_size(w, h));
  return insert_bmp_into_pp4_data(bmp.data(), static_cast<unsigned>(bmp.size()), out->data(),
                             static_cast<unsigned>(out->size()), false) ||
         fail("cannot make the pp picture");
}

// A mato container of the given images: header, offset table, images at
// 16-byte boundaries. Entry offsets count from the container's offset 8.
Bytes make_mato(const std::vector<Bytes>& images) {
  size_t pos = 16 + 4 * images.size();
  std::vector<size_t> at;
  for (const Bytes& image : images) {
    pos = (pos + 15) / 16 * 16;
    at.push_back(pos);
    pos += image.size();
  }
  Bytes mato(pos, 0);
  std::memcpy(mato.data(), "mato", 4);
  talvo::write_be32(&mato[4], static_cast<uint32_t>(mato.size()));
  talvo::write_be32(&mato[8], static_cast<uint32_t>(images.size()));
  for (size_t i = 0; i < images.size(); i++) {
    talvo::write_be32(&mato[16 + 4 * i], static_cast<uint32_t>(at[i] - 8));
    std::memcpy(&mato[at[i]], images[i].data(), images[i].size());
  }
  return mato;
}

// The LZSS file of data, made by the tool's own encoder.
bool lzss_file(const Bytes& data, Bytes* out) {
  unsigned int size = 0;
  talvo::MallocBuffer packed(compress_lzss_data(data.data(), static_cast<unsigned>(data.size()), &size));
  if (!packed) return fail("LZSS compression failed");
  out->assign(packed.get(), packed.get() + size);
  return true;
}

bool make_images(const std::string& dir) {
  const std::string src = dir + "/src";
  if (!make_dirs(src)) return fail("cannot create " + src);
  heading("Making pictures in the game's formats");
  Bytes dc, pp, pp4, small_dc, small_pp, small_pp4;
  if (!make_dc(160, 96, &dc) || !make_pp(96, 64, &pp) || !make_pp4(32, 32, &pp4) ||
      !make_dc(64, 40, &small_dc) || !make_pp(48, 48, &small_pp) || !make_pp4(16, 16, &small_pp4)) {
    return false;
  }
  Bytes mato = make_mato({small_dc, small_pp, small_pp4});
  Bytes dc_z, pp_z, pp4_z, mato_z;
  if (!lzss_file(dc, &dc_z) || !lzss_file(pp, &pp_z) || !lzss_file(pp4, &pp4_z) ||
      !lzss_file(mato, &mato_z)) {
    return false;
  }
  const std::string readme =
      "Sample disc for the talvo demo.\r\n"
      "CG holds pictures in the game's formats; CG/LZSS the same kinds, compressed.\r\n";
  struct Entry {
    const char* path;
    const Bytes* data;
    const char* what;
  };
  const Bytes readme_bytes(readme.begin(), readme.end());
  const Entry entries[] = {
      {"/README.TXT", &readme_bytes, "text file (not an image)"},
      {"/CG/SUNSET.DC2", &dc, "DC 160x96, 15-bit colour"},
      {"/CG/BADGE.PP2", &pp, "PP 96x64, 256 colours"},
      {"/CG/PARTS.TEX", &mato, "mato: DC 64x40, PP 48x48, pp 16x16"},
      {"/CG/LZSS/SUNSET.DGP", &dc_z, "DC 160x96, LZSS"},
      {"/CG/LZSS/BADGE.PPZ", &pp_z, "PP 96x64, LZSS"},
      {"/CG/LZSS/CHECKER.PP4", &pp4_z, "pp 32x32, 16 colours, LZSS (the only way pp is stored alone)"},
      {"/CG/LZSS/PARTS.TXZ", &mato_z, "mato, LZSS"},
  };
  for (const Entry& e : entries) {
    if (!write_host_file(src + e.path, *e.data)) return false;
    std::printf("  %-22s %7zu bytes  %s\n", e.path, e.data->size(), e.what);
  }
  const std::string iso = dir + "/images.iso";
  if (!sample::make_iso(src, iso)) return fail("genisoimage could not make " + iso);
  std::printf("Disc image (genisoimage): %s\n", iso.c_str());
  return true;
}

void usage() {
  std::fprintf(stderr, "usage: talvo_sample translate DIR | talvo_sample images DIR\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    usage();
    return 2;
  }
  const std::string what = argv[1];
  std::string dir = argv[2];
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  bool ok;
  if (what == "translate") {
    ok = run_translation(dir);
  } else if (what == "images") {
    ok = make_images(dir);
  } else {
    usage();
    return 2;
  }
  std::fflush(stdout);
  return ok ? 0 : 1;
}
