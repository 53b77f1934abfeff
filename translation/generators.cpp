#include "translation/generators.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "files/atomic_output.h"
#include "files/host_files.h"
#include "files/image_files.h"
#include "files/mounted_image.h"
#include "ini/ini_file.h"
#include "scn/talvo_scn_file.h"
#include "translation/actors.h"
#include "translation/day_tables.h"
#include "translation/ini_input.h"
#include "translation/table_derivation.h"
#include "util/guards.h"
#include "util/memory_stream.h"

using talvo::IniFile;
using talvo::TalvoScnFile;

namespace {

using CharArray = std::unique_ptr<char[]>;

// Reads the day's file from the image and loads it into scn; false after
// printing why. The bytes as read stay in *raw for the table resolution.
bool load_day(Iso9660Filesystem* fs, const ScnDay& day, TalvoScnFile* scn,
              talvo::MallocBuffer* raw, int* raw_size) {
  raw->reset(read_iso_file(fs, day.path, raw_size));
  if (!*raw) {
    fprintf(stderr, "Error opening %s\n", day.path);
    return false;
  }
  if (!scn->SetData(raw->get(), static_cast<unsigned int>(*raw_size))) {
    fprintf(stderr, "Verify error on scn file.\n");
    return false;
  }
  return true;
}

enum class Generated { kVaIdx, kEvPoffsets, kVaNames };

// The tables a generator prints for one day. Built-in tables that are
// complete give the names and groups, and the part being generated is found
// anew by name search; a day without them is derived (and checked) by the
// table resolution from the very same searches. Either way the result is
// checked against the catalogue before a line of it is printed.
bool generated_tables(const ScnDay& day, TalvoScnFile* scn, const unsigned char* raw,
                      int raw_size, Generated what, DayTables* out) {
  if (!builtin_tables_complete(day)) return resolve_day_tables(day, raw, raw_size, out);
  DayTables t = builtin_tables(day);
  SearchFailure failure;
  switch (what) {
    case Generated::kVaIdx:
      if (!scn->SetVASearch(day.va_search_start, day.va_search_length)) {
        fprintf(stderr, "Error setting va search.\n");
        return false;
      }
      for (size_t i = 0; i < t.va_names.size(); i++) {
        int index = search_va_index(scn, t.va_names[i].c_str(), &failure);
        if (index < 0) {
          if (failure.kind == SearchFailure::kVaNotFound) {
            fprintf(stderr, "Cannot find %s in %s\n", t.va_names[i].c_str(), day.name);
          } else {
            fprintf(stderr, "Cannot find index of %s\n", t.va_names[i].c_str());
          }
          return false;
        }
        t.va_idx[i] = index;
      }
      break;
    case Generated::kEvPoffsets:
      if (!scn->SetEVSearch(day.ev_search_start, day.ev_search_length)) {
        fprintf(stderr, "Error setting ev search.\n");
        return false;
      }
      for (int k = 0; k < day.ev_count; k++) {
        if (!search_option_row(scn, day.ev_groups[k], &t.ev_poffsets[k], &failure)) {
          fprintf(stderr, failure.kind == SearchFailure::kMoNotFound ? "Error finding mo:%s\n"
                                                                     : "Error finding ev:%s\n",
                  day.ev_groups[k].name);
          return false;
        }
      }
      break;
    case Generated::kVaNames:
      if (!scn->SetVASearch(day.va_search_start, day.va_search_length)) {
        fprintf(stderr, "Error setting va search.\n");
        return false;
      }
      if (!scn->SetEVSearch(day.ev_search_start, day.ev_search_length)) {
        fprintf(stderr, "Error setting ev search.\n");
        return false;
      }
      // The names are what the records hold, whatever the built-in list says.
      if (!search_day_tables(day, scn, nullptr, &t, &failure)) {
        return table_build_error(day.name, describe_failure(failure, day.name));
      }
      break;
  }
  std::string why;
  if (!check_day_tables(day, t, TableParts::kComplete, &why)) {
    return table_build_error(day.name, why);
  }
  *out = std::move(t);
  return true;
}

void write_table(FILE* out, const ScnDay& day, const DayTables& t, Generated what) {
  CharArray lower(copy_to_lower(day.name));
  switch (what) {
    case Generated::kVaIdx:
      fprintf(out, "int %s_va_idx[] =\n{\n", lower.get());
      for (int index : t.va_idx) fprintf(out, "\t%u,\n", static_cast<unsigned>(index));
      break;
    case Generated::kEvPoffsets:
      fprintf(out, "uint16_t (* %s_ev_poffsets)[16] = (uint16_t [][16])\n{\n", lower.get());
      for (int k = 0; k < day.ev_count; k++) {
        const EvPoffsetRow& row = t.ev_poffsets[k];
        int c = day.ev_groups[k].choices;
        if (c <= 3) {
          fprintf(out, "\t{ 0x%04x, 0x%04x, 0x%04x", row[0], row[1], row[2]);
          if (c == 3) {
            fprintf(out, ", 0x%04x },\n", row[3]);
          } else {
            fprintf(out, " },\n");
          }
        } else {
          fprintf(out, "\t{ 0x%04x, ", row[0]);
          for (int i = 1; i <= c; i++) fprintf(out, i < c ? "0x%04x, " : "0x%04x", row[i]);
          fprintf(out, " },\n");
        }
      }
      break;
    case Generated::kVaNames:
      fprintf(out, "const char* %s_VA[] =\n{\n", lower.get());
      for (const std::string& name : t.va_names) fprintf(out, "\t\"%s\",\n", name.c_str());
      break;
  }
  fprintf(out, "};\n\n");
}

bool generate(Iso9660Filesystem* fs, FILE* out, const ScnCatalogue& catalogue, Generated what) {
  for (int d = 0; d < catalogue.count; d++) {
    const ScnDay& day = catalogue.days[d];
    talvo::MallocBuffer raw;
    int raw_size = 0;
    TalvoScnFile scn(day.name);
    if (!load_day(fs, day, &scn, &raw, &raw_size)) return false;
    DayTables t;
    if (!generated_tables(day, &scn, raw.get(), raw_size, what, &t)) return false;
    write_table(out, day, t, what);
  }
  return true;
}

// The success line, printed once the tables are where they were asked for.
bool report_done(Generated what) {
  switch (what) {
    case Generated::kVaIdx:
      printf("Indexes dumped.\n");
      break;
    case Generated::kEvPoffsets:
      printf("Poffsets dumped.\n");
      break;
    case Generated::kVaNames:
      printf("Names dumped.\n");
      break;
  }
  return true;
}

bool generate_and_report(Iso9660Filesystem* fs, FILE* out, const ScnCatalogue& catalogue,
                         Generated what) {
  return generate(fs, out, catalogue, what) && report_done(what);
}

bool generate_file(const char* input_iso, const char* output_h_file,
                   const ScnCatalogue& catalogue, Generated what) {
  if (!output_is_not_image(output_h_file, input_iso)) return false;
  ReplacingOutputFile output;
  if (!output.Create(output_h_file)) {
    fprintf(stderr, "Error opening/creating %s\n", output_h_file);
    return false;
  }
  MountedIso iso;
  if (!iso.mount(input_iso, true)) return false;
  // The generated text, collected in memory so that the output file is
  // replaced only once every day was written.
  talvo::MemoryStream text;
  if (!text.stream()) {
    fprintf(stderr, "Out of memory.\n");
    return false;
  }
  if (!generate(iso.fs(), text.stream(), catalogue, what)) return false;
  if (!text.Finish()) {
    fprintf(stderr, "Out of memory.\n");
    return false;
  }
  return output.Commit(text.data(), text.size()) && report_done(what);
}

}  // namespace

