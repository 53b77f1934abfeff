// IniFile, values: raw, integer, string and boolean values read from and
// added to a section, the string escapes, and removing a key's line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ini/ini_file.h"
#include "ini/ini_syntax.h"
#include "util/guards.h"

namespace talvo {
namespace {

// A backslash in a text is written doubled only where it would otherwise be
// read as the start of an escape; everywhere else it stays a single byte.
bool backslash_needs_doubling(const char* next, bool quote) {
  char c = *next;
  if (c == '\0') return quote;  // it would escape the closing quote
  return c == '\\' || c == 'n' || c == '"' || c == '\'' || c == '\n';
}

}  // namespace

using ini_syntax::equal_nocase;
using ini_syntax::is_blank;
using ini_syntax::out_of_memory;

char* IniFile::GetRawValue(const char* section, const char* key) {
  bool section_found = false;
  const KeyLine* found = nullptr;
  if (!FindKey(section, key, &section_found, &found)) return nullptr;
  char line[kMaxLine + 1];
  uint32_t start = 0, next = 0, copied = 0;
  ScanLine(found->line_start, line, &start, &next, &copied);
  RemoveComments(line);
  RemoveEndSpaces(line);
  return GetValueData(line);
}

bool IniFile::SetRawValue(const char* section, const char* key, const char* value,
                          bool modify_only) {
  if (section == nullptr || key == nullptr || value == nullptr) return false;
  bool section_found = false;
  const KeyLine* found = nullptr;
  if (FindKey(section, key, &section_found, &found)) {
    std::fputs("Modification of value currently not implemented.\n", stderr);
    return false;
  }
  if (!section_found || modify_only) return false;
  size_t key_length = std::strlen(key);
  size_t value_length = std::strlen(value);
  if (key_length > UINT32_MAX / 2 || value_length > UINT32_MAX / 2) {
    out_of_memory();
    return false;
  }
  MallocBuffer text = malloc_buffer(key_length + value_length + 4);
  if (!text) {
    out_of_memory();
    return false;
  }
  char* t = reinterpret_cast<char*>(text.get());
  std::memcpy(t, key, key_length);
  std::memcpy(t + key_length, " = ", 3);
  std::memcpy(t + key_length + 3, value, value_length + 1);
  cursor = index.last ? length : index.tail;
  return WriteLine(t);
}

bool IniFile::GetIntegerValue(const char* section, const char* key, int* value) {
  if (value == nullptr) return false;
  MallocBuffer raw(reinterpret_cast<unsigned char*>(GetRawValue(section, key)));
  if (!raw) return false;
  long long parsed = std::strtoll(reinterpret_cast<const char*>(raw.get()), nullptr, 0);
  // Wrap to 32 bits so that "0x%x" of a negative number reads back as itself.
  *value = static_cast<int>(static_cast<uint32_t>(static_cast<unsigned long long>(parsed)));
  return true;
}

bool IniFile::SetIntegerValue(const char* section, const char* key, int value, bool modify_only,
                              bool hex) {
  char text[24];
  if (hex) {
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned int>(value));
  } else {
    std::snprintf(text, sizeof text, "%d", value);
  }
  return SetRawValue(section, key, text, modify_only);
}

