#include "translation/encoding.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/guards.h"
#include "util/text_codec.h"

char* convert(const char* text, const char* from, const char* to) {
  char* buffer = static_cast<char*>(calloc(kConvertBufferSize, 1));
  if (!buffer) return nullptr;
  // One byte stays back for the terminator: a result that fills the whole
  // buffer would come back unterminated.
  size_t length = 0;
  talvo::Transcoded result =
      talvo::transcode(text, strlen(text), from, to, buffer, kConvertBufferSize - 1, &length);
  if (result == talvo::Transcoded::kFailed) {
    free(buffer);
    return nullptr;
  }
  if (result == talvo::Transcoded::kApproximated) {
    fprintf(stderr, "Warning: non reversible conversion: %s\n", text);
  }
  return buffer;
}

char* sjis_to_utf8(const char* text) { return convert(text, "SHIFT_JIS", "UTF-8"); }

namespace {

// Characters that Windows input methods type but the JIS mapping of
// Shift-JIS lacks, with the JIS character of the same code (UTF-8 both).
const struct {
  const char* windows;
  const char* jis;
} kWindowsOnly[] = {
    {"\xEF\xBD\x9E", "\xE3\x80\x9C"},  // FULLWIDTH TILDE -> WAVE DASH (0x8160)
    {"\xE2\x88\xA5", "\xE2\x80\x96"},  // PARALLEL TO -> DOUBLE VERTICAL LINE (0x8161)
    {"\xEF\xBC\x8D", "\xE2\x88\x92"},  // FULLWIDTH HYPHEN-MINUS -> MINUS SIGN (0x817C)
};

// text in UTF-8 with the Windows-only characters replaced by their JIS
// twins (all three bytes long); null when the text does not convert or when
// it holds none of them.
char* jis_twins_in_utf8(const char* text, const char* encoding) {
  OwnedText utf8(convert(text, encoding, "UTF-8"));
  if (!utf8) return nullptr;
  bool changed = false;
  for (char* p = utf8.get(); *p; p++) {
    for (const auto& w : kWindowsOnly) {
      if (strncmp(p, w.windows, 3) == 0) {
        memcpy(p, w.jis, 3);
        changed = true;
      }
    }
  }
  return changed ? utf8.release() : nullptr;
}

}  // namespace

char* x_to_sjis(const char* text, const char* encoding) {
  char* sjis = convert(text, encoding, "SHIFT_JIS");
  if (sjis) return sjis;
  // Only a text that does not convert as it is gets the JIS twins, so every
  // text that converts keeps its bytes.
  OwnedText twins(jis_twins_in_utf8(text, encoding));
  return twins ? convert(twins.get(), "UTF-8", "SHIFT_JIS") : nullptr;
}

static void replace_byte(char* text, char from, char to) {
  for (; *text; text++) {
    if (*text == from) *text = to;
  }
}

void glines_to_nlines(char* text) { replace_byte(text, 0x0E, 0x0A); }

void nlines_to_glines(char* text) { replace_byte(text, 0x0A, 0x0E); }

char* replace_string(char* text, const char* search, const char* replacement) {
  size_t search_len = strlen(search);
  if (search_len == 0 || text[0] == 0) return text;
  size_t replacement_len = strlen(replacement);
  size_t text_len = strlen(text);
  size_t pos = 0;
  while (pos < text_len) {
    if (text_len - pos < search_len || memcmp(text + pos, search, search_len) != 0) {
      pos++;
      continue;
    }
    size_t new_len = text_len - search_len + replacement_len;
    char* replaced = static_cast<char*>(malloc(new_len + 1));
    if (!replaced) {
      free(text);
      return nullptr;
    }
    memcpy(replaced, text, pos);
    memcpy(replaced + pos, replacement, replacement_len);
    memcpy(replaced + pos + replacement_len, text + pos + search_len,
           text_len - pos - search_len + 1);
    free(text);
    text = replaced;
    text_len = new_len;
    pos += replacement_len;
  }
  return text;
}
