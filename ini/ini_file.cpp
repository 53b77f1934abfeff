// IniFile: line reading, section and key lookup, and in-place edits of one
// INI document held as bytes.
//
// Lookups follow the line-by-line reading rules exactly. To keep a dump of
// thousands of keys linear, the lines of the section found last are indexed
// once (key name -> first line holding it) and the index is kept exact while
// lines are inserted; any other change of the bytes drops it and the next
// query reads the section again. The buffer grows geometrically and every
// remembered place in it is an offset, so growth never invalidates one.
#include "ini/ini_file.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "util/guards.h"

namespace talvo {
namespace {

// Only control characters and the space are blanks: bytes from 0x80 up are
// parts of UTF-8 characters and must survive at the edges of values.
bool is_blank(unsigned char c) { return c >= 1 && c <= 32; }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool equal_nocase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (ascii_lower(*a) != ascii_lower(*b)) return false;
  }
  return *a == *b;
}

bool equal_nocase_n(const char* a, size_t a_len, const char* b) {
  for (size_t i = 0; i < a_len; ++i) {
    if (b[i] == '\0' || ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return b[a_len] == '\0';
}

std::string lower_name(const char* s, size_t n) {
  std::string out(s, n);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

void out_of_memory() { std::fputs("Out of memory.\n", stderr); }

// Splits a key line (comments and trailing blanks already removed) into the
// key name (its first name_len bytes) and the raw value. False for any other
// line.
bool split_key_line(const char* line, size_t* name_len, const char** value) {
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

char* malloc_copy(const char* s) {
  size_t n = std::strlen(s);
  char* out = static_cast<char*>(std::malloc(n + 1));
  if (out != nullptr) std::memcpy(out, s, n + 1);
  return out;
}

// A backslash in a text is written doubled only where it would otherwise be
// read as the start of an escape; everywhere else it stays a single byte.
bool backslash_needs_doubling(const char* next, bool quote) {
  char c = *next;
  if (c == '\0') return quote;  // it would escape the closing quote
  return c == '\\' || c == 'n' || c == '"' || c == '\'' || c == '\n';
}

}  // namespace

IniFile::IniFile()
    : buffer(nullptr),
      length(0),
      cursor(0),
      cached_section(nullptr),
      cached_position(0),
      line_start(0),
      capacity(0) {}

IniFile::~IniFile() {
  std::free(buffer);
  std::free(cached_section);
}

// ---- Document as a whole ----

bool IniFile::SetData(const void* data, unsigned int new_length) {
  unsigned char* copy = nullptr;
  if (data != nullptr && new_length != 0) {
    copy = static_cast<unsigned char*>(std::malloc(new_length));
    if (copy == nullptr) {
      out_of_memory();
      return false;
    }
    std::memcpy(copy, data, new_length);
  } else {
    new_length = 0;
  }
  std::free(buffer);
  buffer = copy;
  length = new_length;
  capacity = new_length;
  cursor = 0;
  std::free(cached_section);
  cached_section = nullptr;
  cached_position = 0;
  line_start = 0;
  DropIndex();
  return true;
}

unsigned char* IniFile::GetData(bool copy, unsigned int* length_out) {
  if (length_out == nullptr) return nullptr;
  *length_out = 0;
  if (length == 0 || buffer == nullptr) return nullptr;
  if (!copy) {
    // The caller may write through the pointer; the index cannot follow that.
    DropIndex();
    *length_out = length;
    return buffer;
  }
  unsigned char* out = static_cast<unsigned char*>(std::malloc(length));
  if (out == nullptr) return nullptr;
  std::memcpy(out, buffer, length);
  *length_out = length;
  return out;
}

bool IniFile::Reserve(uint32_t new_length) {
  if (new_length <= capacity) return true;
  uint64_t want = static_cast<uint64_t>(capacity) * 2;
  if (want < new_length) want = new_length;
  if (want < 256) want = 256;
  if (want > UINT32_MAX) want = UINT32_MAX;
  void* grown = std::realloc(buffer, want);
  if (grown == nullptr && want > new_length) {
    want = new_length;
    grown = std::realloc(buffer, want);
  }
  if (grown == nullptr) {
    out_of_memory();
    return false;
  }
  buffer = static_cast<unsigned char*>(grown);
  capacity = static_cast<uint32_t>(want);
  return true;
}

bool IniFile::Resize(unsigned int new_length) {
  DropIndex();
  if (new_length <= length) {
    length = new_length;
    return true;
  }
  if (!Reserve(new_length)) return false;
  std::memset(buffer + length, 0, new_length - length);
  length = new_length;
  return true;
}

bool IniFile::Increase(unsigned int n, unsigned char** first_new) {
  if (n > UINT32_MAX - length) {
    out_of_memory();
    return false;
  }
  uint32_t old_length = length;
  if (!Resize(old_length + n)) return false;
  if (first_new != nullptr) *first_new = buffer != nullptr ? buffer + old_length : nullptr;
  return true;
}

bool IniFile::InsertAt(uint32_t pos, const char* bytes, uint32_t n) {
  if (pos > length) pos = length;
  if (pos < BodyStart()) pos = BodyStart();
  if (n > UINT32_MAX - length) {
    out_of_memory();
    return false;
  }
  if (!Reserve(length + n)) return false;
  std::memmove(buffer + pos + n, buffer + pos, length - pos);
  std::memcpy(buffer + pos, bytes, n);
  length += n;
  // The cached section keeps pointing at the same line.
  if (cached_section != nullptr && pos < cached_position) cached_position += n;
  NoteInsert(pos, n);
  return true;
}

void IniFile::RemoveAt(uint32_t pos, uint32_t n) {
  if (pos >= length) return;
  if (n > length - pos) n = length - pos;
  std::memmove(buffer + pos, buffer + pos + n, length - pos - n);
  length -= n;
  auto follow = [pos, n](uint32_t& p) {
    if (p > pos) p = p >= pos + n ? p - n : pos;
  };
  follow(cursor);
  if (cached_section != nullptr) follow(cached_position);
  DropIndex();
}

// ---- Line level ----

uint32_t IniFile::BodyStart() const {
  return length >= 3 && buffer[0] == 0xEF && buffer[1] == 0xBB && buffer[2] == 0xBF ? 3 : 0;
}

bool IniFile::ScanLine(uint32_t pos, char* out, uint32_t* start, uint32_t* next,
                       uint32_t* copied) const {
  if (pos >= length) return false;
  if (pos < BodyStart()) pos = BodyStart();
  while (pos < length && is_blank(buffer[pos])) ++pos;
  *start = pos;
  // After kMaxLine bytes the cursor stays on the next byte: the rest of the
  // line is read as a line of its own.
  uint32_t n = 0;
  while (n < kMaxLine && pos < length) {
    unsigned char c = buffer[pos];
    if (c == '\n') {
      ++pos;
      break;
    }
    if (c == '\r' && pos + 1 < length && buffer[pos + 1] == '\n') {
      pos += 2;
      break;
    }
    out[n++] = static_cast<char>(c);
    ++pos;
  }
  out[n] = '\0';
  RemoveEndSpaces(out);
  *next = pos;
  *copied = n;
  return true;
}

char* IniFile::ReadLine() {
  if (cursor >= length) return nullptr;
  char* line = new (std::nothrow) char[kMaxLine + 1];
  if (line == nullptr) {
    out_of_memory();
    return nullptr;
  }
  uint32_t start = 0, next = 0, copied = 0;
  ScanLine(cursor, line, &start, &next, &copied);
  line_start = start;
  cursor = next;
  return line;
}

bool IniFile::WriteLine(const char* line) {
  if (line == nullptr) return false;
  size_t line_length = std::strlen(line);
  if (line_length > UINT32_MAX - 4) {
    out_of_memory();
    return false;
  }
  uint32_t pos = cursor > length ? length : cursor;
  if (pos < BodyStart()) pos = BodyStart();
  // A last line without a line break would swallow the new line.
  bool end_last_line = pos == length && length > BodyStart() && buffer[length - 1] != '\n';
  uint32_t total = static_cast<uint32_t>(line_length) + 2 + (end_last_line ? 2 : 0);
  MallocBuffer bytes = malloc_buffer(total);
  if (!bytes) {
    out_of_memory();
    return false;
  }
  unsigned char* p = bytes.get();
  if (end_last_line) {
    *p++ = '\r';
    *p++ = '\n';
  }
  std::memcpy(p, line, line_length);
  p[line_length] = '\r';
  p[line_length + 1] = '\n';
  if (end_last_line) DropIndex();
  if (!InsertAt(pos, reinterpret_cast<const char*>(bytes.get()), total)) return false;
  cursor = pos + total;
  return true;
}

bool IniFile::WriteRawLine(const char* line) { return WriteLine(line); }

bool IniFile::WriteRawLineAt(const char* section, const char* line) {
  if (line == nullptr || !FindSection(section)) return false;
  return WriteLine(line);
}

bool IniFile::WriteRawLineAt(const char* section, const char* key, const char* line) {
  if (line == nullptr) return false;
  bool section_found = false;
  const KeyLine* found = nullptr;
  if (!FindKey(section, key, &section_found, &found)) return false;
  // At the key's first non-blank byte, where RemoveValue edits the line too:
  // the key's indentation stays in front of the inserted line.
  cursor = found->line_start;
  return WriteLine(line);
}

void IniFile::RemoveComments(char* line) {
  if (line == nullptr) return;
  bool in_double = false;
  bool in_single = false;
  for (size_t i = 0; line[i] != '\0'; ++i) {
    char c = line[i];
    bool escaped = i > 0 && line[i - 1] == '\\';
    if (c == '"' && !escaped) {
      if (!in_single) in_double = !in_double;
    } else if (c == '\'' && !escaped) {
      if (!in_double) in_single = !in_single;
    } else if ((c == ';' || c == '#') && !in_double && !in_single) {
      line[i] = '\0';
      return;
    }
  }
}

void IniFile::RemoveEndSpaces(char* line) {
  if (line == nullptr) return;
  size_t n = std::strlen(line);
  while (n > 0 && is_blank(static_cast<unsigned char>(line[n - 1]))) --n;
  line[n] = '\0';
}

bool IniFile::IsSection(const char* line) {
  if (line == nullptr) return false;
  size_t n = std::strlen(line);
  return n >= 3 && line[0] == '[' && line[n - 1] == ']';
}

char* IniFile::GetValueName(const char* line) {
  size_t name_length = 0;
  const char* value = nullptr;
  if (line == nullptr || !split_key_line(line, &name_length, &value)) return nullptr;
  char* name = new (std::nothrow) char[name_length + 1];
  if (name == nullptr) return nullptr;
  std::memcpy(name, line, name_length);
  name[name_length] = '\0';
  return name;
}

char* IniFile::GetValueData(const char* line) {
  size_t name_length = 0;
  const char* value = nullptr;
  if (line == nullptr || !split_key_line(line, &name_length, &value) || *value == '\0') return nullptr;
  return malloc_copy(value);
}

int IniFile::NumChars(const char* s, char c) {
  if (s == nullptr) return 0;
  int count = 0;
  for (; *s; ++s) {
    if (*s == c) ++count;
  }
  return count;
}

int IniFile::NumStrings(const char* s, const char* sub) {
  if (s == nullptr || sub == nullptr || *sub == '\0') return 0;
  size_t step = std::strlen(sub);
  int count = 0;
  for (const char* p = std::strstr(s, sub); p != nullptr; p = std::strstr(p + step, sub)) ++count;
  return count;
}

// ---- Section index ----

void IniFile::NoteInsert(uint32_t pos, uint32_t n) {
  if (!index.valid) return;
  if (pos < index.body) {
    DropIndex();
    return;
  }
  if (pos > index.end) return;  // behind the section's end: nothing moves inside it

  // Lines at or after the insertion move up; a line whose leading blanks were
  // split is now read from just after the inserted bytes.
  if (index.any_key && pos <= index.max_line_start) {
    for (auto& entry : index.keys) {
      KeyLine& k = entry.second;
      if (pos <= k.line_start) {
        k.read_start = (k.read_start > pos ? k.read_start : pos) + n;
        k.line_start += n;
        k.line_end += n;
      }
    }
    index.max_line_start += n;
  }
  uint32_t old_tail = index.tail;
  if (!index.last && pos < index.tail) index.tail += n;
  index.end += n;
  index.stop += n;

  // Read the inserted lines themselves.
  char line[kMaxLine + 1];
  uint32_t p = pos;
  while (p < pos + n) {
    uint32_t start = 0, next = 0, copied = 0;
    if (!ScanLine(p, line, &start, &next, &copied) || copied == 0 || start >= pos + n) break;
    RemoveComments(line);
    RemoveEndSpaces(line);
    if (IsSection(line)) {
      // The section was split; read it again when next asked.
      DropIndex();
      return;
    }
    if (!index.last && pos >= old_tail) index.tail = next;
    size_t name_length = 0;
    const char* value = nullptr;
    if (split_key_line(line, &name_length, &value) && *value != '\0') {
      KeyLine k{p, start, next};
      auto it = index.keys.find(lower_name(line, name_length));
      if (it == index.keys.end()) {
        index.keys.emplace(lower_name(line, name_length), k);
      } else if (it->second.line_start > start) {
        it->second = k;
      }
      if (!index.any_key || start > index.max_line_start) index.max_line_start = start;
      index.any_key = true;
    }
    p = next;
  }
}

bool IniFile::BuildIndex() {
  DropIndex();
  index.body = cached_position;
  index.tail = cached_position;
  index.any_key = false;
  index.max_line_start = 0;
  char line[kMaxLine + 1];
  uint32_t p = cached_position;
  for (;;) {
    uint32_t start = 0, next = 0, copied = 0;
    if (!ScanLine(p, line, &start, &next, &copied) || copied == 0) {
      index.last = true;
      index.end = length;
      index.stop = length;
      break;
    }
    RemoveComments(line);
    RemoveEndSpaces(line);
    if (IsSection(line)) {
      index.last = false;
      index.end = start;
      index.stop = next;
      break;
    }
    index.tail = next;
    size_t name_length = 0;
    const char* value = nullptr;
    if (split_key_line(line, &name_length, &value) && *value != '\0') {
      // emplace keeps the first line of a name.
      index.keys.emplace(lower_name(line, name_length), KeyLine{p, start, next});
      index.max_line_start = start;
      index.any_key = true;
    }
    p = next;
  }
  index.valid = true;
  return true;
}

bool IniFile::FindKey(const char* section, const char* key, bool* section_found,
                      const KeyLine** found) {
  *found = nullptr;
  *section_found = false;
  if (key == nullptr || !FindSection(section)) return false;
  *section_found = true;
  if (!index.valid || index.body != cached_position) BuildIndex();
  auto it = index.keys.find(lower_name(key, std::strlen(key)));
  if (it == index.keys.end()) {
    // A line-by-line search ends after the next header (or at the end).
    cursor = index.stop;
    return false;
  }
  cursor = it->second.line_end;
  *found = &it->second;
  return true;
}

// ---- Sections and values ----

bool IniFile::FindSection(const char* name) {
  if (name == nullptr) return false;
  if (length == 0) {
    std::free(cached_section);
    cached_section = nullptr;
    DropIndex();
    return false;
  }
  if (cached_section != nullptr && equal_nocase(cached_section, name)) {
    cursor = cached_position;
    return true;
  }
  std::free(cached_section);
  cached_section = nullptr;
  DropIndex();
  char line[kMaxLine + 1];
  cursor = 0;
  for (;;) {
    uint32_t start = 0, next = 0, copied = 0;
    if (!ScanLine(cursor, line, &start, &next, &copied)) {
      cursor = length;
      return false;
    }
    line_start = start;
    cursor = next;
    RemoveComments(line);
    RemoveEndSpaces(line);
    if (!IsSection(line)) continue;
    // Trim the name inside the brackets; an empty name never matches. The
    // whole name must match: "DAY_A1" is no answer to "DAY_A10".
    size_t end = std::strlen(line) - 1;
    size_t begin = 1;
    while (begin < end && is_blank(static_cast<unsigned char>(line[begin]))) ++begin;
    while (end > begin && is_blank(static_cast<unsigned char>(line[end - 1]))) --end;
    if (end == begin || !equal_nocase_n(line + begin, end - begin, name)) continue;
    cached_section = malloc_copy(name);
    cached_position = next;
    return true;
  }
}

bool IniFile::AddSection(const char* name) {
  if (name == nullptr) return false;
  if (FindSection(name)) return true;
  size_t n = std::strlen(name);
  MallocBuffer header = malloc_buffer(n + 3);
  if (!header) {
    out_of_memory();
    return false;
  }
  char* h = reinterpret_cast<char*>(header.get());
  h[0] = '[';
  std::memcpy(h + 1, name, n);
  h[n + 1] = ']';
  h[n + 2] = '\0';
  cursor = length;
  return WriteLine(h);
}

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
