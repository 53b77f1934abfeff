#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "files/mounted_image.h"
#include "tests/support/faulty_disc.h"
#include "sample/scn_builder.h"
#include "tests/translation/translation_fixture.h"
#include "translation/dump.h"
#include "translation/translate.h"
#include "translation/verify.h"
#include "util/byte_order.h"

namespace {

using namespace translation_test;
using testsupport::file_exists;
using testsupport::make_scratch_dir;
using testsupport::read_file_bytes;
using sample::SyntheticDay;
using sample::synthetic_sjis;

// English stand-ins, some longer and some shorter than the Japanese lines.
std::string english(const std::string& day, int j) {
  std::string n = day + "." + std::to_string(j);
  if (day == "DAY_D0") return "D0 " + std::to_string(j);  // shrinks its rebuilt file
  if (day == "DAY_A0" && j == 5) return english(day, 1);   // machine-linked twins
  switch (j % 4) {
    case 0: return "Line " + n + ": a much longer sentence that needs more room than the original.";
    case 1: return "Hi " + n;
    case 2: return "Two\nlines " + n + " for %F%N, \"quoted\"";
    default: return "%N says " + n + ".";
  }
}

std::string answer(const std::string& day, size_t k, size_t i) {
  return "Ans " + day + " " + std::to_string(k) + "-" + std::to_string(i) + (i % 2 ? " longer one" : "");
}

// The name placeholders as the translation fills them in.
std::string with_names(std::string text, const char* n, const char* f) {
  if (!n && !f) return text;
  for (auto [from, to] : {std::pair<std::string, std::string>{"%F%N", "%F %N"}, {"%N", n ? n : "%N"},
                          {"%F", f ? f : "%F"}}) {
    for (size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size())) {
      text.replace(p, from.size(), to);
    }
  }
  return text;
}

const char kSaveMessage[] = "Save the game? Y";  // 16 bytes: the most that fits

// The settings a translator writes below a day's header (instead of the
// dump's own); every VA line gets the text of english() but those the dump
// links, every answer the text of answer().
std::vector<std::string> settings_of(const std::string& day) {
  static const std::map<std::string, std::vector<std::string>> settings = {
      {"DAY_A0", {"machine_linking = true"}},
      {"DAY_A1", {"user_linking = true"}},
      {"DAY_B1", {"fix_duplicate_names = true"}},
      {"DAY_D4", {"fix_duplicate_names = true"}},
      {"DAY_C0", {"fix_duplicate_names = true", "user_linking = true", "rewrite_all_va = true"}},
      {"DAY_D0", {"rewrite_all_va = true"}},
      {"DAY_D2", {"use_kill_areas = false"}}};
  auto s = settings.find(day);
  return s == settings.end() ? std::vector<std::string>() : s->second;
}

// The record whose text a VA line shows: the dump's link is kept, but on
// DAY_A1 the line sharing another's storage gets a text of its own, which
// must not change the other line.
size_t text_of(const SyntheticDay& day, size_t j) {
  int shared = day.vas[j].shares_text_of;
  return shared >= 0 && day.name != "DAY_A1" ? static_cast<size_t>(shared) : j;
}

