// Text encodings: the game stores Shift-JIS with the byte 0x0E as line
// break; translation files hold UTF-8 (or the encoding they name) with line
// feeds. The dump, the translation and the line checks convert through here.
#ifndef TALVO_TRANSLATION_ENCODING_H
#define TALVO_TRANSLATION_ENCODING_H

#include <memory>

#include "util/guards.h"

// Owner of a malloc'd text such as a conversion result.
using OwnedText = std::unique_ptr<char, talvo::FreeDeleter>;

// Size of every conversion result buffer; a result must fit with its
// terminating zero, so converted texts hold at most 1023 bytes.
constexpr int kConvertBufferSize = 1024;

// Converts a zero-terminated text between two encodings (util/text_codec.h). Returns a new
// kConvertBufferSize-byte, zero-filled buffer holding the converted text,
// which the caller releases with free(); null, silently, when an encoding is
// unknown, the input is invalid, the result does not fit, or memory runs out.
// Irreversible conversions print a warning and still succeed.
char* convert(const char* text, const char* from, const char* to);

// convert() from Shift-JIS to UTF-8.
char* sjis_to_utf8(const char* text);

// convert() from the named encoding to Shift-JIS.
char* x_to_sjis(const char* text, const char* encoding);

// In place: every 0x0E becomes 0x0A (game line breaks to line feeds).
void glines_to_nlines(char* text);

// In place: every 0x0A becomes 0x0E (line feeds to game line breaks).
void nlines_to_glines(char* text);

// Replaces every occurrence of search (non-empty) in text, a malloc'd
// string. Returns the text itself when nothing matched, otherwise a new
// malloc'd buffer (the old one is freed). Inserted replacements are never
// scanned again. Null when memory runs out (the text is freed then too).
// Used by the translation to fill in the player-name placeholders.
char* replace_string(char* text, const char* search, const char* replacement);

#endif
