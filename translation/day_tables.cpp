#include "translation/day_tables.h"

#include <cstdio>

// The built-in tables count only when they hold exactly what the catalogue
// promises: a partial table would put texts under the wrong keys.
static bool builtin_tables_complete(const ScnDay& day) {
  size_t va_count = day.va_count > 0 ? static_cast<size_t>(day.va_count) : 0;
  size_t ev_count = day.ev_count > 0 ? static_cast<size_t>(day.ev_count) : 0;
  size_t names = day.va_names ? day.va_names->size() : 0;
  size_t indices = day.va_idx ? day.va_idx->size() : 0;
  size_t rows = day.ev_poffsets ? day.ev_poffsets->size() : 0;
  if (day.va_count < 0 || day.ev_count < 0) return false;
  if (names != va_count || indices != va_count || rows != ev_count) return false;
  if (ev_count > 0 && !day.ev_groups) return false;
  for (size_t i = 0; i < names; i++) {
    if (!(*day.va_names)[i]) return false;
  }
  return true;
}

bool resolve_day_tables(const ScnDay& day, const unsigned char* scn_data, int scn_size,
                        DayTables* out) {
  (void)scn_data;
  (void)scn_size;
  if (!builtin_tables_complete(day)) {
    fprintf(stderr, "Error: the built-in tables of %s are incomplete.\n", day.name);
    return false;
  }
  out->va_names.clear();
  if (day.va_names) out->va_names.assign(day.va_names->begin(), day.va_names->end());
  out->va_idx.clear();
  if (day.va_idx) out->va_idx = *day.va_idx;
  out->ev_poffsets.clear();
  if (day.ev_poffsets) out->ev_poffsets = *day.ev_poffsets;
  return true;
}