// The dump of the game, edited as a translator would.
std::string translated_ini() {
  std::map<std::string, std::string> values;  // by "DAY:key"
  for (const SyntheticDay& day : game().days()) {
    for (size_t j = 0; j < day.vas.size(); j++) {
      if (text_of(day, j) == j) values[day.name + ":" + day.vas[j].name] = english(day.name, j);
    }
    for (size_t k = 0; k < day.groups.size(); k++) {
      std::string& joined = values[day.name + ":" + day.groups[k].name];
      for (size_t i = 0; i < day.groups[k].texts.size(); i++) {
        joined += (i ? "/" : "") + answer(day.name, k, i);
        values[day.name + ":" + day.groups[k].name + " OPTION" + std::to_string(i + 1)] =
            answer(day.name, k, i);
      }
    }
  }
  const std::string dump = expected_dump(game(), false);
  std::string out, section;
  for (size_t pos = 0, end; pos < dump.size(); pos = end + 2) {
    end = dump.find("\r\n", pos);
    std::string line = dump.substr(pos, end - pos), key = line.substr(0, line.find(" = "));
    if (line[0] == '[') section = line.substr(1, line.size() - 2);
    if (line.size() > 7 && line.compare(line.size() - 7, 7, " = true") == 0) continue;  // settings_of()'s
    if (key == "save_msg") {
      line = "save_msg = " + ini_quoted(kSaveMessage);
    } else if (!values[section + ":" + key].empty()) {
      line = key + " = " + ini_quoted(values[section + ":" + key]);
    }
    out += line + "\r\n";
    if (line[0] == '[' && section != "General") {
      for (const std::string& setting : settings_of(section)) out += setting + "\r\n";
    }
  }
  return out;
}

std::string c_string(const Bytes& file, uint32_t at) {
  std::string s;
  while (at < file.size() && file[at]) s += static_cast<char>(file[at++]);
  EXPECT_LT(at, file.size()) << "unterminated string";
  return s;
}

uint16_t u16(const Bytes& file, uint32_t at) {
  EXPECT_LE(at + 2, file.size());
  return at + 2 <= file.size() ? talvo::read_le16(&file[at]) : 0;
}

uint32_t record_at(const SyntheticDay& day, int index) {
  return static_cast<uint32_t>(day.va_start + 15 * index);
}

// Checks one rebuilt day file, pointer by pointer, against translated_ini().
void check_day(const SyntheticDay& day, const Bytes& file, const char* n, const char* f) {
  SCOPED_TRACE(day.name);
  ASSERT_GE(file.size(), 72u);
  EXPECT_EQ(u16(file, 4), file.size());
  std::map<std::string, uint16_t> text_at;
  for (size_t j = 0; j < day.vas.size(); j++) {
    const auto& va = day.vas[j];
    uint32_t r = record_at(day, va.index);
    EXPECT_EQ(c_string(file, u16(file, r + 5)), va.name);
    int own = static_cast<int>(text_of(day, j));
    if (own != static_cast<int>(j)) {  // kept as the dump's link: shares its target's stored text
      EXPECT_EQ(u16(file, r), text_at[day.vas[own].name]) << va.name;
    }
    EXPECT_EQ(c_string(file, u16(file, r)), synthetic_sjis(with_names(english(day.name, own), n, f)))
        << va.name;
    text_at[va.name] = u16(file, r);
  }
  std::vector<std::string> settings = settings_of(day.name);
  bool copies_follow = std::count(settings.begin(), settings.end(), "fix_duplicate_names = true");
  for (const auto& copy : day.copies) {
    const auto& va = day.vas[copy.of];
    uint32_t r = record_at(day, copy.index), original = record_at(day, va.index);
    if (copies_follow) {
      EXPECT_EQ(u16(file, r), u16(file, original)) << "copy of " << va.name;
      EXPECT_EQ(u16(file, r + 5), u16(file, original + 5)) << "copy of " << va.name;
    } else {
      EXPECT_EQ(c_string(file, u16(file, r)), va.sjis);
    }
  }
  for (size_t k = 0; k < day.groups.size(); k++) {
    const auto& g = day.groups[k];
    EXPECT_EQ(c_string(file, u16(file, g.row[0])), g.name);
    for (size_t i = 0; i < g.texts.size(); i++) {
      EXPECT_EQ(c_string(file, u16(file, g.row[i + 1])), synthetic_sjis(answer(day.name, k, i)))
          << g.name << " " << i;
    }
  }
  uint16_t prompt = u16(file, 70);
  ASSERT_LT(prompt, file.size());
  EXPECT_EQ(file[prompt], 0x13);
  EXPECT_EQ(c_string(file, prompt + 1u),
            day.name == "DAY_D7" ? std::string(sample::kStockSavePrompt) : kSaveMessage);
}

