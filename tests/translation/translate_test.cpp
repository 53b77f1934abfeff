#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "files/mounted_image.h"
#include "tests/support/faulty_disc.h"
#include "tests/support/iso_image.h"
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
  auto replace = [](std::string s, const std::string& from, const std::string& to) {
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) {
      s.replace(p, from.size(), to);
    }
    return s;
  };
  if (!n && !f) return text;
  text = replace(text, "%F%N", "%F %N");
  if (n) text = replace(text, "%N", n);
  if (f) text = replace(text, "%F", f);
  return text;
}

const char kSaveMessage[] = "Save the game? Y";  // 16 bytes: the most that fits

// What a translator writes for one day: its settings and its texts.
struct DayPlan {
  std::vector<std::string> settings;  // lines below the header, for the dump's own
  std::vector<std::string> va;        // UTF-8 per VA line; "" keeps the dump's link
  std::vector<std::vector<std::string>> answers;  // per group; a short list is a typo
  bool copies_follow = false;  // fix_duplicate_names on a day with VA copies
};
using Plan = std::map<std::string, DayPlan>;

bool has_copies(const SyntheticDay& day) { return !day.copies.empty(); }

// The texts of english() and answer(), settings chosen per day, links kept.
Plan fixed_plan() {
  Plan plan;
  for (const SyntheticDay& day : game().days()) {
    DayPlan& p = plan[day.name];
    for (size_t j = 0; j < day.vas.size(); j++) {
      p.va.push_back(day.vas[j].shares_text_of >= 0 ? "" : english(day.name, static_cast<int>(j)));
    }
    for (size_t k = 0; k < day.groups.size(); k++) {
      p.answers.emplace_back();
      for (size_t i = 0; i < day.groups[k].texts.size(); i++) p.answers[k].push_back(answer(day.name, k, i));
    }
    if (day.name == "DAY_A0") p.settings = {"machine_linking = true"};
    if (day.name == "DAY_A1") p.settings = {"user_linking = true"};
    if (day.name == "DAY_B1" || day.name == "DAY_D4") p.settings = {"fix_duplicate_names = true"};
    if (day.name == "DAY_C0") {
      p.settings = {"fix_duplicate_names = true", "user_linking = true", "rewrite_all_va = true"};
    }
    if (day.name == "DAY_D0") p.settings = {"rewrite_all_va = true"};
    if (day.name == "DAY_D2") p.settings = {"use_kill_areas = false"};
    p.copies_follow = has_copies(day) && day.has_duplicates &&
                      (day.name == "DAY_B1" || day.name == "DAY_D4");
  }
  return plan;
}

// A random text of ASCII words, kana and the fullwidth tilde; line breaks
// only where `lines`.
std::string random_text(std::mt19937* rng, bool lines) {
  static const char* pieces[] = {"Hello", "there", "a", "much longer stretch of words", "ok",
                                 "\xE3\x81\x82", "\xE3\x82\x93", "\xEF\xBD\x9E", "\"q\"", "!"};
  std::string text;
  int words = 1 + static_cast<int>((*rng)() % 9);
  for (int w = 0; w < words; w++) {
    if (w) text += lines && (*rng)() % 6 == 0 ? "\n" : " ";
    text += pieces[(*rng)() % 10];
  }
  return text;
}

