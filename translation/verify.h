// The verify operation: reads back the texts of a translated image and
// compares each with what the translation writes for the INI file, so that a
// translator can check that every line made it into the new image.
#ifndef TALVO_TRANSLATION_VERIFY_H
#define TALVO_TRANSLATION_VERIFY_H

#include "translation/scn_days.h"

// Resolves the day tables from input_iso (the unchanged game image), reads
// every VA text, every answer and the save prompt of translated_iso through
// those record positions and compares each with input_ini's text converted
// as translate_iso converts it (n_text and f_text as there). Prints one line
// per mismatch and a closing count to stdout; writes nothing. Returns 0 when
// every text matches; 1 when one differs, or after printing why the check
// could not be made.
int verify_iso(const char* input_iso, const char* translated_iso, const char* input_ini,
               const char* n_text, const char* f_text,
               const ScnCatalogue& catalogue = scn_catalogue);

#endif
