// ScnBuilder: synthetic scn file images for the scn model and day-file tests
// and the synthetic game.
// An image is a fixed "script" region (header, save prompt command, VA records,
// option-group pointer rows, 0xFF filler that never reads as a pointer into the
// image) followed by strings appended back to back, as the game's files lay them
// out. Positions outside the image are reported as problems (sample::problem)
// and ignored.
//   ScnBuilder b(2000);  b.SetVAArea(400);  b.AddVA(0, "VA01X001", "text");
//   b.AddOptionGroup({100, 106, 103}, "EVA05", {"yes", "no"});  Bytes image = b.Build();
#ifndef TALVO_SAMPLE_SCN_BUILDER_H
#define TALVO_SAMPLE_SCN_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

namespace sample {

// The game's stock save prompt in Shift-JIS (16 bytes, no terminator).
extern const char kStockSavePrompt[];

class ScnBuilder {
 public:
  using Bytes = std::vector<unsigned char>;
  // "scn\0", the length field and filler (at least 6 bytes); from 90 bytes on,
  // the stock save prompt command at 72.
  explicit ScnBuilder(uint32_t script_size = 256);
  // Puts the 0x13 command and `text` with its zero at `at`; stores `at` at 70.
  void SetSavePrompt(uint16_t at, const std::string& text);
  // Append a zero-terminated string / raw bytes at the end; return the offset.
  uint16_t AppendString(const std::string& s);
  uint16_t AppendBytes(const Bytes& b);
  // Writes `s` with its zero at `at`, growing the image with filler if needed.
  void PutString(uint32_t at, const std::string& s);
  void SetU16(uint32_t pos, uint16_t value);  // little-endian, like every scn value
  void SetByte(uint32_t pos, uint8_t value);
  uint16_t GetU16(uint32_t pos) const;
  // VA area: records of 15 bytes (text pointer, name pointer at +5, actor at +8) from `start`.
  void SetVAArea(uint16_t start) { va_start_ = start; }
  uint16_t VAArea() const { return va_start_; }
  uint16_t VARecord(int index) const { return static_cast<uint16_t>(va_start_ + 15 * index); }
  void SetVARecord(int index, uint16_t text, uint16_t name, uint8_t actor = 0);
  // Appends name and text, points record `index` at them; returns the record's position.
  uint16_t AddVA(int index, const std::string& name, const std::string& text, uint8_t actor = 0);
  // Appends `name` and `texts` and stores their offsets at row[0] and row[1 + i];
  // returns the name's offset.
  uint16_t AddOptionGroup(const std::vector<uint16_t>& row, const std::string& name,
                          const std::vector<std::string>& texts);
  void PadTo(uint32_t size);  // grows the image with filler (no-op when larger)
  Bytes Build() const;  // the image with its length field set (to size & 0xFFFF)
  uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
  Bytes& bytes() { return bytes_; }

 private:
  bool Inside(uint32_t pos, uint32_t len) const;
  Bytes bytes_;
  uint16_t va_start_ = 0;
};

}  // namespace sample

#endif