// Random settings and texts for every day: kill or in place, the duplicate
// repair, user and machine linking, rewriting every VA; records that share
// storage get their own text or keep their link; with `typo`, one option
// group of many choices is given too few answers.
Plan random_plan(uint32_t seed, bool typo) {
  std::mt19937 rng(seed);
  auto coin = [&rng](int in) { return rng() % in == 0; };
  Plan plan;
  std::vector<std::pair<std::string, size_t>> many_choices;
  for (const SyntheticDay& day : game().days()) {
    DayPlan& p = plan[day.name];
    bool kill = !coin(3);
    bool user = kill && coin(2), machine = kill && coin(2);
    bool rewrite = day.name != "DAY_A0" && coin(4);
    bool fix = (rewrite && day.has_duplicates) || coin(2);
    p.settings = {std::string("use_kill_areas = ") + (kill ? "true" : "false"),
                  std::string("fix_duplicate_names = ") + (fix ? "true" : "false"),
                  std::string("user_linking = ") + (user ? "true" : "false"),
                  std::string("machine_linking = ") + (machine ? "true" : "false"),
                  std::string("rewrite_all_va = ") + (rewrite ? "true" : "false")};
    p.copies_follow = has_copies(day) && fix;
    for (const auto& va : day.vas) {
      p.va.push_back(va.shares_text_of >= 0 && user && coin(2) ? "" : random_text(&rng, true));
    }
    for (size_t k = 0; k < day.groups.size(); k++) {
      p.answers.emplace_back();
      for (size_t i = 0; i < day.groups[k].texts.size(); i++) p.answers[k].push_back(random_text(&rng, false));
      if (day.groups[k].texts.size() > 3) many_choices.emplace_back(day.name, k);
    }
  }
  if (typo) {
    const auto& [day, k] = many_choices[rng() % many_choices.size()];
    plan[day].answers[k].resize(1 + rng() % (plan[day].answers[k].size() - 1));
  }
  return plan;
}

bool is_setting_line(const std::string& line) {
  for (const char* key : {"use_kill_areas", "fix_duplicate_names", "user_linking",
                          "machine_linking", "rewrite_all_va"}) {
    std::string k = key;
    if (line.compare(0, k.size() + 3, k + " = ") == 0 ||
        line.compare(0, k.size() + 4, ";" + k + " = ") == 0) {
      return true;
    }
  }
  return false;
}

