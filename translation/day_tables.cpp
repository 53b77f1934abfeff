#include "translation/day_tables.h"

#include <cstdio>
#include <utility>

#include "files/image_files.h"
#include "ini/ini_file.h"
#include "scn/talvo_scn_file.h"
#include "translation/digest.h"
#include "translation/table_derivation.h"
#include "util/guards.h"

namespace {

// The program's own tables of a day, checked against the catalogue's facts.
bool use_builtin_tables(const ScnDay& day, DayTables* out) {
  std::string why;
  DayTables t = builtin_tables(day);
  if (!check_day_tables(day, t, TableParts::kComplete, &why)) {
    return table_build_error(day.name, "the built-in tables disagree: " + why);
  }
  *out = std::move(t);
  return true;
}

}  // namespace

bool resolve_day_tables(const ScnDay& day, const unsigned char* scn_data, int scn_size,
                        DayTables* out) {
  if (builtin_tables_complete(day)) return use_builtin_tables(day, out);
  std::string why;
  // Without the day's file there is nothing to derive from.
  if (!scn_data) {
    fprintf(stderr, "Error: the built-in tables of %s are incomplete.\n", day.name);
    return false;
  }
  // Only an unchanged game file holds the tables the catalogue's other data
  // were made for; anything else could place texts under the wrong keys.
  if (scn_size < 0 ||
      !compare_md5(scn_data, static_cast<unsigned long>(scn_size), day.md5)) {
    return table_build_error(day.name,
                             "the program has no built-in tables for it and its file is not "
                             "the unchanged one the catalogue describes (its digest differs)");
  }
  talvo::TalvoScnFile scn(day.name);
  if (!scn.SetData(scn_data, static_cast<unsigned int>(scn_size))) {
    return table_build_error(day.name, "its file does not load");
  }
  if (!scn.SetVASearch(day.va_search_start, day.va_search_length) ||
      (day.ev_count > 0 && !scn.SetEVSearch(day.ev_search_start, day.ev_search_length))) {
    return table_build_error(day.name, "its search windows lie outside its file");
  }
  DayTables t;
  SearchFailure failure;
  if (!search_day_tables(day, &scn, nullptr, &t, &failure)) {
    return table_build_error(day.name, describe_failure(failure, day.name));
  }
  if (!check_day_tables(day, t, TableParts::kComplete, &why)) {
    return table_build_error(day.name, why);
  }
  *out = std::move(t);
  return true;
}

bool load_day_file(Iso9660Filesystem* fs, const ScnDay& day, bool require_unchanged,
                   DayTables* tables, talvo::TalvoScnFile* scn, int* size, bool* unchanged) {
  talvo::MallocBuffer data(read_iso_file(fs, day.path, size));
  if (!data) {
    fprintf(stderr, "Error opening %s\n", day.path);
    return false;
  }
  *unchanged = compare_md5(data.get(), static_cast<unsigned long>(*size), day.md5);
  if (require_unchanged && !*unchanged) {
    fprintf(stderr, "Hash of \"%s\" doesn't match.\n", day.path);
    fprintf(stderr,
            "Because of technical reasons, this tool can only work with unchanged scn files.\n"
            "Run it on original untranslated japanese iso!\n");
    return false;
  }
  if (!resolve_day_tables(day, data.get(), *size, tables)) return false;
  if (!scn->SetData(data.get(), static_cast<unsigned int>(*size))) {
    fprintf(stderr, "Verify error on scn file.\n");
    return false;
  }
  return true;
}

bool resolve_day_names(const ScnDay& day, talvo::IniFile* reference, DayTables* out) {
  if (builtin_tables_complete(day)) return use_builtin_tables(day, out);
  std::string why;
  DayTables t;
  t.va_names = ini_va_names(reference, day.name);
  if (t.va_names.empty() && day.va_count > 0) {
    return table_build_error(day.name, "the INI file has no VA keys for it");
  }
  if (!check_day_tables(day, t, TableParts::kNamesOnly, &why)) {
    return table_build_error(day.name, "the VA keys of the INI file: " + why);
  }
  *out = std::move(t);
  return true;
}
