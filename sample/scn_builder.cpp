#include "sample/scn_builder.h"

#include <algorithm>
#include <string>

#include "sample/host_tools.h"

#include "util/byte_order.h"

namespace sample {

const char kStockSavePrompt[] = "\x83\x5A\x81\x5B\x83\x75\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48";

ScnBuilder::ScnBuilder(uint32_t script_size) {
  bytes_.assign(std::max(script_size, 6u), 0xFF);
  std::copy_n("scn", 4, bytes_.begin());
  if (script_size >= 90) SetSavePrompt(72, kStockSavePrompt);
}

bool ScnBuilder::Inside(uint32_t pos, uint32_t len) const {
  if (static_cast<uint64_t>(pos) + len <= bytes_.size()) return true;
  problem("ScnBuilder: position " + std::to_string(pos) + " + " + std::to_string(len) +
          " outside the image of " + std::to_string(bytes_.size()) + " bytes");
  return false;
}

void ScnBuilder::SetSavePrompt(uint16_t at, const std::string& text) {
  if (!Inside(at, static_cast<uint32_t>(text.size() + 2)) || !Inside(70, 2)) return;
  bytes_[at] = 0x13;
  PutString(at + 1u, text);
  SetU16(70, at);
}

uint16_t ScnBuilder::AppendString(const std::string& s) {
  uint16_t at = AppendBytes(Bytes(s.begin(), s.end()));
  bytes_.push_back(0);
  return at;
}

uint16_t ScnBuilder::AppendBytes(const Bytes& b) {
  uint16_t at = static_cast<uint16_t>(bytes_.size());
  bytes_.insert(bytes_.end(), b.begin(), b.end());
  return at;
}

void ScnBuilder::PutString(uint32_t at, const std::string& s) {
  PadTo(at + static_cast<uint32_t>(s.size()) + 1);
  std::copy(s.c_str(), s.c_str() + s.size() + 1, bytes_.begin() + at);
}

void ScnBuilder::SetU16(uint32_t pos, uint16_t value) {
  if (Inside(pos, 2)) talvo::write_le16(&bytes_[pos], value);
}
void ScnBuilder::SetByte(uint32_t pos, uint8_t value) {
  if (Inside(pos, 1)) bytes_[pos] = value;
}
uint16_t ScnBuilder::GetU16(uint32_t pos) const { return Inside(pos, 2) ? talvo::read_le16(&bytes_[pos]) : 0; }

void ScnBuilder::SetVARecord(int index, uint16_t text, uint16_t name, uint8_t actor) {
  uint32_t r = va_start_ + 15u * static_cast<uint32_t>(index);
  if (!Inside(r, 15)) return;
  SetU16(r, text);
  SetU16(r + 5, name);
  SetByte(r + 8, actor);
}

uint16_t ScnBuilder::AddVA(int index, const std::string& name, const std::string& text, uint8_t actor) {
  uint16_t name_at = AppendString(name);
  SetVARecord(index, AppendString(text), name_at, actor);
  return VARecord(index);
}

uint16_t ScnBuilder::AddOptionGroup(const std::vector<uint16_t>& row, const std::string& name,
                                    const std::vector<std::string>& texts) {
  if (row.size() < texts.size() + 1) {
    problem("ScnBuilder: row too short for " + name);
    return 0;
  }
  uint16_t name_at = AppendString(name);
  SetU16(row[0], name_at);
  for (size_t i = 0; i < texts.size(); ++i) SetU16(row[i + 1], AppendString(texts[i]));
  return name_at;
}

void ScnBuilder::PadTo(uint32_t size) {
  if (size > bytes_.size()) bytes_.resize(size, 0xFF);
}

ScnBuilder::Bytes ScnBuilder::Build() const {
  Bytes out = bytes_;
  talvo::write_le16(&out[4], static_cast<uint16_t>(out.size() & 0xFFFF));
  return out;
}

}  // namespace sample