// The dump of the game, edited as a translator would following `plan`.
std::string translated_ini(const std::string& dump, const Plan& plan) {
  std::map<std::string, std::string> values;
  for (const SyntheticDay& day : game().days()) {
    const DayPlan& p = plan.at(day.name);
    for (size_t j = 0; j < day.vas.size(); j++) values[day.name + ":" + day.vas[j].name] = p.va[j];
    for (size_t k = 0; k < day.groups.size(); k++) {
      const auto& g = day.groups[k];
      if (g.texts.size() > 3) {
        std::string joined;
        for (size_t i = 0; i < p.answers[k].size(); i++) joined += (i ? "/" : "") + p.answers[k][i];
        values[day.name + ":" + g.name] = joined;
      } else {
        for (size_t i = 0; i < g.texts.size(); i++) {
          values[day.name + ":" + g.name + " OPTION" + std::to_string(i + 1)] = p.answers[k][i];
        }
      }
    }
  }
  std::string out, section;
  size_t pos = 0;
  while (pos < dump.size()) {
    size_t end = dump.find("\r\n", pos);
    std::string line = dump.substr(pos, end - pos);
    pos = end + 2;
    if (line.size() > 2 && line[0] == '[') section = line.substr(1, line.size() - 2);
    size_t eq = line.find(" = ");
    if (is_setting_line(line)) continue;
    if (section == "General") {
      if (line.compare(0, 8, "save_msg") == 0) line = "save_msg = " + ini_quoted(kSaveMessage);
    } else if (eq != std::string::npos && line[0] != ';') {
      std::string key = line.substr(0, eq);
      EXPECT_TRUE(values.count(section + ":" + key)) << key;
      const std::string& v = values[section + ":" + key];
      if (!v.empty()) line = key + " = " + ini_quoted(v);
      EXPECT_TRUE(!v.empty() || line.find('"') == std::string::npos) << "no link to keep: " << line;
    }
    out += line + "\r\n";
    if (line[0] == '[' && section != "General") {
      for (const std::string& setting : plan.at(section).settings) out += setting + "\r\n";
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

// Checks one rebuilt day file, pointer by pointer, against its plan.
void check_day(const SyntheticDay& day, const Bytes& file, const DayPlan& plan, const char* n,
               const char* f) {
  SCOPED_TRACE(day.name);
  ASSERT_GE(file.size(), 72u);
  EXPECT_EQ(u16(file, 4), file.size());
  auto record = [&](int index) { return static_cast<uint32_t>(day.va_start + 15 * index); };
  std::map<std::string, uint16_t> text_at;
  for (size_t j = 0; j < day.vas.size(); j++) {
    const auto& va = day.vas[j];
    uint32_t r = record(va.index);
    EXPECT_EQ(c_string(file, u16(file, r + 5)), va.name);
    std::string expected = with_names(plan.va[j], n, f);
    if (plan.va[j].empty()) {
      // Kept as the dump's link: shares the stored text of its target.
      const auto& target = day.vas[va.shares_text_of];
      expected = with_names(plan.va[va.shares_text_of], n, f);
      EXPECT_EQ(u16(file, r), text_at[target.name]) << va.name;
    }
    EXPECT_EQ(c_string(file, u16(file, r)), synthetic_sjis(expected)) << va.name;
    text_at[va.name] = u16(file, r);
  }
  for (const auto& copy : day.copies) {
    const auto& va = day.vas[copy.of];
    uint32_t r = record(copy.index);
    if (plan.copies_follow) {
      EXPECT_EQ(u16(file, r), u16(file, record(va.index))) << "copy of " << va.name;
      EXPECT_EQ(u16(file, r + 5), u16(file, record(va.index) + 5)) << "copy of " << va.name;
    } else {
      EXPECT_EQ(c_string(file, u16(file, r)), va.sjis);
    }
  }
  for (size_t k = 0; k < day.groups.size(); k++) {
    const auto& g = day.groups[k];
    EXPECT_EQ(c_string(file, u16(file, g.row[0])), g.name);
    for (size_t i = 0; i < g.texts.size(); i++) {
      EXPECT_EQ(c_string(file, u16(file, g.row[i + 1])), synthetic_sjis(plan.answers[k][i]))
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

// What a dump of the game gives (dump_test.cpp checks the dump against it).
std::string dumped_ini() { return expected_dump(game(), false); }

TEST(Translation, TranslateRebuildsEveryDayFile) {
  std::string dir = make_scratch_dir("translate");
  std::string ini = dir + "/texts.ini";
  const Plan plan = fixed_plan();
  testsupport::write_file(ini, translated_ini(dumped_ini(), plan));
  Bytes input_before = read_file_bytes(game_iso());
  std::string out = dir + "/translated.iso";
  // With only the %N text given, "%F%N" keeps %F and gains a blank; without
  // either, the placeholders stay as they are.
  const char* names[][2] = {{"Kei", "Aoi"}, {"Kei", nullptr}, {nullptr, nullptr}};
  for (const auto& n : names) {
    Ran r = translate(game_iso(), out, ini, n[0], n[1]);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
    for (const std::string& line :
         {std::string("Encoding: UTF-8\n"), std::string("Now translating DAY_A0\n"),
          "Machine link " + game().day("DAY_A0").vas[5].name + " -> " +
              game().day("DAY_A0").vas[1].name + "\n",
          std::string("Translation completed.\n")}) {
      EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
    EXPECT_TRUE(read_file_bytes(game_iso()) == input_before);

    // Read back by an independent reader: both trees, every file.
    testsupport::IsoContents contents = testsupport::read_iso_contents(out);
    ASSERT_TRUE(contents.ok) << contents.error;
    testsupport::FileMap original = game().files();
    EXPECT_EQ(contents.iso_tree.size(), original.size());
    for (const auto& f : original) {
      const Bytes& data = contents.iso_tree[f.first].data;
      if (f.first.compare(0, 12, "/SCNBIN/DAY_") != 0) {
        EXPECT_TRUE(data == f.second) << f.first << " changed";
      }
      EXPECT_TRUE(contents.joliet_tree[f.first].data == data) << f.first;
    }
    int grown = 0, shrunk = 0;
    for (const SyntheticDay& day : game().days()) {
      const Bytes& file = contents.iso_tree[day.path].data;
      check_day(day, file, plan.at(day.name), n[0], n[1]);
      std::string info = "Info: file \"" + day.path + "\" size was reduced from " +
                         std::to_string(day.scn.size()) + " to " + std::to_string(file.size()) +
                         " because of optimization.\n";
      EXPECT_EQ(r.out.find(info) != std::string::npos, file.size() < day.scn.size());
      grown += file.size() > day.scn.size();
      shrunk += file.size() < day.scn.size();
    }
    // Equal texts machine-linked on DAY_A0.
    const SyntheticDay& a0 = game().day("DAY_A0");
    const Bytes& a0_file = contents.iso_tree[a0.path].data;
    EXPECT_EQ(u16(a0_file, a0.va_start + 15 * a0.vas[1].index), u16(a0_file, a0.va_start + 15 * a0.vas[5].index));
    EXPECT_GT(grown, 10);
    EXPECT_GE(shrunk, 1);  // DAY_D0, rebuilt from its first VA with short texts
  }

  // The translated image is no longer the game's: it is refused, and the
  // refused run leaves no output behind.
  std::string again = dir + "/again.iso";
  Ran r = translate(out, again, ini);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("Hash of \"/SCNBIN/DAY_A0.SCN\" doesn't match.\n"
                              "Because of technical reasons, this tool can only work with "
                              "unchanged scn files.\nRun it on original untranslated japanese iso!\n"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(file_exists(again));
}

TEST(Translation, TranslateSweepWithRandomSettings) {
  std::string dir = make_scratch_dir("translate_sweep");
  const std::string dump = dumped_ini();
  std::string ini = dir + "/texts.ini", out = dir + "/out.iso";
  for (uint32_t seed = 1; seed <= 12; seed++) {
    SCOPED_TRACE(seed);
    const bool typo = seed % 4 == 0;
    const Plan plan = random_plan(seed, typo);
    std::string text = translated_ini(dump, plan);
    if (seed % 3 == 0) text = "\xEF\xBB\xBF" + text;  // as editors on Windows save it
    testsupport::write_file(ini, text);
    Ran r = translate(game_iso(), out, ini);
    if (typo) {
      // Too few answers for a group: refused, and no image is left.
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.err.find("Error setting mo text: "), std::string::npos) << r.err;
      EXPECT_FALSE(file_exists(out));
      continue;
    }
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Warning: encoding not found"), std::string::npos) << r.err;
    testsupport::IsoContents contents = testsupport::read_iso_contents(out);
    ASSERT_TRUE(contents.ok) << contents.error;
    for (const SyntheticDay& day : game().days()) {
      check_day(day, contents.iso_tree[day.path].data, plan.at(day.name), nullptr, nullptr);
    }
  }
}

// Expects a translation with ini_text to fail with `message`, leaving no output image.
void expect_refusal(const std::string& name, const std::string& ini_text,
                    const std::string& message, bool days_started = true) {
  SCOPED_TRACE(name);
  std::string dir = make_scratch_dir("translate_refused");
  std::string ini = dir + "/texts.ini";
  testsupport::write_file(ini, ini_text);
  std::string out = dir + "/out.iso";
  Ran r = translate(game_iso(), out, ini);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Now translating") != std::string::npos, days_started);
  EXPECT_EQ(r.out.find("Translation completed."), std::string::npos);
  EXPECT_FALSE(file_exists(out));
}

TEST(Translation, TranslateRefusals) {
  const std::string ini = dumped_ini();
  auto settings = [&](const std::string& day, const std::string& lines) {
    return replaced(ini, "[" + day + "]\r\n", "[" + day + "]\r\n" + lines);
  };
  expect_refusal("user linking without kill areas",
                 settings("DAY_A0", "use_kill_areas = false\r\nmachine_linking = true\r\n"
                                    "user_linking = true\r\n"),
                 "user_linking=true can't be used with use_kill_areas=false\n");
  expect_refusal("machine linking without kill areas",
                 settings("DAY_A0", "use_kill_areas = false\r\nmachine_linking = true\r\n"),
                 "machine_linking=true can't be used with use_kill_areas=false\n");
  expect_refusal("rewrite on the first day", settings("DAY_A0", "rewrite_all_va = true\r\n"),
                 "rewrite_all_va=true can't be used on DAY_A0.\n");
  expect_refusal("rewrite without the duplicate repair",
                 settings("DAY_B2", "rewrite_all_va = true\r\n"),
                 "rewrite_all_va=true requires fix_duplicate_names=true in this section.\n");

  auto without = [&](const std::string& key) {
    size_t line = ini.find(key + " = ");
    EXPECT_NE(line, std::string::npos) << key;
    return ini.substr(0, line) + ini.substr(ini.find("\r\n", line) + 2);
  };
  const std::string va = game().day("DAY_B0").vas[3].name;
  expect_refusal("missing VA key", without(va), "Error getting ini string value: " + va + "\n");
  expect_refusal("missing third answer", without("EVA11 OPTION3"),
                 "Error getting ini string value: EVA11 OPTION3\n");
  expect_refusal("unknown encoding",
                 replaced(ini, "encoding = \"UTF-8\"", "encoding = \"NO-SUCH-CODE\""),
                 "Error in conversion to SJIS: セーブしますか？\n", false);
  std::string no_save = replaced(ini, "save_msg = ", "; save_msg = ");
  expect_refusal("unknown encoding of a text",
                 replaced(no_save, "encoding = \"UTF-8\"", "encoding = \"NO-SUCH-CODE\""),
                 "Error converting to sjis: ");
  expect_refusal("17-byte save message",
                 replaced(ini, "save_msg = \"セーブしますか？\"", "save_msg = \"Save the game? Ye\""),
                 "save_msg can't be bigger than 16 bytes at current version.\n", false);
}

TEST(Translation, TranslateNeverTouchesItsInput) {
  std::string dir = make_scratch_dir("translate_self");
  std::string iso = dir + "/game.iso";
  testsupport::write_file(iso, read_file_bytes(game_iso()));
  std::string ini = dir + "/texts.ini";
  testsupport::write_file(ini, dumped_ini());
  Bytes before = read_file_bytes(iso);
  for (const std::string& out : {iso, dir + "/./game.iso"}) {
    EXPECT_FALSE(translate(iso, out, ini).ok);
    EXPECT_TRUE(read_file_bytes(iso) == before);
  }
  // A missing INI file fails after the copy, and the copy goes.
  EXPECT_FALSE(translate(iso, dir + "/out.iso", dir + "/missing.ini").ok);
  EXPECT_FALSE(file_exists(dir + "/out.iso"));
  // A missing input image fails with the copy messages.
  Ran r = translate(dir + "/missing.iso", dir + "/out.iso", ini);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("\nError while copying file.\n"), std::string::npos);
}

TEST(Translation, TranslateWithoutEncodingOrSaveMessage) {
  // The dump itself is a valid translation file; without "encoding" it is
  // read as UTF-8, and without "save_msg" the prompts stay.
  std::string dir = make_scratch_dir("translate_plain");
  std::string text = replaced(dumped_ini(), "encoding = \"UTF-8\"\r\n", "");
  text = replaced(text, "save_msg = ", ";save_msg = ");
  std::string ini = dir + "/texts.ini";
  testsupport::write_file(ini, text);
  Ran r = translate(game_iso(), dir + "/out.iso", ini);
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_NE(r.err.find("Warning: encoding not found in ini, defaulting to UTF-8.\n"),
            std::string::npos);
  testsupport::IsoContents contents = testsupport::read_iso_contents(dir + "/out.iso");
  ASSERT_TRUE(contents.ok);
  // Same texts in the same places: every file comes back byte for byte but
  // DAY_C0, which the dump asks to rebuild from its first VA.
  for (const SyntheticDay& day : game().days()) {
    EXPECT_EQ(contents.iso_tree[day.path].data == day.scn, day.name != "DAY_C0") << day.name;
  }
}

TEST(Translation, CorruptDayFilesStopWithAMessage) {
  // Pointers leading outside a day file stop the dump, and a translation told
  // to trust the file (its digest in the catalogue), with a message.
  const SyntheticDay& a0 = game().day("DAY_A0");
  uint32_t record0 = a0.va_start + 15u * a0.vas[0].index;
  uint32_t last = a0.va_start + 15u * a0.vas.back().index;
  struct Corruption { const char* what; std::function<void(Bytes*)> apply; } corruptions[] = {
      {"text pointer past the end", [&](Bytes* b) { talvo::write_le16(&(*b)[record0], 0xFFF0); }},
      {"name pointer past the end", [&](Bytes* b) { talvo::write_le16(&(*b)[record0 + 5], 0xFFFF); }},
      {"unterminated last text",
       [&](Bytes* b) {
         talvo::write_le16(&(*b)[last], static_cast<uint16_t>(b->size() - 3));
         b->back() = 'x';
       }},
      {"answer pointer past the end",
       [&](Bytes* b) { talvo::write_le16(&(*b)[a0.groups[0].row[1]], 0xFF00); }},
      {"save prompt past the end", [&](Bytes* b) { talvo::write_le16(&(*b)[70], 0xFFFE); }},
  };
  std::string ini = dumped_ini();
  for (const auto& c : corruptions) {
    SCOPED_TRACE(c.what);
    std::string dir = make_scratch_dir("corrupt");
    Bytes bad = a0.scn;
    c.apply(&bad);
    std::string iso = iso_with(dir + "/disc", {{a0.path, bad}});
    ASSERT_FALSE(iso.empty());
    Ran d = run_captured([&] { return dump_iso(iso.c_str(), (dir + "/t.ini").c_str(), false, game().catalogue()); });
    EXPECT_FALSE(d.ok);
    EXPECT_NE(d.err, "");
    EXPECT_FALSE(file_exists(dir + "/t.ini"));

    std::vector<ScnDay> days(game().catalogue().days, game().catalogue().days + 17);
    sample::md5_digest(bad.data(), bad.size(), days[0].md5);
    testsupport::write_file(dir + "/texts.ini", ini);
    Ran t = translate(iso, dir + "/out.iso", dir + "/texts.ini", nullptr, nullptr, {days.data(), 17});
    EXPECT_FALSE(t.ok);
    EXPECT_NE(t.err, "");
    EXPECT_FALSE(file_exists(dir + "/out.iso"));
  }
}

}  // namespace

TEST(Translation, AFailedCopyOrWriteBackLeavesNoOutput) {
  std::string dir = make_scratch_dir("translate_failed");
  std::string ini = dir + "/texts.ini", out = dir + "/out.iso";
  testsupport::write_file(ini, translated_ini(dumped_ini(), fixed_plan()));
  // The disc fills up during the copy.
  testsupport::ToolResult copy =
      testsupport::run_talvo({"translate", game_iso(), out, ini}, "ulimit -f 100; trap '' XFSZ;");
  EXPECT_NE(copy.status, 0);
  EXPECT_NE(copy.err.find("Error while copying file."), std::string::npos) << copy.err;
  EXPECT_FALSE(file_exists(out));
  // The volume descriptors cannot be written back after day files moved.
  DiscMaker plain = set_disc_maker(testsupport::FaultyDisc::Make);
  testsupport::fault_plan() = testsupport::FaultPlan();
  testsupport::fault_plan().fail_offset = 16 * 2048;
  Ran r = translate(game_iso(), out, ini);
  set_disc_maker(plain);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("Error while writing to ISO.\n"), std::string::npos) << r.err;
  EXPECT_FALSE(file_exists(out));
}

namespace {

// verify_iso's status with its output.
struct Verified {
  int status;
  std::string out, err;
};
Verified verify(const std::string& translated, const std::string& ini, const char* n,
                const char* f) {
  int status = -1;
  Ran r = run_captured([&] {
    status = verify_iso(game_iso().c_str(), translated.c_str(), ini.c_str(), n, f,
                        game().catalogue());
    return true;
  });
  return {status, r.out, r.err};
}

// Writes bytes over an image file at `at` with Python, apart from our code.
void patch(const std::string& iso, uint64_t at, const std::string& bytes) {
  ASSERT_EQ(testsupport::run_python("import sys\n"
                                    "with open(sys.argv[1], 'r+b') as f:\n"
                                    "    f.seek(int(sys.argv[2])); f.write(bytes.fromhex(sys.argv[3]))\n",
                                    {iso, std::to_string(at), bytes}),
            0);
}

std::string hex(const std::string& bytes) {
  std::string h;
  char two[3];
  for (unsigned char c : bytes) {
    snprintf(two, sizeof two, "%02x", c);
    h += two;
  }
  return h;
}

}  // namespace

TEST(Translation, VerifyFindsExactlyTheTextsChangedByHand) {
  std::string dir = make_scratch_dir("verify");
  std::string ini = dir + "/texts.ini", out = dir + "/out.iso";
  const Plan plan = fixed_plan();
  testsupport::write_file(ini, translated_ini(dumped_ini(), plan));
  ASSERT_TRUE(translate(game_iso(), out, ini, "Kei", "Aoi").ok);

  int texts = 0;
  for (const SyntheticDay& day : game().days()) {
    texts += static_cast<int>(day.vas.size()) + 1;
    for (const auto& g : day.groups) texts += g.texts.size() > 3 ? 1 : static_cast<int>(g.texts.size());
  }
  auto summary = [&](int mismatches) {
    return "Verified " + std::to_string(texts) + " texts of 17 days: " + std::to_string(mismatches) +
           " mismatches.\n";
  };
  Verified v = verify(out, ini, "Kei", "Aoi");
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out, summary(0));

  // Other player names: every line with a placeholder differs, its own or
  // through a user link to its target's text.
  v = verify(out, ini, nullptr, nullptr);
  EXPECT_EQ(v.status, 1);
  int placeholders = 0;
  for (const SyntheticDay& day : game().days()) {
    const DayPlan& p = plan.at(day.name);
    for (size_t j = 0; j < day.vas.size(); j++) {
      const std::string& text = p.va[j].empty() ? p.va[day.vas[j].shares_text_of] : p.va[j];
      if (text.find('%') == std::string::npos) continue;
      placeholders++;
      EXPECT_NE(v.out.find(day.name + " " + day.vas[j].name + ": expected "), std::string::npos)
          << day.vas[j].name;
    }
  }
  EXPECT_NE(v.out.find(summary(placeholders)), std::string::npos) << v.out;

  // One VA pointer, one answer and one save prompt changed by hand.
  testsupport::IsoContents contents = testsupport::read_iso_contents(out);
  ASSERT_TRUE(contents.ok) << contents.error;
  auto file_at = [&](const SyntheticDay& day) {
    return static_cast<uint64_t>(contents.iso_tree[day.path].extent) * 2048;
  };
  const SyntheticDay& b0 = game().day("DAY_B0");
  ASSERT_LT(b0.vas[0].shares_text_of, 0);
  const Bytes& b0_file = contents.iso_tree[b0.path].data;
  uint16_t second_text = u16(b0_file, b0.va_start + 15 * b0.vas[1].index);
  patch(out, file_at(b0) + b0.va_start + 15 * b0.vas[0].index,
        hex(std::string{static_cast<char>(second_text & 0xFF), static_cast<char>(second_text >> 8)}));
  std::vector<std::string> lines = {
      "DAY_B0 " + b0.vas[0].name + ": expected \"" + english("DAY_B0", 0) + "\", found \"" +
      english("DAY_B0", 1) + "\"\n"};
  const SyntheticDay* choice_day = nullptr;
  for (const SyntheticDay& day : game().days()) {
    if (&day != &b0 && !day.groups.empty() && day.groups[0].texts.size() <= 3) {
      choice_day = &day;
      break;
    }
  }
  ASSERT_NE(choice_day, nullptr);
  const auto& group = choice_day->groups[0];
  const Bytes& choice_file = contents.iso_tree[choice_day->path].data;
  patch(out, file_at(*choice_day) + u16(choice_file, group.row[2]), hex("X"));
  std::string answer_text = answer(choice_day->name, 0, 1);
  lines.push_back(choice_day->name + " " + group.name + " OPTION2: expected \"" + answer_text +
                  "\", found \"X" + answer_text.substr(1) + "\"\n");
  const SyntheticDay& d5 = game().day("DAY_D5");
  patch(out, file_at(d5) + u16(contents.iso_tree[d5.path].data, 70) + 1, hex("Z"));
  lines.push_back("DAY_D5 save_msg: expected \"Save the game? Y\", found \"Zave the game? Y\"\n");
  std::sort(lines.begin(), lines.end());  // the days' names sort as the catalogue does

  v = verify(out, ini, "Kei", "Aoi");
  EXPECT_EQ(v.status, 1);
  EXPECT_EQ(v.out, lines[0] + lines[1] + lines[2] + summary(3));
}
