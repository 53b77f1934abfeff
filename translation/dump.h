// The dump and dump_rr operations: every translatable text of the day files
// of a disc image, written into one UTF-8 INI file that a translator edits
// and the translate operation reads back.
#ifndef TALVO_TRANSLATION_DUMP_H
#define TALVO_TRANSLATION_DUMP_H

#include "translation/scn_days.h"

class Iso9660Filesystem;

// Mounts input_iso read-only and dumps its days into output_ini; with
// remove_redundancy (dump_rr) a text that an earlier line of the same day
// already holds becomes a link to that line. The output must not be the
// image itself. Returns true when the whole file was written; on failure an
// existing output file is left as it was.
bool dump_iso(const char* input_iso, const char* output_ini, bool remove_redundancy,
              const ScnCatalogue& catalogue = scn_catalogue);

// The dump on a mounted image. Checks first that output_ini can be created
// ("Error opening output."), then walks the catalogue; the file is replaced
// only when every day was dumped. Returns true on success.
bool dump_days_to_ini(Iso9660Filesystem* fs, const char* output_ini, bool remove_redundancy,
                      const ScnCatalogue& catalogue = scn_catalogue);

#endif
