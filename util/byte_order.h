// Byte-order readers and writers: the one place that turns bytes into numbers.
// The game's images are big-endian, scn files, LZSS headers and BMP files are
// little-endian, and ISO 9660 records carry both orders side by side. Every
// module decodes and encodes through these; none shifts bytes by hand.
#ifndef TALVO_UTIL_BYTE_ORDER_H
#define TALVO_UTIL_BYTE_ORDER_H

#include <cstdint>

namespace talvo {

inline uint16_t read_le16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline uint32_t read_le32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline uint16_t read_be16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

inline uint32_t read_be32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
         (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
}

inline void write_le16(void* p, uint16_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
}

inline void write_le32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
  b[2] = static_cast<uint8_t>(v >> 16);
  b[3] = static_cast<uint8_t>(v >> 24);
}

inline uint64_t read_le64(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint64_t>(read_le32(b)) | (static_cast<uint64_t>(read_le32(b + 4)) << 32);
}

inline void write_le64(void* p, uint64_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  write_le32(b, static_cast<uint32_t>(v));
  write_le32(b + 4, static_cast<uint32_t>(v >> 32));
}

inline void write_be16(void* p, uint16_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v >> 8);
  b[1] = static_cast<uint8_t>(v);
}

inline void write_be32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v >> 24);
  b[1] = static_cast<uint8_t>(v >> 16);
  b[2] = static_cast<uint8_t>(v >> 8);
  b[3] = static_cast<uint8_t>(v);
}

// ISO 9660 "both-byte-order" fields: the little-endian copy first, then the
// big-endian one. Readers take the little-endian half, as every reader does.
inline uint16_t read_both16(const void* p) { return read_le16(p); }
inline uint32_t read_both32(const void* p) { return read_le32(p); }

inline void write_both16(void* p, uint16_t v) {
  write_le16(p, v);
  write_be16(static_cast<uint8_t*>(p) + 2, v);
}

inline void write_both32(void* p, uint32_t v) {
  write_le32(p, v);
  write_be32(static_cast<uint8_t*>(p) + 4, v);
}

}  // namespace talvo

#endif
