// IniFile, the document as a whole: its bytes in one buffer that grows
// geometrically, replaced, handed out, resized, and edited by inserting or
// removing bytes. Every remembered place in the buffer is an offset, so
// growth never invalidates one. Lines, sections and their index, and values
// live in the other ini_file_*.cpp files of the class.
#include "ini/ini_file.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ini/ini_syntax.h"

namespace talvo {

using ini_syntax::out_of_memory;

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

}  // namespace talvo
