// IniFile, sections and their index: finding and adding a section, and the
// index of the keys of the section found last.
//
// Lookups follow the line-by-line reading rules exactly. To keep a dump of
// thousands of keys linear, the lines of the section found last are indexed
// once (key name -> first line holding it) and the index is kept exact while
// lines are inserted; any other change of the bytes drops it and the next
// query reads the section again.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ini/ini_file.h"
#include "ini/ini_syntax.h"
#include "util/guards.h"

namespace talvo {

using ini_syntax::equal_nocase;
using ini_syntax::equal_nocase_n;
using ini_syntax::is_blank;
using ini_syntax::lower_name;
using ini_syntax::malloc_copy;
using ini_syntax::out_of_memory;
using ini_syntax::split_key_line;

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

}  // namespace talvo