// translate_iso's 0 (success) or -1 as ok, with its output.
Ran translate(const std::string& in, const std::string& out, const std::string& ini,
              const char* n = nullptr, const char* f = nullptr,
              const ScnCatalogue& catalogue = game().catalogue()) {
  return run_captured([&] {
    int rc = translate_iso(in.c_str(), out.c_str(), ini.c_str(), n, f, catalogue);
    EXPECT_TRUE(rc == 0 || rc == -1) << rc;
    return rc == 0;
  });
}

// Writes bytes over an image file at `at`, apart from our code.
void patch(const std::string& iso, uint64_t at, const std::string& bytes) {
  std::fstream f(iso, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(at));
  ASSERT_TRUE(f.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

// Every day file rebuilt keeps its pointers right; verify then finds
// exactly the texts changed by hand in the image.
TEST(Translation, TranslateRebuildsEveryDayFileAndVerifyFindsHandEdits) {
  std::string dir = make_scratch_dir("translate");
  std::string ini = dir + "/texts.ini", out = dir + "/translated.iso";
  Bytes input_before = read_file_bytes(game_iso());
  // The player's names: with only the %N text given, "%F%N" keeps %F and
  // gains a blank; without either, the placeholders stay. One file is saved
  // with a byte order mark, as editors on Windows do.
  struct Run { const char* n; const char* f; bool bom; } runs[] = {
      {"Kei", nullptr, false}, {nullptr, nullptr, true}, {"Kei", "Aoi", false}};
  const SyntheticDay& a0 = game().day("DAY_A0");
  testsupport::IsoContents contents;
  for (const Run& run : runs) {
    SCOPED_TRACE(&run - runs);
    testsupport::write_file(ini, (run.bom ? "\xEF\xBB\xBF" : "") + translated_ini());
    Ran r = translate(game_iso(), out, ini, run.n, run.f);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_TRUE(read_file_bytes(game_iso()) == input_before);

    // Read back by an independent reader: both trees, every file.
    contents = testsupport::read_iso_contents(out);
    ASSERT_TRUE(contents.ok) << contents.error;
    testsupport::FileMap original = game().files();
    EXPECT_EQ(contents.iso_tree.size(), original.size());
    for (const auto& f : original) {
      const Bytes& data = contents.iso_tree[f.first].data;
      if (f.first.compare(0, 12, "/SCNBIN/DAY_") != 0) {
        EXPECT_TRUE(data == f.second) << f.first;
      }
      EXPECT_TRUE(contents.joliet_tree[f.first].data == data) << f.first;
    }
    for (const SyntheticDay& day : game().days()) {
      check_day(day, contents.iso_tree[day.path].data, run.n, run.f);
    }
    // Equal texts machine-linked on DAY_A0.
    const Bytes& a0_file = contents.iso_tree[a0.path].data;
    EXPECT_EQ(u16(a0_file, record_at(a0, a0.vas[1].index)), u16(a0_file, record_at(a0, a0.vas[5].index)));
  }
  // The translated image is no longer the game's: it is refused.
  Ran r = translate(out, dir + "/again.iso", ini);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("Hash of \"/SCNBIN/DAY_A0.SCN\""), std::string::npos) << r.err;
  EXPECT_FALSE(file_exists(dir + "/again.iso"));

  auto verify = [&](const char* n, const char* f) {
    int status = -1;
    Ran v = run_captured([&] {
      status = verify_iso(game_iso().c_str(), out.c_str(), ini.c_str(), n, f, game().catalogue());
      return true;
    });
    return std::make_pair(status, v.out);
  };
  EXPECT_EQ(verify("Kei", "Aoi").first, 0);  // clean with the names it was made for
  // One VA pointer, one answer and one save prompt changed by hand.
  auto file_at = [&](const SyntheticDay& day) {
    return static_cast<uint64_t>(contents.iso_tree[day.path].extent) * 2048;
  };
  auto data = [&](const SyntheticDay& day) { return contents.iso_tree[day.path].data; };
  const SyntheticDay& b0 = game().day("DAY_B0");
  ASSERT_LT(b0.vas[0].shares_text_of, 0);
  uint16_t second_text = u16(data(b0), record_at(b0, b0.vas[1].index));
  patch(out, file_at(b0) + record_at(b0, b0.vas[0].index),
        std::string{static_cast<char>(second_text & 0xFF), static_cast<char>(second_text >> 8)});
  const SyntheticDay& b1 = game().day("DAY_B1");
  const auto& group = b1.groups[0];
  ASSERT_LE(group.texts.size(), 3u);
  patch(out, file_at(b1) + u16(data(b1), group.row[2]), "X");
  const SyntheticDay& d5 = game().day("DAY_D5");
  patch(out, file_at(d5) + u16(data(d5), 70) + 1, "Z");
  std::string answer_text = answer("DAY_B1", 0, 1);
  auto [status, report] = verify("Kei", "Aoi");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(report.substr(0, report.find("Verified ")),
            "DAY_B0 " + b0.vas[0].name + ": expected \"" + english("DAY_B0", 0) + "\", found \"" +
                english("DAY_B0", 1) + "\"\nDAY_B1 " + group.name + " OPTION2: expected \"" +
                answer_text + "\", found \"X" + answer_text.substr(1) + "\"\n" +
                "DAY_D5 save_msg: expected \"Save the game? Y\", found \"Zave the game? Y\"\n");
  EXPECT_NE(report.find(": 3 mismatches.\n"), std::string::npos) << report;
}

// Refusals and failures leave no output and the input image whole: refused
// translation files, the output being the input, a missing INI file or image,
// a failed write-back of the volume descriptors. The plain dump is accepted.
TEST(Translation, TranslateRefusalsAndFailuresLeaveNoOutput) {
  const std::string ini = expected_dump(game(), false);
  auto settings = [&](const std::string& day, const std::string& lines) {
    return replaced(ini, "[" + day + "]\r\n", "[" + day + "]\r\n" + lines);
  };
  // The dump with the line of `key` replaced by `line`.
  auto with_line = [&](const std::string& key, const std::string& line) {
    size_t at = ini.find("\r\n" + key + " = ");
    EXPECT_NE(at, std::string::npos) << key;
    return ini.substr(0, at + 2) + line + ini.substr(ini.find("\r\n", at + 2) + 2);
  };
  const std::string va = game().day("DAY_B0").vas[3].name;
  const struct { const char* what; std::string ini, message; bool days_started; } cases[] = {
      {"user linking without kill areas",
       settings("DAY_A0", "use_kill_areas = false\r\nmachine_linking = true\r\nuser_linking = true\r\n"),
       "user_linking=true can't be used with use_kill_areas=false\n", true},
      {"rewrite on the first day", settings("DAY_A0", "rewrite_all_va = true\r\n"),
       "rewrite_all_va=true can't be used on DAY_A0.\n", true},
      {"rewrite without the duplicate repair", settings("DAY_B2", "rewrite_all_va = true\r\n"),
       "rewrite_all_va=true requires fix_duplicate_names=true in this section.\n", true},
      {"missing VA key", with_line(va, ""), "Error getting ini string value: " + va + "\n", true},
      {"too few answers for a group", with_line("BG52", "BG52 = \"a/b\"\r\n"),
       "Error setting mo text: BG52\n", true},
      {"unknown encoding", replaced(ini, "encoding = \"UTF-8\"", "encoding = \"NO-SUCH-CODE\""),
       "Error in conversion to SJIS: セーブしますか？\n", false},
      {"17-byte save message",
       replaced(ini, "save_msg = \"セーブしますか？\"", "save_msg = \"Save the game? Ye\""),
       "save_msg can't be bigger than 16 bytes at current version.\n", false},
  };
  std::string dir = make_scratch_dir("translate_refused");
  std::string iso = dir + "/game.iso", path = dir + "/texts.ini", out = dir + "/out.iso";
  testsupport::write_file(iso, read_file_bytes(game_iso()));
  const Bytes before = read_file_bytes(iso);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::write_file(path, c.ini);
    Ran r = translate(iso, out, path);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Now translating") != std::string::npos, c.days_started);
    EXPECT_FALSE(file_exists(out));
  }
  EXPECT_FALSE(translate(iso, out, dir + "/missing.ini").ok);
  EXPECT_FALSE(file_exists(out));
  Ran r = translate(dir + "/missing.iso", out, path);
  EXPECT_NE(r.err.find("\nError while copying file.\n"), std::string::npos) << r.err;
  EXPECT_FALSE(file_exists(out));
  testsupport::write_file(path, translated_ini());
  EXPECT_FALSE(translate(iso, dir + "/./game.iso", path).ok);
  DiscMaker plain = set_disc_maker(testsupport::FaultyDisc::Make);
  testsupport::fault_plan() = testsupport::FaultPlan();
  testsupport::fault_plan().fail_offset = 16 * 2048;
  r = translate(iso, out, path);
  set_disc_maker(plain);
  EXPECT_NE(r.err.find("Error while writing to ISO.\n"), std::string::npos) << r.err;
  EXPECT_FALSE(file_exists(out));
  EXPECT_TRUE(read_file_bytes(iso) == before);
  // The dump itself translates (as UTF-8 without "encoding", prompts kept
  // without "save_msg") to the same files but DAY_C0, which it asks to rebuild.
  testsupport::write_file(path, replaced(replaced(ini, "encoding = \"UTF-8\"\r\n", ""), "save_msg", ";s"));
  ASSERT_TRUE(translate(iso, out, path).ok);
  testsupport::IsoContents contents = testsupport::read_iso_contents(out);
  ASSERT_TRUE(contents.ok);
  for (const SyntheticDay& day : game().days()) {
    EXPECT_EQ(contents.iso_tree[day.path].data == day.scn, day.name != "DAY_C0") << day.name;
  }
}

