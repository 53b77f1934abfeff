#include "translation/verify.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "files/image_files.h"
#include "files/mounted_image.h"
#include "ini/ini_file.h"
#include "scn/talvo_scn_file.h"
#include "translation/day_tables.h"
#include "translation/encoding.h"
#include "translation/ini_input.h"
#include "translation/translate.h"
#include "util/guards.h"

using talvo::EVType;
using talvo::IniFile;
using talvo::MOType;
using talvo::TalvoScnFile;
using talvo::VAType;

namespace {

// A day-file text as the INI file shows it: in its encoding, quoted, with
// line breaks and quotes escaped so that a mismatch stays on one line.
std::string shown(const char* sjis, const char* encoding) {
  if (!sjis) return "(none)";
  OwnedText copy(strdup(sjis));
  if (!copy) return "(out of memory)";
  glines_to_nlines(copy.get());
  OwnedText text(convert(copy.get(), "SHIFT_JIS", encoding));
  if (!text) return "(not convertible from Shift-JIS)";
  std::string quoted = "\"";
  for (const char* c = text.get(); *c; c++) {
    if (*c == '\n') {
      quoted += "\\n";
    } else if (*c == '"') {
      quoted += "\\\"";
    } else {
      quoted += *c;
    }
  }
  return quoted + "\"";
}

class DayVerifier {
 public:
  DayVerifier(IniFile* ini, const char* encoding, const char* save_msg, const char* n_text,
              const char* f_text)
      : ini_(ini), encoding_(encoding), save_msg_(save_msg), n_text_(n_text), f_text_(f_text) {}

  // Compares one day; false after printing why it could not be compared.
  bool VerifyDay(Iso9660Filesystem* input, Iso9660Filesystem* translated, const ScnDay& day);
  int texts() const { return texts_; }
  int mismatches() const { return mismatches_; }

 private:
  // The INI value of a key converted as the translation converts it; null
  // after printing why (the translation refuses such a file too).
  OwnedText Expected(const char* section, const char* key, GameTextKind kind);
  void Compare(const char* day, const char* key, const char* expected, const char* found);
  bool VerifyVATexts(const ScnDay& day, const DayTables& tables, TalvoScnFile* scn);
  bool VerifyOptionTexts(const ScnDay& day, const DayTables& tables, TalvoScnFile* scn);

