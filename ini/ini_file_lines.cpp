// IniFile, lines: reading the line at a place (blanks, CR LF, the 2047-byte
// cut, a leading byte order mark), writing a line at the cursor, and the
// syntax rules as operations on one line.
#include <cstdint>
#include <cstring>
#include <new>

#include "ini/ini_file.h"
#include "ini/ini_syntax.h"
#include "util/guards.h"

namespace talvo {

using ini_syntax::is_blank;
using ini_syntax::malloc_copy;
using ini_syntax::out_of_memory;
using ini_syntax::split_key_line;

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

}  // namespace talvo
