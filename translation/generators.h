// Maintenance operations that work from an unchanged game image: the speaker
// comments of a translation file, and the generators of the catalogue's bulk
// tables (VA names, VA record indexes, option pointer positions) as source
// text whose rows paste into the table sources.
//
// Every output is written to a temporary file beside it and renamed over it
// only when the operation succeeded, so a failure leaves an existing output
// (often the very INI file given as input) as it was. No output may be the
// disc image itself.
#ifndef TALVO_TRANSLATION_GENERATORS_H
#define TALVO_TRANSLATION_GENERATORS_H

#include <cstdio>

#include "translation/scn_days.h"

class Iso9660Filesystem;

// The `copy_with_actor_comments` operation: output_ini becomes input_ini with
// a "; Actor: name" line above each VA key where a dump would write one. Every
// other byte stays. True when the output was written.
bool copy_with_actor_comments(const char* input_iso, const char* input_ini,
                              const char* output_ini,
                              const ScnCatalogue& catalogue = scn_catalogue);
// The same on an image already mounted.
bool add_actor_comments(Iso9660Filesystem* fs, const char* input_ini, const char* output_ini,
                        const ScnCatalogue& catalogue = scn_catalogue);

// The generators: `print_va_idx` writes the day_xx_va_idx tables,
// `print_ev_poffsets` the day_xx_ev_poffsets tables and `print_va_names` the
// day_xx_VA tables, each found by name search in the image's day files and
// checked before it is written. True when the whole output was written.
bool print_va_idx(const char* input_iso, const char* output_h_file,
                  const ScnCatalogue& catalogue = scn_catalogue);
bool print_ev_poffsets(const char* input_iso, const char* output_h_file,
                       const ScnCatalogue& catalogue = scn_catalogue);
bool print_va_names(const char* input_iso, const char* output_h_file,
                    const ScnCatalogue& catalogue = scn_catalogue);

// The generators over a mounted image, writing to an open stream.
bool print_va_idx_to_h_file(Iso9660Filesystem* fs, FILE* out,
                            const ScnCatalogue& catalogue = scn_catalogue);
bool print_ev_poffsets_to_h_file(Iso9660Filesystem* fs, FILE* out,
                                 const ScnCatalogue& catalogue = scn_catalogue);
bool print_va_names_to_h_file(Iso9660Filesystem* fs, FILE* out,
                              const ScnCatalogue& catalogue = scn_catalogue);

// A new[] copy of text with A-Z turned into a-z and every other byte kept;
// the caller releases it with delete[].
char* copy_to_lower(const char* text);

#endif
