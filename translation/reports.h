// Reports on translation files for the translator while the work is under
// way: the estimated completion per day (`completion`) and the lines of spoken
// texts too long for the game's text window (`check_ini`). Neither touches a
// disc image; both walk a day catalogue in its order and read the texts from
// INI files. A day whose built-in VA names are not shipped takes them from the
// reference file (the Japanese file for the completion, the checked file
// itself for the line check), checked against what the catalogue knows.
#ifndef TALVO_TRANSLATION_REPORTS_H
#define TALVO_TRANSLATION_REPORTS_H

#include "translation/scn_days.h"

// The `completion` operation: prints, per day and in total, the percentage
// of entries whose text in translation_ini differs from japanese_ini. Links
// (VA values that are VA names) and option texts that need no translation are
// not counted; a day or a file with nothing to count reports 100 %. True when
// the report was printed to its end; false after printing the error (the
// total is then left out).
bool check_percentage(const char* translation_ini, const char* japanese_ini,
                      const ScnCatalogue& catalogue = scn_catalogue);

// The `check_ini` operation: prints every line of a VA text that holds more
// than 34 bytes of Shift-JIS. True when every text was checked; false after
// printing the error that stopped the check.
bool check_ini(const char* ini_file, const ScnCatalogue& catalogue = scn_catalogue);

// True when an option text counts as needing no translation (one of the
// completion exceptions, compared byte for byte as a whole).
bool ignore_for_completion(const char* text);

#endif
