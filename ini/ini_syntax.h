// The byte-level rules of the INI syntax that the files of IniFile share:
// what a blank is, how names compare, how a key line splits into name and
// value. Used only inside ini/.
#ifndef TALVO_INI_INI_SYNTAX_H
#define TALVO_INI_INI_SYNTAX_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace talvo {
namespace ini_syntax {

// Only control characters and the space are blanks: bytes from 0x80 up are
// parts of UTF-8 characters and must survive at the edges of values.
inline bool is_blank(unsigned char c) { return c >= 1 && c <= 32; }

inline char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline bool equal_nocase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (ascii_lower(*a) != ascii_lower(*b)) return false;
  }
  return *a == *b;
}

inline bool equal_nocase_n(const char* a, size_t a_len, const char* b) {
  for (size_t i = 0; i < a_len; ++i) {
    if (b[i] == '\0' || ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return b[a_len] == '\0';
}

inline std::string lower_name(const char* s, size_t n) {
  std::string out(s, n);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

inline void out_of_memory() { std::fputs("Out of memory.\n", stderr); }

// Splits a key line (comments and trailing blanks already removed) into the
// key name (its first name_len bytes) and the raw value. False for any other
// line.
inline bool split_key_line(const char* line, size_t* name_len, const char** value) {
  size_t len = std::strlen(line);
  if (len < 3 || line[0] == '[') return false;
  const char* eq = std::strchr(line, '=');
  if (eq == nullptr || eq == line) return false;
  size_t n = static_cast<size_t>(eq - line);
  while (n > 0 && is_blank(static_cast<unsigned char>(line[n - 1]))) --n;
  const char* v = eq + 1;
  while (is_blank(static_cast<unsigned char>(*v))) ++v;
  *name_len = n;
  *value = v;
  return true;
}

inline char* malloc_copy(const char* s) {
  size_t n = std::strlen(s);
  char* out = static_cast<char*>(std::malloc(n + 1));
  if (out != nullptr) std::memcpy(out, s, n + 1);
  return out;
}

}  // namespace ini_syntax
}  // namespace talvo

#endif
