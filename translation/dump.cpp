#include "translation/dump.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/atomic_output.h"
#include "files/host_files.h"
#include "files/mounted_image.h"
#include "ini/ini_file.h"
#include "scn/talvo_scn_file.h"
#include "translation/actors.h"
#include "translation/day_rules.h"
#include "translation/day_tables.h"
#include "translation/encoding.h"

using talvo::EVType;
using talvo::IniFile;
using talvo::MOType;
using talvo::TalvoScnFile;
using talvo::VAType;

namespace {

// A Shift-JIS text of the day file as the INI file shows it: line feeds for
// the game's line breaks, UTF-8. Takes ownership of sjis. Null after printing
// "Cannot convert to UTF-8."
OwnedText game_text_to_ini(char* sjis) {
  OwnedText owned(sjis);
  glines_to_nlines(owned.get());
  OwnedText utf8(sjis_to_utf8(owned.get()));
  if (!utf8) fprintf(stderr, "Cannot convert to UTF-8.\n");
  return utf8;
}

bool set_text(IniFile* ini, const char* section, const char* key, const char* value,
              bool quote) {
  if (ini->SetStringValue(section, key, value, false, quote)) return true;
  fprintf(stderr, "Error setting INI string value: %s\n", key);
  return false;
}

class DayDumper {
 public:
  DayDumper(IniFile* ini, const ScnDay& day, TalvoScnFile* scn, const DayTables& tables,
            bool remove_redundancy)
      : ini_(ini), day_(day), scn_(scn), tables_(tables), rr_(remove_redundancy) {}

  bool WriteVALines();
  bool WriteOptionLines();
  bool has_links() const { return has_links_; }