TEST(Translation, CorruptDayFilesStopWithAMessage) {
  // Pointers leading outside a day file stop the dump, and a translation told
  // to trust the file (its digest in the catalogue), with a message.
  const SyntheticDay& a0 = game().day("DAY_A0");
  uint32_t record0 = record_at(a0, a0.vas[0].index), last = record_at(a0, a0.vas.back().index);
  struct Corruption { const char* what; std::function<void(Bytes*)> apply; } corruptions[] = {
      {"text pointer past the end", [&](Bytes* b) { talvo::write_le16(&(*b)[record0], 0xFFF0); }},
      {"unterminated last text",
       [&](Bytes* b) {
         talvo::write_le16(&(*b)[last], static_cast<uint16_t>(b->size() - 3));
         b->back() = 'x';
       }},
      {"answer pointer past the end",
       [&](Bytes* b) { talvo::write_le16(&(*b)[a0.groups[0].row[1]], 0xFF00); }},
  };
  for (const auto& c : corruptions) {
    SCOPED_TRACE(c.what);
    std::string dir = make_scratch_dir("corrupt");
    Bytes bad = a0.scn;
    c.apply(&bad);
    std::string iso = iso_with(dir + "/disc", {{a0.path, bad}}), dumped = dir + "/t.ini";
    ASSERT_FALSE(iso.empty());
    Ran d = run_captured([&] { return dump_iso(iso.c_str(), dumped.c_str(), false, game().catalogue()); });
    EXPECT_FALSE(d.ok);
    EXPECT_FALSE(file_exists(dumped));
    std::vector<ScnDay> days(game().catalogue().days, game().catalogue().days + 17);
    sample::md5_digest(bad.data(), bad.size(), days[0].md5);
    testsupport::write_file(dir + "/texts.ini", expected_dump(game(), false));
    Ran t = translate(iso, dir + "/out.iso", dir + "/texts.ini", nullptr, nullptr, {days.data(), 17});
    EXPECT_FALSE(t.ok);
    EXPECT_NE(t.err, "");
    EXPECT_FALSE(file_exists(dir + "/out.iso"));
  }
}

}  // namespace
