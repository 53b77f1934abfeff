#include "translation/translate.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/host_files.h"
#include "files/image_files.h"
#include "files/mounted_image.h"
#include "ini/ini_file.h"
#include "iso/disc.h"
#include "iso/iso9660_filesystem.h"
#include "scn/talvo_scn_file.h"
#include "translation/day_rules.h"
#include "translation/day_tables.h"
#include "translation/encoding.h"
#include "translation/ini_input.h"
#include "util/guards.h"
#include "util/host_io.h"

using talvo::EVType;
using talvo::IniFile;
using talvo::MOType;
using talvo::TalvoScnFile;
using talvo::VAType;

namespace {

// Deletes a failed output; only a regular file (never a device named as the
// output) is removed.
void remove_output(const char* path) {
  if (talvo::is_regular_host_file(path)) talvo::remove_host_file(path);
}

struct DaySettings {
  bool use_kill_areas;
  bool fix_duplicate_names;
  bool user_linking;
  bool machine_linking;
  bool rewrite_all_va;
};

class Translator {
 public:
  Translator(Iso9660Filesystem* fs, IniFile* ini, const char* encoding, const char* save_msg,
             const char* n_text, const char* f_text)
      : fs_(fs), ini_(ini), encoding_(encoding), save_msg_(save_msg), n_text_(n_text),
        f_text_(f_text) {}

  bool TranslateDay(const ScnDay& day);

 private:
  bool ReadSettings(const ScnDay& day, DaySettings* s);
  // The value of a key of the day's section, or null after printing why.
  OwnedText GetValue(const char* section, const char* key);
  bool SetVATexts(const ScnDay& day, TalvoScnFile* scn, std::vector<VAType>* vas,
                  const DaySettings& s);
  bool SetOptionTexts(const ScnDay& day, TalvoScnFile* scn, std::vector<EVType>* evs,
                      std::vector<MOType>* mos, const DaySettings& s);
  bool WriteBack(const ScnDay& day, TalvoScnFile* scn, int old_size);