 private:
  IniFile* ini_;
  const ScnDay& day_;
  TalvoScnFile* scn_;
  const DayTables& tables_;
  bool rr_;
  bool has_links_ = false;
};

bool DayDumper::WriteVALines() {
  const char* section = day_.name;
  const char* previous_actor = nullptr;
  for (int j = 0; j < day_.va_count; j++) {
    const char* name = tables_.va_names[j].c_str();
    int index = tables_.va_idx[j];
    VAType va{};
    if (!scn_->FindVAByIndex(index, name, &va, false, false)) {
      fprintf(stderr, "Error finding va:%s\n", name);
      return false;
    }
    // A new scene always names its speaker; within a scene only a change of
    // speaker name does.
    const char* actor = get_actor_name(va.actor);
    std::string comment = std::string("; Actor: ") + actor;
    if (j != 0 && strncmp(name, tables_.va_names[j - 1].c_str(), 5) != 0) {
      ini_->WriteRawLine("");
      ini_->WriteRawLine("");
      ini_->WriteRawLine(comment.c_str());
    } else if (j == 0 || strcmp(actor, previous_actor) != 0) {
      ini_->WriteRawLine(comment.c_str());
    }
    previous_actor = actor;

    VAType found{};
    bool linked = rr_ ? scn_->FindFirstVATextTwin(&va, &found, index, true, true)
                      : scn_->FindFirstVALink(&va, &found, index, true, false);
    if (linked) {
      std::string target = found.name ? found.name : "";
      delete[] found.name;
      if (!set_text(ini_, section, name, target.c_str(), false)) return false;
      has_links_ = true;
      continue;
    }
    char* sjis = scn_->GetVAText(&va, true);
    if (!sjis) {
      fprintf(stderr, "Cannot find text for va:%s\n", name);
      return false;
    }
    OwnedText text = game_text_to_ini(sjis);
    if (!text || !set_text(ini_, section, name, text.get(), true)) return false;
  }
  return true;
}

bool DayDumper::WriteOptionLines() {
  const char* section = day_.name;
  bool first = true;
  for (int k = 0; k < day_.ev_count; k++) {
    const OptionGroup& group = day_.ev_groups[k];
    if (group.choices > 3) continue;
    if (first) {
      ini_->WriteRawLine("");
      ini_->WriteRawLine("");
      ini_->WriteRawLine("; Options");
      first = false;
    }
    EVType ev{};
    if (!scn_->FindEVByOffsets(tables_.ev_poffsets[k].data(), group.name, &ev,
                               group.choices == 3, false, false)) {
      fprintf(stderr, "Error finding ev:%s\n", group.name);
      return false;
    }
    char* raw[3] = {nullptr, nullptr, nullptr};
    scn_->GetEVText(&ev, &raw[0], &raw[1], &raw[2], true);
    OwnedText sjis[3] = {OwnedText(raw[0]), OwnedText(raw[1]), OwnedText(raw[2])};
    if (!sjis[0]) {
      fprintf(stderr, "Cannot find text for ev:%s\n", group.name);
      return false;
    }
    for (int i = 0; i < 3 && sjis[i]; i++) {
      OwnedText text = game_text_to_ini(sjis[i].release());
      std::string key = std::string(group.name) + " OPTION" + std::to_string(i + 1);
      if (!text || !set_text(ini_, section, key.c_str(), text.get(), true)) return false;
    }
    if (k != day_.ev_count - 1) ini_->WriteRawLine("");
  }
  first = true;
  for (int k = 0; k < day_.ev_count; k++) {
    const OptionGroup& group = day_.ev_groups[k];
    if (group.choices <= 3) continue;
    if (first) {
      ini_->WriteRawLine("");
      ini_->WriteRawLine("; Options with more than 3 choices. Each choice separated by \"/\"");
      first = false;
    }
    MOType mo{};
    // A pointer row holds the name pointer and at most 15 answers.
    if (group.choices > 15 ||
        !scn_->FindMOByOffsets(tables_.ev_poffsets[k].data(), group.name, &mo, group.choices,
                               false)) {
      fprintf(stderr, "Error finding mo:%s\n", group.name);
      return false;
    }
    char* joined = scn_->GetMOText(&mo, '/');
    if (!joined) {
      fprintf(stderr, "Cannot find text for mo:%s\n", group.name);
      return false;
    }
    OwnedText text = game_text_to_ini(joined);
    if (!text || !set_text(ini_, section, group.name, text.get(), true)) return false;
  }
  return true;
}

// The settings lines below a day's header tell the translation how the day
// must be rebuilt. Each insertion goes right below the header, so they are
// inserted bottom line first.
void write_settings_lines(IniFile* ini, const ScnDay& day, bool has_links, bool unchanged) {
  std::vector<const char*> lines;
  bool asks_rewrite = day_has_rule(day.name, DayRule::kDumpAsksFullRewrite);
  if (has_links) {
    if (day.has_duplicates) lines.push_back("fix_duplicate_names = true");
    lines.push_back("user_linking = true");
    if (asks_rewrite) lines.push_back("rewrite_all_va = true");
  } else if (!day.has_duplicates) {
    return;
  } else if (unchanged) {
    lines.push_back("; If you modify any text on this section, please uncomment the following line.");
    lines.push_back(";fix_duplicate_names = true");
  } else {
    lines.push_back("fix_duplicate_names = true");
    if (asks_rewrite) lines.push_back("rewrite_all_va = true");
  }
  lines.push_back("");
  for (size_t i = lines.size(); i-- > 0;) ini->WriteRawLineAt(day.name, lines[i]);
}

bool dump_day(Iso9660Filesystem* fs, IniFile* ini, const ScnDay& day, bool first_day,
              bool last_day, bool remove_redundancy) {
  printf("Now dumping %s\n", day.name);
  int size = 0;
  bool unchanged = false;
  DayTables tables;
  TalvoScnFile scn(day.name);
  if (!load_day_file(fs, day, false, &tables, &scn, &size, &unchanged)) return false;

  if (first_day) {
    char* message = scn.GetSaveMessage(true);
    if (!message) {
      fprintf(stderr, "Unable to find save message.\n");
      return false;
    }
    OwnedText text = game_text_to_ini(message);
    if (!text || !set_text(ini, "General", "save_msg", text.get(), true)) return false;
    ini->WriteRawLine("");
  }

  if (!ini->AddSection(day.name)) {
    fprintf(stderr, "Error adding INI section: %s\n", day.name);
    return false;
  }
  if (day.va_count > 0) ini->WriteRawLine("; Normal texts");
  if (!scn.SetVASearch(day.va_search_start, day.va_search_length)) {
    fprintf(stderr, "Error setting va search.\n");
    return false;
  }
  DayDumper dumper(ini, day, &scn, tables, remove_redundancy);
  if (!dumper.WriteVALines()) return false;
  if (!scn.SetEVSearch(day.ev_search_start, day.ev_search_length)) {
    fprintf(stderr, "Error setting ev search.\n");
    return false;
  }
  if (!dumper.WriteOptionLines()) return false;
  if (!last_day) ini->WriteRawLine("");
  write_settings_lines(ini, day, dumper.has_links(), unchanged);
  return true;
}

bool dump_into(Iso9660Filesystem* fs, ReplacingOutputFile* output, bool remove_redundancy,
               const ScnCatalogue& catalogue) {
  IniFile ini;
  ini.AddSection("General");
  if (!set_text(&ini, "General", "encoding", "UTF-8", true)) return false;
  for (int i = 0; i < catalogue.count; i++) {
    if (!dump_day(fs, &ini, catalogue.days[i], i == 0, i == catalogue.count - 1,
                  remove_redundancy)) {
      return false;
    }
  }
  unsigned int length = 0;
  unsigned char* bytes = ini.GetData(false, &length);
  if (!output->Commit(bytes, bytes ? length : 0)) return false;
  printf("Dump complete.\n");
  return true;
}

}  // namespace

bool dump_days_to_ini(Iso9660Filesystem* fs, const char* output_ini, bool remove_redundancy,
                      const ScnCatalogue& catalogue) {
  ReplacingOutputFile output;
  if (!output.Create(output_ini)) {
    fprintf(stderr, "Error opening output.\n");
    return false;
  }
  return dump_into(fs, &output, remove_redundancy, catalogue);
}

bool dump_iso(const char* input_iso, const char* output_ini, bool remove_redundancy,
              const ScnCatalogue& catalogue) {
  if (!output_is_not_image(output_ini, input_iso)) return false;
  // The output is checked before the image is touched.
  ReplacingOutputFile output;
  if (!output.Create(output_ini)) {
    fprintf(stderr, "Error opening output.\n");
    return false;
  }
  MountedIso image;
  if (!image.mount(input_iso, true)) return false;
  return dump_into(image.fs(), &output, remove_redundancy, catalogue);
}
