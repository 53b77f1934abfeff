// The translate operation: a copy of the game disc image whose day files
// carry the texts of a translated INI file.
#ifndef TALVO_TRANSLATION_TRANSLATE_H
#define TALVO_TRANSLATION_TRANSLATE_H

#include "translation/encoding.h"
#include "translation/scn_days.h"

class Iso9660Filesystem;

// Copies input_iso to output_iso (never onto the input itself), opens the
// copy writable and translates its days from input_ini. n_text and f_text,
// when not null, replace the player-name placeholders %N and %F of the VA
// texts. Returns 0 on success; -1 on any failure, after which no output
// image is left (unless the copy itself could not be made).
int translate_iso(const char* input_iso, const char* output_iso, const char* input_ini,
                  const char* n_text, const char* f_text,
                  const ScnCatalogue& catalogue = scn_catalogue);

// Rewrites every day file of the catalogue inside the mounted, writable
// image with the texts of input_ini. True when all days were written back;
// false after printing why (days written before stay changed).
bool translate_days_from_ini(Iso9660Filesystem* fs, const char* input_ini, const char* n_text,
                             const char* f_text, const ScnCatalogue& catalogue = scn_catalogue);

// The kinds of INI text a day file stores, each converted its own way.
enum class GameTextKind {
  kVAText,      // a spoken line: name placeholders filled in, game line breaks
  kChoiceList,  // the "/"-joined answers of a group of four or more: line breaks
  kAnswer,      // one of two or three answers: its bytes as they are
  kSavePrompt,  // the save prompt: line breaks
};

// An INI value as the translation stores it in a day file: Shift-JIS from
// `encoding`, and as `kind` asks the game's line breaks and, when n_text or
// f_text is not null, the player-name placeholders %N and %F replaced. The
// translation and its verification both convert through here. Null after
// printing why.
OwnedText game_text_of(const char* value, const char* encoding, GameTextKind kind,
                       const char* n_text, const char* f_text);

#endif