  Iso9660Filesystem* fs_;
  IniFile* ini_;
  const char* encoding_;
  const char* save_msg_;
  const char* n_text_;
  const char* f_text_;
};

bool Translator::ReadSettings(const ScnDay& day, DaySettings* s) {
  s->use_kill_areas = ini_->GetBooleanValue(day.name, "use_kill_areas", true);
  s->fix_duplicate_names = ini_->GetBooleanValue(day.name, "fix_duplicate_names", false);
  s->user_linking = ini_->GetBooleanValue(day.name, "user_linking", false);
  s->machine_linking = ini_->GetBooleanValue(day.name, "machine_linking", false);
  s->rewrite_all_va = ini_->GetBooleanValue(day.name, "rewrite_all_va", false);
  if (!s->use_kill_areas && s->user_linking) {
    fprintf(stderr, "user_linking=true can't be used with use_kill_areas=false\n");
    return false;
  }
  if (!s->use_kill_areas && s->machine_linking) {
    fprintf(stderr, "machine_linking=true can't be used with use_kill_areas=false\n");
    return false;
  }
  if (s->rewrite_all_va && day_has_rule(day.name, DayRule::kNoFullRewrite)) {
    fprintf(stderr, "rewrite_all_va=true can't be used on DAY_A0.\n");
    return false;
  }
  if (s->rewrite_all_va && !s->fix_duplicate_names && day.has_duplicates) {
    fprintf(stderr, "rewrite_all_va=true requires fix_duplicate_names=true in this section.\n");
    return false;
  }
  return true;
}

OwnedText Translator::GetValue(const char* section, const char* key) {
  OwnedText value(ini_->GetStringValue(section, key));
  if (!value) fprintf(stderr, "Error getting ini string value: %s\n", key);
  return value;
}

bool Translator::SetVATexts(const ScnDay& day, TalvoScnFile* scn, std::vector<VAType>* vas,
                            const DaySettings& s) {
  for (VAType& va : *vas) {
    OwnedText value = GetValue(day.name, va.name);
    if (!value) return false;
    OwnedText sjis = game_text_of(value.get(), encoding_, GameTextKind::kVAText, n_text_, f_text_);
    if (!sjis) return false;
    if (!scn->SetVAText(&va, sjis.get(), s.use_kill_areas, s.fix_duplicate_names, s.user_linking,
                        s.machine_linking, s.rewrite_all_va)) {
      fprintf(stderr, "Error setting va text: %s\n", va.name);
      return false;
    }
  }
  return true;
}

bool Translator::SetOptionTexts(const ScnDay& day, TalvoScnFile* scn, std::vector<EVType>* evs,
                                std::vector<MOType>* mos, const DaySettings& s) {
  for (int k = 0; k < day.ev_count; k++) {
    const OptionGroup& group = day.ev_groups[k];
    if (group.choices > 3) {
      OwnedText value = GetValue(day.name, group.name);
      if (!value) return false;
      OwnedText sjis = game_text_of(value.get(), encoding_, GameTextKind::kChoiceList, nullptr,
                                    nullptr);
      if (!sjis) return false;
      if (!scn->SetMOText(&(*mos)[k], sjis.get(), s.use_kill_areas, '/')) {
        fprintf(stderr, "Error setting mo text: %s\n", group.name);
        return false;
      }
      continue;
    }
    // Answers keep their bytes: no line breaks, no name placeholders.
    OwnedText answers[3];
    int count = group.choices == 3 ? 3 : 2;
    for (int i = 0; i < count; i++) {
      std::string key = std::string(group.name) + " OPTION" + std::to_string(i + 1);
      OwnedText value = GetValue(day.name, key.c_str());
      if (!value) return false;
      answers[i] = game_text_of(value.get(), encoding_, GameTextKind::kAnswer, nullptr, nullptr);
      if (!answers[i]) return false;
    }
    if (!scn->SetEVText(&(*evs)[k], answers[0].get(), answers[1].get(),
                        count == 3 ? answers[2].get() : nullptr, s.use_kill_areas,
                        s.fix_duplicate_names)) {
      fprintf(stderr, "Error setting va text: %s\n", group.name);
      return false;
    }
  }
  return true;
}

bool Translator::WriteBack(const ScnDay& day, TalvoScnFile* scn, int old_size) {
  unsigned int new_size = 0;
  unsigned char* data = scn->GetData(false, &new_size);
  if (!data) {
    fprintf(stderr, "Failed to get scn data.\n");
    return false;
  }
  if (new_size < static_cast<unsigned int>(old_size)) {
    if (fs_->Truncate(day.path, new_size) != 0) {
      fprintf(stderr, "Error truncating file: \"%s\"\n", day.path);
      return false;
    }
    printf("Info: file \"%s\" size was reduced from %d to %d because of optimization.\n",
           day.path, old_size, static_cast<int>(new_size));
  }
  if (!write_iso_file(fs_, day.path, data, static_cast<int>(new_size))) {
    fprintf(stderr, "Error changing iso file: %s\n", day.path);
    return false;
  }
  return true;
}

bool Translator::TranslateDay(const ScnDay& day) {
  printf("Now translating %s\n", day.name);
  DaySettings s;
  if (!ReadSettings(day, &s)) return false;

  int size = 0;
  bool unchanged = false;
  // The tables outlive the scn object: its text cache refers to their names.
  DayTables tables;
  TalvoScnFile scn(day.name);
  if (!load_day_file(fs_, day, true, &tables, &scn, &size, &unchanged)) return false;
  if (!scn.SetVASearch(day.va_search_start, day.va_search_length)) {
    fprintf(stderr, "Error setting va search.\n");
    return false;
  }
  if (!scn.SetEVSearch(day.ev_search_start, day.ev_search_length)) {
    fprintf(stderr, "Error setting ev search.\n");
    return false;
  }

  // Every entry is located before any text changes: locating frees the old
  // texts' storage for the new ones.
  std::vector<VAType> vas(day.va_count);
  std::vector<EVType> evs(day.ev_count);
  std::vector<MOType> mos(day.ev_count);
  bool kill_va = s.use_kill_areas && !s.rewrite_all_va;
  for (int j = 0; j < day.va_count; j++) {
    const char* name = tables.va_names[j].c_str();
    if (!scn.FindVAByIndex(tables.va_idx[j], name, &vas[j], kill_va, s.fix_duplicate_names)) {
      fprintf(stderr, "Error finding va:%s\n", name);
      return false;
    }
  }
  for (int k = 0; k < day.ev_count; k++) {
    const OptionGroup& group = day.ev_groups[k];
    const uint16_t* row = tables.ev_poffsets[k].data();
    if (group.choices > 3) {
      // A pointer row holds the name pointer and at most 15 answers.
      if (group.choices > 15 ||
          !scn.FindMOByOffsets(row, group.name, &mos[k], group.choices, s.use_kill_areas)) {
        fprintf(stderr, "Error finding mo:%s\n", group.name);
        return false;
      }
    } else if (!scn.FindEVByOffsets(row, group.name, &evs[k], group.choices == 3,
                                    s.use_kill_areas, s.fix_duplicate_names)) {
      fprintf(stderr, "Error finding ev:%s\n", group.name);
      return false;
    }
  }
  TalvoScnFile::CheckVASCorrection(vas.data(), day.va_count);
  if (s.rewrite_all_va && day.va_count > 0 && !scn.TruncateTo(&vas[0])) {
    fprintf(stderr, "Scn truncation failed.\n");
    return false;
  }

  if (!SetVATexts(day, &scn, &vas, s)) return false;
  if (!SetOptionTexts(day, &scn, &evs, &mos, s)) return false;
  if (save_msg_ && !day_has_rule(day.name, DayRule::kKeepsSavePrompt) &&
      !scn.SetSaveMessage(save_msg_, true)) {
    fprintf(stderr, "Error setting save message.\n");
    return false;
  }
  return WriteBack(day, &scn, size);
}

}  // namespace

