// What the files of Iso9660Filesystem share and nothing outside iso/ uses:
// the owner of a record copy, and how a volume descriptor is told apart
// (which ones carry a volume size and a root, which one is the Joliet tree).
#ifndef TALVO_ISO_ISO9660_INTERNAL_H
#define TALVO_ISO_ISO9660_INTERNAL_H

#include <cstdint>
#include <cstring>
#include <memory>

#include "iso/iso9660_filesystem.h"
#include "util/byte_order.h"
#include "util/guards.h"

namespace iso9660_internal {

// Owns a record copy until it is handed on.
using RecordPtr = std::unique_ptr<Iso9660DirectoryRecord, talvo::FreeDeleter>;

inline bool is_volume_descriptor(const unsigned char* d, unsigned char type) {
  return d[0] == type && memcmp(d + 1, "CD001", 5) == 0;
}

const unsigned kEscapeSequencesOffset = 88;
const unsigned kEscapeSequencesSize = 32;

// A supplementary descriptor (version 1; version 2 is the enhanced one) whose
// escape sequences name one of the three UCS-2 levels.
inline bool is_joliet_descriptor(const unsigned char* d) {
  if (!is_volume_descriptor(d, 2) || d[6] != 1) return false;
  const unsigned char* escapes = d + kEscapeSequencesOffset;
  for (unsigned i = 0; i + 3 <= kEscapeSequencesSize; ++i) {
    if (escapes[i] == '%' && escapes[i + 1] == '/' &&
        (escapes[i + 2] == '@' || escapes[i + 2] == 'C' || escapes[i + 2] == 'E')) {
      return true;
    }
  }
  return false;
}

// Primary, supplementary and enhanced descriptors hold a volume space size
// and a root directory; boot records, partition descriptors and the
// terminator do not.
inline bool carries_volume_space(const unsigned char* d) {
  return is_volume_descriptor(d, 1) || is_volume_descriptor(d, 2);
}

inline uint32_t root_extent(const unsigned char* d) {
  return talvo::read_le32(d + kIsoRootRecordOffset + 2);
}

}  // namespace iso9660_internal

#endif
