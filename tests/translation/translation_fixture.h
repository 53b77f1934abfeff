// Shared by the dump and translate tests: a synthetic game disc built once,
// the INI file a dump of it must give (derived from the game's own model, not
// from the tool), and helpers to run an operation with its output captured.
#ifndef TALVO_TESTS_TRANSLATION_TRANSLATION_FIXTURE_H
#define TALVO_TESTS_TRANSLATION_TRANSLATION_FIXTURE_H

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sample/synthetic_game.h"
#include "tests/support/iso_image.h"
#include "tests/support/test_files.h"
#include "translation/actors.h"

namespace translation_test {

using sample::ini_quoted;
using testsupport::Bytes;
using sample::SyntheticGame;
using testsupport::run_captured;
using Ran = testsupport::Captured;

// The synthetic disc, once with the shared text storage the dump links and
// once without it (table derivation cannot place such a line by name).
inline const SyntheticGame& game(bool shared_storage = true) {
  static SyntheticGame* games[2] = {};
  if (!games[shared_storage]) {
    sample::SyntheticGameOptions options;
    options.shared_storage = shared_storage;
    games[shared_storage] = new SyntheticGame(options);
  }
  return *games[shared_storage];
}

inline const std::string& game_iso(bool shared_storage = true) {
  static std::string isos[2];
  if (isos[shared_storage].empty()) {
    isos[shared_storage] = game(shared_storage).build_iso(testsupport::make_lasting_scratch_dir("disc"));
  }
  return isos[shared_storage];
}

inline std::string iso_with(const std::string& dir, const testsupport::FileMap& changes) {
  testsupport::FileMap files = game().files();
  for (const auto& c : changes) files[c.first] = c.second;
  return testsupport::build_iso(dir, files, true);
}

inline std::string read_text(const std::string& path) {
  Bytes b = testsupport::read_file_bytes(path);
  return std::string(b.begin(), b.end());
}

// text with its first `from` (which must occur) replaced by `to`.
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
  size_t p = text.find(from);
  EXPECT_NE(p, std::string::npos) << from;
  if (p != std::string::npos) text.replace(p, from.size(), to);
  return text;
}

inline std::string expected_dump(const SyntheticGame& g, bool rr) {
  std::vector<std::string> lines = {"[General]", "encoding = \"UTF-8\"",
                                    "save_msg = \"セーブしますか？\"", ""};
  const auto& days = g.days();
  for (size_t d = 0; d < days.size(); d++) {
    const auto& day = days[d];
    std::vector<std::string> body;
    bool has_links = false;
    if (!day.vas.empty()) body.push_back("; Normal texts");
    // Every VA record by index, catalogue lines and their copies alike, with
    // the storage of its text: equal storage, one stored text.
    struct Record { std::string name, sjis; int storage; };
    std::map<int, Record> records;
    for (size_t i = 0; i < day.vas.size(); i++) {
      const auto& va = day.vas[i];
      records[va.index] = {va.name, va.sjis, va.shares_text_of >= 0 ? va.shares_text_of : static_cast<int>(i)};
    }
    for (size_t i = 0; i < day.copies.size(); i++) {
      const auto& of = day.vas[day.copies[i].of];
      records[day.copies[i].index] = {of.name, of.sjis, 100000 + static_cast<int>(i)};
    }
    std::string previous_actor;
    for (size_t j = 0; j < day.vas.size(); j++) {
      const auto& va = day.vas[j];
      std::string actor = get_actor_name(va.actor);
      if (j && va.name.compare(0, 5, day.vas[j - 1].name, 0, 5) != 0) {
        body.insert(body.end(), {"", "", "; Actor: " + actor});
      } else if (j == 0 || actor != previous_actor) {
        body.push_back("; Actor: " + actor);
      }
      previous_actor = actor;
      int own_storage = va.shares_text_of >= 0 ? va.shares_text_of : static_cast<int>(j);
      std::string link;
      for (const auto& [index, r] : records) {
        if (index >= va.index) break;
        bool hit = rr ? (r.name != va.name && r.sjis == va.sjis) : r.storage == own_storage;
        if (hit) {
          link = r.name;
          break;
        }
      }
      has_links |= !link.empty();
      body.push_back(va.name + " = " + (link.empty() ? ini_quoted(va.text) : link));
    }
    bool first = true;
    for (size_t k = 0; k < day.groups.size(); k++) {
      const auto& group = day.groups[k];
      if (group.texts.size() > 3) continue;
      if (first) body.insert(body.end(), {"", "", "; Options"});
      first = false;
      for (size_t i = 0; i < group.texts.size(); i++) {
        body.push_back(group.name + " OPTION" + std::to_string(i + 1) + " = " +
                       ini_quoted(group.texts[i]));
      }
      if (k + 1 != day.groups.size()) body.push_back("");
    }
    first = true;
    for (const auto& group : day.groups) {
      if (group.texts.size() <= 3) continue;
      if (first) {
        body.insert(body.end(),
                    {"", "; Options with more than 3 choices. Each choice separated by \"/\""});
      }
      first = false;
      std::string joined;
      for (size_t i = 0; i < group.texts.size(); i++) joined += (i ? "/" : "") + group.texts[i];
      body.push_back(group.name + " = " + ini_quoted(joined));
    }
    if (d + 1 != days.size()) body.push_back("");

    lines.push_back("[" + day.name + "]");
    if (has_links) {
      if (day.has_duplicates) lines.push_back("fix_duplicate_names = true");
      lines.push_back("user_linking = true");
      if (day.name == "DAY_C0") lines.push_back("rewrite_all_va = true");
      lines.push_back("");
    } else if (day.has_duplicates) {
      lines.insert(lines.end(), {"; If you modify any text on this section, please uncomment the following line.",
                                 ";fix_duplicate_names = true", ""});
    }
    lines.insert(lines.end(), body.begin(), body.end());
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

}  // namespace translation_test

#endif
