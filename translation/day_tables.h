// Table resolution: the VA names, VA record indices and option pointer
// positions of one day, as the walk over a catalogue reaches it. Every
// operation that walks a catalogue gets its per-day tables here and nowhere
// else, so there is one place that decides which tables are trustworthy.
#ifndef TALVO_TRANSLATION_DAY_TABLES_H
#define TALVO_TRANSLATION_DAY_TABLES_H

#include <string>
#include <vector>

#include "translation/scn_days.h"

struct DayTables {
  std::vector<std::string> va_names;      // va_count names, in script order
  std::vector<int> va_idx;                // record index of each name
  std::vector<EvPoffsetRow> ev_poffsets;  // one row per option group
};

// Tables for one day, resolved as the walk reaches it; false after printing
// why. scn_data is the day file as read from the image (scn_size bytes).
bool resolve_day_tables(const ScnDay& day, const unsigned char* scn_data, int scn_size,
                        DayTables* out);

#endif