  IniFile* ini_;
  const char* encoding_;
  const char* save_msg_;  // already in Shift-JIS, null when the INI has none
  const char* n_text_;
  const char* f_text_;
  int texts_ = 0;
  int mismatches_ = 0;
};

OwnedText DayVerifier::Expected(const char* section, const char* key, GameTextKind kind) {
  OwnedText value(ini_->GetStringValue(section, key));
  if (!value) {
    fprintf(stderr, "Error getting ini string value: %s\n", key);
    return nullptr;
  }
  return game_text_of(value.get(), encoding_, kind, n_text_, f_text_);
}

void DayVerifier::Compare(const char* day, const char* key, const char* expected,
                          const char* found) {
  texts_++;
  if (found && strcmp(expected, found) == 0) return;
  mismatches_++;
  printf("%s %s: expected %s, found %s\n", day, key, shown(expected, encoding_).c_str(),
         shown(found, encoding_).c_str());
}

bool DayVerifier::VerifyVATexts(const ScnDay& day, const DayTables& tables, TalvoScnFile* scn) {
  const bool user_linking = ini_->GetBooleanValue(day.name, "user_linking", false);
  const bool linking =
      user_linking || ini_->GetBooleanValue(day.name, "machine_linking", false);
  // What the translation's link cache holds: every VA that got a text of its
  // own while linking was on, by name, the first one of a name winning.
  std::map<std::string, std::string> linkable;
  int cached = 0;
  for (int j = 0; j < day.va_count; j++) {
    const char* name = tables.va_names[j].c_str();
    OwnedText expected = Expected(day.name, name, GameTextKind::kVAText);
    if (!expected) return false;
    std::string text = expected.get();
    auto link = user_linking ? linkable.find(text) : linkable.end();
    if (link != linkable.end()) {
      text = link->second;
    } else if (linking && cached < TalvoScnFile::kTextCacheEntries) {
      cached++;
      linkable.emplace(name, text);
    }
    VAType va{};
    const char* found = scn->FindVAByIndex(tables.va_idx[j], name, &va, false, false)
                            ? scn->GetVAText(&va, false)
                            : nullptr;
    Compare(day.name, name, text.c_str(), found);
  }
  return true;
}

bool DayVerifier::VerifyOptionTexts(const ScnDay& day, const DayTables& tables,
                                    TalvoScnFile* scn) {
  for (int k = 0; k < day.ev_count; k++) {
    const OptionGroup& group = day.ev_groups[k];
    const uint16_t* row = tables.ev_poffsets[k].data();
    if (group.choices > 3) {
      OwnedText expected = Expected(day.name, group.name, GameTextKind::kChoiceList);
      if (!expected) return false;
      MOType mo{};
      OwnedText found(group.choices <= 15 &&
                              scn->FindMOByOffsets(row, group.name, &mo, group.choices, false)
                          ? scn->GetMOText(&mo, '/')
                          : nullptr);
      Compare(day.name, group.name, expected.get(), found.get());
      continue;
    }
    EVType ev{};
    char* found[3] = {nullptr, nullptr, nullptr};
    if (scn->FindEVByOffsets(row, group.name, &ev, group.choices == 3, false, false)) {
      scn->GetEVText(&ev, &found[0], &found[1], &found[2], false);
    }
    int count = group.choices == 3 ? 3 : 2;
    for (int i = 0; i < count; i++) {
      std::string key = std::string(group.name) + " OPTION" + std::to_string(i + 1);
      OwnedText expected = Expected(day.name, key.c_str(), GameTextKind::kAnswer);
      if (!expected) return false;
      Compare(day.name, key.c_str(), expected.get(), found[i]);
    }
  }
  return true;
}

bool DayVerifier::VerifyDay(Iso9660Filesystem* input, Iso9660Filesystem* translated,
                            const ScnDay& day) {
  int size = 0;
  bool unchanged = false;
  // The tables outlive the scn objects, which refer to their names.
  DayTables tables;
  TalvoScnFile original(day.name);
  if (!load_day_file(input, day, false, &tables, &original, &size, &unchanged)) return false;
  talvo::MallocBuffer data(read_iso_file(translated, day.path, &size));
  if (!data) {
    fprintf(stderr, "Error opening %s\n", day.path);
    return false;
  }
  TalvoScnFile scn(day.name);
  if (!scn.SetData(data.get(), static_cast<unsigned int>(size))) {
    fprintf(stderr, "Verify error on scn file.\n");
    return false;
  }
  if (!scn.SetVASearch(day.va_search_start, day.va_search_length)) {
    fprintf(stderr, "Error setting va search.\n");
    return false;
  }
  if (!scn.SetEVSearch(day.ev_search_start, day.ev_search_length)) {
    fprintf(stderr, "Error setting ev search.\n");
    return false;
  }
  if (!VerifyVATexts(day, tables, &scn) || !VerifyOptionTexts(day, tables, &scn)) return false;
  // The last day keeps the game's own prompt, as does every day without save_msg.
  const char* prompt = save_msg_ && strcmp(day.name, "DAY_D7") != 0
                           ? save_msg_
                           : original.GetSaveMessage(false);
  if (!prompt) {
    fprintf(stderr, "Unable to find save message.\n");
    return false;
  }
  Compare(day.name, "save_msg", prompt, scn.GetSaveMessage(false));
  return true;
}

}  // namespace

int verify_iso(const char* input_iso, const char* translated_iso, const char* input_ini,
               const char* n_text, const char* f_text, const ScnCatalogue& catalogue) {
  IniFile ini;
  if (!load_ini_file(input_ini, &ini)) return 1;
  OwnedText encoding(ini.GetStringValue("General", "encoding"));
  if (!encoding) encoding.reset(strdup("UTF-8"));
  if (!encoding) return 1;
  OwnedText save_msg(ini.GetStringValue("General", "save_msg"));
  if (save_msg) {
    save_msg = game_text_of(save_msg.get(), encoding.get(), GameTextKind::kSavePrompt, nullptr,
                            nullptr);
    if (!save_msg) return 1;
  }
  MountedIso input;
  if (!input.mount(input_iso, true)) return 1;
  MountedIso translated;
  if (!translated.mount(translated_iso, true)) return 1;

  DayVerifier verifier(&ini, encoding.get(), save_msg.get(), n_text, f_text);
  for (int i = 0; i < catalogue.count; i++) {
    if (!verifier.VerifyDay(input.fs(), translated.fs(), catalogue.days[i])) return 1;
  }
  printf("Verified %d texts of %d days: %d mismatches.\n", verifier.texts(), catalogue.count,
         verifier.mismatches());
  return verifier.mismatches() == 0 ? 0 : 1;
}
