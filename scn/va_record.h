// The VA record of a scn file: the 15-byte entry of the VA area that makes
// one spoken line, its layout and its reader. The scn model locates and
// rewrites its entries through these; the table derivation reads the records
// of a VA area with the same reader.
#ifndef TALVO_SCN_VA_RECORD_H
#define TALVO_SCN_VA_RECORD_H

#include <cstdint>

namespace talvo {

// Record r of a VA area lies at va_start + kVARecordSize * r. Its bytes 0-1
// point at the text, 5-6 at the voice name, and byte 8 holds the actor code;
// the pointers are little-endian u16.
constexpr int kVARecordSize = 15;
constexpr int kVATextPointer = 0;
constexpr int kVANamePointer = 5;
constexpr int kVAActor = 8;
// A record is usable up to its actor byte.
constexpr int kVARecordUsedBytes = kVAActor + 1;
// A voice name: 'V', a letter, two digits, a letter, three digits.
constexpr int kVANameLength = 8;

// One VA entry as located in an image.
struct VAType {
  const char* name;        // not owned, except where a function says otherwise
  uint16_t name_offset;    // offset of the name string
  uint16_t text_offset;    // offset of the text string
  uint16_t name_p_offset;  // position of the name pointer (p_offset + kVANamePointer)
  uint16_t p_offset;       // position of the record, which starts with the text pointer
  uint8_t actor;           // the record's actor byte
};

// Reads record `index` of the VA area at `va_start` of the `size` bytes at
// `data` into *va (name null). False, *va untouched, when data is null,
// va_start is 0, index is negative or the record's used bytes leave the image.
bool read_va_record(const unsigned char* data, uint32_t size, uint32_t va_start, int index,
                    VAType* va);

}  // namespace talvo

#endif
