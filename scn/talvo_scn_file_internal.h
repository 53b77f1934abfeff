// What the source files of TalvoScnFile share and nobody else needs: the
// scn header's size and two small string helpers. Include only from scn/.
#ifndef TALVO_SCN_TALVO_SCN_FILE_INTERNAL_H
#define TALVO_SCN_TALVO_SCN_FILE_INTERNAL_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace talvo {
namespace scn_internal {

// Signature and length field: a smaller image has no header to keep, and
// nothing but the container itself may write into these bytes.
constexpr uint32_t kHeaderSize = 6;

inline bool same(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

// A malloc'd, zero-terminated copy of len bytes at p; null when out of memory.
inline char* dup_bytes(const unsigned char* p, size_t len) {
  char* s = static_cast<char*>(std::malloc(len + 1));
  if (!s) return nullptr;
  std::memcpy(s, p, len);
  s[len] = 0;
  return s;
}

}  // namespace scn_internal
}  // namespace talvo

#endif