char* copy_to_lower(const char* text) {
  size_t n = strlen(text);
  char* lower = new char[n + 1];
  for (size_t i = 0; i <= n; i++) {
    char c = text[i];
    lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return lower;
}

bool print_va_idx_to_h_file(Iso9660Filesystem* fs, FILE* out, const ScnCatalogue& catalogue) {
  return generate_and_report(fs, out, catalogue, Generated::kVaIdx);
}

bool print_ev_poffsets_to_h_file(Iso9660Filesystem* fs, FILE* out,
                                 const ScnCatalogue& catalogue) {
  return generate_and_report(fs, out, catalogue, Generated::kEvPoffsets);
}

bool print_va_names_to_h_file(Iso9660Filesystem* fs, FILE* out, const ScnCatalogue& catalogue) {
  return generate_and_report(fs, out, catalogue, Generated::kVaNames);
}

bool print_va_idx(const char* input_iso, const char* output_h_file,
                  const ScnCatalogue& catalogue) {
  return generate_file(input_iso, output_h_file, catalogue, Generated::kVaIdx);
}

bool print_ev_poffsets(const char* input_iso, const char* output_h_file,
                       const ScnCatalogue& catalogue) {
  return generate_file(input_iso, output_h_file, catalogue, Generated::kEvPoffsets);
}

bool print_va_names(const char* input_iso, const char* output_h_file,
                    const ScnCatalogue& catalogue) {
  return generate_file(input_iso, output_h_file, catalogue, Generated::kVaNames);
}

bool add_actor_comments(Iso9660Filesystem* fs, const char* input_ini, const char* output_ini,
                        const ScnCatalogue& catalogue) {
  IniFile doc;
  if (!load_ini_file(input_ini, &doc)) return false;
  ReplacingOutputFile output;
  if (!output.Create(output_ini)) {
    fprintf(stderr, "Error opening output.\n");
    return false;
  }

  for (int d = 0; d < catalogue.count; d++) {
    const ScnDay& day = catalogue.days[d];
    printf("Now processing %s\n", day.name);
    talvo::MallocBuffer raw;
    int raw_size = 0;
    TalvoScnFile scn(day.name);
    if (!load_day(fs, day, &scn, &raw, &raw_size)) return false;
    DayTables t;
    if (!resolve_day_tables(day, raw.get(), raw_size, &t)) return false;
    raw.reset();
    if (!scn.SetVASearch(day.va_search_start, day.va_search_length)) {
      fprintf(stderr, "Error setting va search.\n");
      return false;
    }
    std::string previous_name;
    std::string previous_actor;
    for (size_t j = 0; j < t.va_names.size(); j++) {
      const char* name = t.va_names[j].c_str();
      talvo::VAType va{};
      if (!scn.FindVAByIndex(t.va_idx[j], name, &va, false, false)) {
        fprintf(stderr, "Error finding va:%s\n", name);
        return false;
      }
      std::string actor = get_actor_name(va.actor);
      bool new_scene = j != 0 && previous_name.compare(0, 5, name, 5) != 0;
      if (j == 0 || new_scene || actor != previous_actor) {
        std::string comment = "; Actor: " + actor;
        if (!doc.WriteRawLineAt(day.name, name, comment.c_str())) {
          fprintf(stderr, "Couldn't write actor line");
          return false;
        }
      }
      previous_name = name;
      previous_actor = actor;
    }
  }

  unsigned int length = 0;
  const unsigned char* bytes = doc.GetData(false, &length);
  if (!output.Commit(bytes, length)) return false;
  printf("Copy with actors comments complete.\n");
  return true;
}

bool copy_with_actor_comments(const char* input_iso, const char* input_ini,
                              const char* output_ini, const ScnCatalogue& catalogue) {
  if (!output_is_not_image(output_ini, input_iso)) return false;
  MountedIso iso;
  if (!iso.mount(input_iso, true)) return false;
  return add_actor_comments(iso.fs(), input_ini, output_ini, catalogue);
}
