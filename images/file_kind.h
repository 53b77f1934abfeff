// What a file of the game disc holds, told from its first bytes: one of the
// picture formats the codecs here read (plain or LZSS-packed), a scn day
// file, or something else. The list operation names each file's kind with
// it and the bulk extraction picks its extract operation by it.
#ifndef TALVO_IMAGES_FILE_KIND_H
#define TALVO_IMAGES_FILE_KIND_H

#include <cstddef>
#include <cstdint>

enum class FileKind : uint8_t {
  kOther,
  kScn,       // "scn\0" and the file's own length in the header
  kDc,        // "DC"
  kPp,        // "PP"
  kPp4,       // "pp"
  kMato,      // "mato"
  kLzss,      // an LZSS file whose first bytes do not show what it packs
  kLzssDc,    // an LZSS file whose first literals are one of the above
  kLzssPp,
  kLzssPp4,
  kLzssMato,
};

// The bytes file_kind needs to tell every kind apart.
constexpr size_t kFileKindHeadSize = 9;

// The kind of a file of file_size bytes whose first head_size bytes (all of
// them for a shorter file) are head. A file shorter than kFileKindHeadSize is
// no picture; an LZSS file without a known signature is recognised by a
// header length that its stream can decode to.
FileKind file_kind(const unsigned char* head, size_t head_size, uint64_t file_size);

// "DC", "PP", "pp", "mato", "LZSS", "LZSS DC" ..., "scn day file", "other".
const char* file_kind_name(FileKind kind);

#endif
