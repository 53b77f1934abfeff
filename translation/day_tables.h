// Table resolution: the VA names, VA record indices and option pointer
// positions of one day, as the walk over a catalogue reaches it. Every
// operation that walks a catalogue gets its per-day tables here and nowhere
// else, so there is one place that decides which tables are trustworthy.
//
// A day's tables are, in this order of preference:
//  - the built-in tables, when they are complete;
//  - for operations that read the day's file from the image: derived from
//    that file by the name searches of the table generators, but only when
//    the file's digest is the catalogue's (an unchanged game file);
//  - for the reports that read INI files only: the VA names of the day's
//    section of the reference file.
// Whatever the source, the tables are checked against everything the
// catalogue knows (counts, windows, fixed entries, known rows) before they
// are used; a table that fails stops the operation with
// "Error: cannot build the tables of DAY: why".
#ifndef TALVO_TRANSLATION_DAY_TABLES_H
#define TALVO_TRANSLATION_DAY_TABLES_H

#include <string>
#include <vector>

#include "translation/scn_days.h"

class Iso9660Filesystem;

namespace talvo {
class IniFile;
class TalvoScnFile;
}

struct DayTables {
  std::vector<std::string> va_names;      // va_count names, in script order
  std::vector<int> va_idx;                // record index of each name
  std::vector<EvPoffsetRow> ev_poffsets;  // one row per option group
};

// Tables for one day, resolved as the walk reaches it; false after printing
// why. scn_data is the day file as read from the image (scn_size bytes); it
// is only read when the built-in tables are incomplete.
bool resolve_day_tables(const ScnDay& day, const unsigned char* scn_data, int scn_size,
                        DayTables* out);

// Reads a day's file from the image, resolves its tables from it and loads
// it into scn; false after printing why. *size is the file's size, and
// *unchanged whether its digest is the catalogue's; with require_unchanged a
// changed file is refused before anything else. The tables must outlive scn.
bool load_day_file(Iso9660Filesystem* fs, const ScnDay& day, bool require_unchanged,
                   DayTables* tables, talvo::TalvoScnFile* scn, int* size, bool* unchanged);

// Tables for the reports that read INI files only: the built-in tables when
// complete, otherwise the keys of the day's section of `reference` that look
// like VA names, in file order, as names only (va_idx and ev_poffsets stay
// empty). False after printing why.
bool resolve_day_names(const ScnDay& day, talvo::IniFile* reference, DayTables* out);

#endif
