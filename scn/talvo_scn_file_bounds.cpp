// The scn model's bounded access: every string and pointer the other parts
// of TalvoScnFile read or write goes through these checks against the image.
#include "scn/talvo_scn_file.h"

#include <cstdio>
#include <cstring>

#include "scn/talvo_scn_file_internal.h"
#include "util/byte_order.h"

namespace talvo {

using scn_internal::kHeaderSize;

bool TalvoScnFile::StringLengthAt(uint32_t offset, size_t* len) const {
  if (!data || offset >= size) return false;
  const unsigned char* p = data.get() + offset;
  const void* end = std::memchr(p, 0, size - offset);
  if (!end) return false;
  *len = static_cast<size_t>(static_cast<const unsigned char*>(end) - p);
  return true;
}

bool TalvoScnFile::CheckedStringLength(uint32_t offset, size_t* len) const {
  if (StringLengthAt(offset, len)) return true;
  std::fprintf(stderr, "Error: no string at offset %u inside the scn file.\n", offset);
  return false;
}

bool TalvoScnFile::StringEqualsAt(uint32_t offset, const char* s) const {
  if (!data || !s || offset >= size) return false;
  size_t n = std::strlen(s);
  if (n >= size - offset) return false;
  return std::memcmp(data.get() + offset, s, n) == 0 && data.get()[offset + n] == 0;
}

bool TalvoScnFile::CheckPointerPosition(uint32_t pos) const {
  if (data && pos >= kHeaderSize && pos + 2 <= size) return true;
  if (pos < kHeaderSize) {
    std::fprintf(stderr, "Error: pointer position %u lies in the scn header.\n", pos);
  } else {
    std::fprintf(stderr, "Error: pointer position %u lies outside the scn file.\n", pos);
  }
  return false;
}

uint16_t TalvoScnFile::ReadU16(uint32_t pos) const { return read_le16(data.get() + pos); }

void TalvoScnFile::WriteU16(uint32_t pos, uint16_t v) { write_le16(data.get() + pos, v); }

bool TalvoScnFile::KillStrings(uint16_t offset, int count) {
  uint32_t at = offset;
  for (int i = 0; i < count; ++i) {
    size_t len;
    if (!CheckedStringLength(at, &len)) return false;
    at += static_cast<uint32_t>(len) + 1;
  }
  AddDeadArea(offset, static_cast<uint16_t>(at - offset));
  return true;
}

bool TalvoScnFile::DayIs(const char* day) const { return scn_internal::same(name, day); }

}  // namespace talvo