char* IniFile::GetStringValue(const char* section, const char* key) {
  char* v = GetRawValue(section, key);
  if (v == nullptr) return nullptr;
  size_t len = std::strlen(v);
  char quote = (v[0] == '"' || v[0] == '\'') ? v[0] : '\0';
  int escapes = 0;
  for (size_t i = 0; i + 1 < len; ++i) {
    if (v[i] == '\\') {
      char d = v[i + 1];
      if (d == 'n' || d == '"' || d == '\'' || d == '\\') {
        ++escapes;
        ++i;
      }
    }
  }
  if (quote == '\0' && escapes == 0) return v;
  MallocBuffer guard(reinterpret_cast<unsigned char*>(v));
  char* out = static_cast<char*>(std::malloc(len + 1));
  if (out == nullptr) {
    out_of_memory();
    return nullptr;
  }
  size_t i = quote != '\0' ? 1 : 0;
  size_t o = 0;
  bool closed = false;
  size_t close_at = 0;
  while (i < len) {
    char c = v[i];
    if (quote != '\0' && c == quote) {
      closed = true;
      close_at = i;
      break;
    }
    if (i + 1 < len && c == '\\') {
      char d = v[i + 1];
      if (d == 'n') {
        out[o++] = '\n';
        i += 2;
        continue;
      }
      if (d == '"' || d == '\'' || d == '\\') {
        out[o++] = d;
        i += 2;
        continue;
      }
    }
    out[o++] = c;
    ++i;
  }
  out[o] = '\0';
  if (closed) {
    if (close_at + 1 < len && !is_blank(static_cast<unsigned char>(v[close_at + 1]))) {
      std::fprintf(stderr,
                   "Warning: possible unintended bad use of quotes without \"\\\" prepended in "
                   "%s:%s.\n",
                   section, key);
    }
  } else if (quote != '\0') {
    std::fprintf(stderr, "Warning: unclosed quotes at %s:%s.\n", section, key);
  }
  return out;
}

bool IniFile::SetStringValue(const char* section, const char* key, const char* value,
                             bool modify_only, bool quote) {
  if (value == nullptr) return false;
  size_t len = std::strlen(value);
  if (len > (UINT32_MAX - 3) / 2) {
    out_of_memory();
    return false;
  }
  MallocBuffer encoded = malloc_buffer(len * 2 + 3);
  if (!encoded) {
    out_of_memory();
    return false;
  }
  char* e = reinterpret_cast<char*>(encoded.get());
  size_t o = 0;
  if (quote) e[o++] = '"';
  for (size_t i = 0; i < len; ++i) {
    char c = value[i];
    if (c == '\n') {
      e[o++] = '\\';
      e[o++] = 'n';
    } else if (c == '"') {
      e[o++] = '\\';
      e[o++] = '"';
    } else if (c == '\\' && backslash_needs_doubling(value + i + 1, quote)) {
      e[o++] = '\\';
      e[o++] = '\\';
    } else {
      e[o++] = c;
    }
  }
  if (quote) e[o++] = '"';
  e[o] = '\0';
  return SetRawValue(section, key, e, modify_only);
}

bool IniFile::GetBooleanValue(const char* section, const char* key, bool default_value) {
  MallocBuffer value(reinterpret_cast<unsigned char*>(GetStringValue(section, key)));
  if (!value) return default_value;
  const char* v = reinterpret_cast<const char*>(value.get());
  if (equal_nocase(v, "true")) return true;
  if (*v == '\0' || equal_nocase(v, "false")) return false;
  return default_value;
}

bool IniFile::SetBooleanValue(const char* section, const char* key, bool value, bool modify_only) {
  return SetRawValue(section, key, value ? "true" : "false", modify_only);
}

bool IniFile::RemoveValue(const char* section, const char* key, bool comment_out) {
  bool section_found = false;
  const KeyLine* found = nullptr;
  if (!FindKey(section, key, &section_found, &found)) return false;
  KeyLine k = *found;
  // The key's line changes inside; its index entry would be stale.
  DropIndex();
  if (comment_out) {
    if (!InsertAt(k.line_start, ";", 1)) return false;
    cursor = k.line_end + 1;
    return true;
  }
  char line[kMaxLine + 1];
  uint32_t start = 0, next = 0, copied = 0;
  ScanLine(k.line_start, line, &start, &next, &copied);
  uint32_t end = start + copied;
  while (end > start && is_blank(buffer[end - 1])) --end;
  cursor = k.line_end;
  RemoveAt(start, end - start);
  return true;
}

}  // namespace talvo
