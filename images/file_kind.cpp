#include "images/file_kind.h"

#include <cstring>

#include "images/lzss.h"
#include "util/byte_order.h"

namespace {

// The picture kind whose signature starts at p (at least four bytes), or kOther.
FileKind picture_kind(const unsigned char* p) {
  if (std::memcmp(p, "DC", 2) == 0) return FileKind::kDc;
  if (std::memcmp(p, "PP", 2) == 0) return FileKind::kPp;
  if (std::memcmp(p, "pp", 2) == 0) return FileKind::kPp4;
  if (std::memcmp(p, "mato", 4) == 0) return FileKind::kMato;
  return FileKind::kOther;
}

// True when a stream of stream_size bytes can decode to length bytes: a
// unit of the stream is one byte (plus its flag bit) and decodes to one
// literal, or two bytes to at most 18.
bool plausible_lzss(uint32_t length, uint64_t stream_size) {
  if (length == 0 || length > kLzssMaxUncompressedSize || stream_size == 0) return false;
  return stream_size <= length + length / 8 + 1 && length <= stream_size * 9;
}

}  // namespace

FileKind file_kind(const unsigned char* head, size_t head_size, uint64_t file_size) {
  if (head_size >= 6 && std::memcmp(head, "scn\0", 4) == 0 &&
      talvo::read_le16(head + 4) == file_size) {
    return FileKind::kScn;
  }
  if (head_size < kFileKindHeadSize) return FileKind::kOther;
  FileKind plain = picture_kind(head);
  if (plain != FileKind::kOther) return plain;
  switch (picture_kind(head + 5)) {
    case FileKind::kDc: return FileKind::kLzssDc;
    case FileKind::kPp: return FileKind::kLzssPp;
    case FileKind::kPp4: return FileKind::kLzssPp4;
    case FileKind::kMato: return FileKind::kLzssMato;
    default: break;
  }
  return plausible_lzss(talvo::read_le32(head), file_size - 4) ? FileKind::kLzss : FileKind::kOther;
}

const char* file_kind_name(FileKind kind) {
  switch (kind) {
    case FileKind::kScn: return "scn day file";
    case FileKind::kDc: return "DC";
    case FileKind::kPp: return "PP";
    case FileKind::kPp4: return "pp";
    case FileKind::kMato: return "mato";
    case FileKind::kLzss: return "LZSS";
    case FileKind::kLzssDc: return "LZSS DC";
    case FileKind::kLzssPp: return "LZSS PP";
    case FileKind::kLzssPp4: return "LZSS pp";
    case FileKind::kLzssMato: return "LZSS mato";
    case FileKind::kOther: break;
  }
  return "other";
}