OwnedText game_text_of(const char* value, const char* encoding, GameTextKind kind,
                       const char* n_text, const char* f_text) {
  OwnedText filled;
  if (kind == GameTextKind::kVAText && (n_text || f_text)) {
    char* text = strdup(value);
    // The game writes the player's two names together as %F%N.
    if (text) text = replace_string(text, "%F%N", "%F %N");
    if (text && n_text) text = replace_string(text, "%N", n_text);
    if (text && f_text) text = replace_string(text, "%F", f_text);
    if (!text) {
      fprintf(stderr, "Out of memory.\n");
      return nullptr;
    }
    filled.reset(text);
    value = text;
  }
  OwnedText sjis(x_to_sjis(value, encoding));
  if (!sjis) {
    if (kind == GameTextKind::kSavePrompt) {
      fprintf(stderr, "Error in conversion to SJIS: %s\n", value);
    } else {
      fprintf(stderr, "Error converting to sjis: %s\n", value);
    }
    return nullptr;
  }
  if (kind != GameTextKind::kAnswer) nlines_to_glines(sjis.get());
  return sjis;
}

bool translate_days_from_ini(Iso9660Filesystem* fs, const char* input_ini, const char* n_text,
                             const char* f_text, const ScnCatalogue& catalogue) {
  IniFile ini;
  if (!load_ini_file(input_ini, &ini)) return false;

  OwnedText encoding(ini.GetStringValue("General", "encoding"));
  if (encoding) {
    printf("Encoding: %s\n", encoding.get());
  } else {
    fprintf(stderr, "Warning: encoding not found in ini, defaulting to UTF-8.\n");
    encoding.reset(strdup("UTF-8"));
    if (!encoding) return false;
  }

  OwnedText save_msg(ini.GetStringValue("General", "save_msg"));
  if (save_msg) {
    OwnedText sjis =
        game_text_of(save_msg.get(), encoding.get(), GameTextKind::kSavePrompt, nullptr, nullptr);
    if (!sjis) return false;
    if (strlen(sjis.get()) > TalvoScnFile::kMaxSaveMessage) {
      fprintf(stderr, "save_msg can't be bigger than 16 bytes at current version.\n");
      return false;
    }
    save_msg = std::move(sjis);
  }

  Translator translator(fs, &ini, encoding.get(), save_msg.get(), n_text, f_text);
  for (int i = 0; i < catalogue.count; i++) {
    if (!translator.TranslateDay(catalogue.days[i])) return false;
  }
  printf("Translation completed.\n");
  return true;
}

int translate_iso(const char* input_iso, const char* output_iso, const char* input_ini,
                  const char* n_text, const char* f_text, const ScnCatalogue& catalogue) {
  // The copy must never land on the input image: that would destroy it.
  if (!output_is_not_image(output_iso, input_iso)) return -1;
  // The input is copied under a shared lock, and never while a change to it
  // is unfinished; a missing input is reported by the copy.
  IsoFileDisc input(true, true);
  const bool input_opened = input.OpenDiscFile(input_iso) == 0;
  if (!input_opened && errno == EBADMSG) return -1;
  // A journal beside an earlier output belongs to the file about to be replaced.
  talvo::remove_host_file((std::string(output_iso) + "-journal").c_str());
  if (!copy_file(input_iso, output_iso)) {
    fprintf(stderr, "\nError while copying file.\n");
    fprintf(stderr,
            "Check that the file is not in use by other program such as a Virtual CD "
            "emulator.\n");
    // With the input readable, the copy failed after it made the output.
    if (input_opened) remove_output(output_iso);
    return -1;
  }
  input.CloseFile();
  bool translated = false;
  {
    // A fresh copy that goes on failure: no journal needed.
    MountedIso image;
    if (image.mount(output_iso, false, false)) {
      translated = translate_days_from_ini(image.fs(), input_ini, n_text, f_text, catalogue) &&
                   image.finish();
    }
  }
  // An untranslated or half-translated copy is no result: it goes.
  if (!translated) {
    remove_output(output_iso);
    return -1;
  }
  return 0;
}
