#include "scn/va_record.h"

#include "util/byte_order.h"

namespace talvo {

bool read_va_record(const unsigned char* data, uint32_t size, uint32_t va_start, int index,
                    VAType* va) {
  if (!data || va_start == 0 || index < 0) return false;
  uint64_t r = va_start + static_cast<uint64_t>(kVARecordSize) * static_cast<uint64_t>(index);
  if (r + kVARecordUsedBytes > size) return false;
  va->name = nullptr;
  va->p_offset = static_cast<uint16_t>(r);
  va->name_p_offset = static_cast<uint16_t>(r + kVANamePointer);
  va->text_offset = read_le16(data + r + kVATextPointer);
  va->name_offset = read_le16(data + r + kVANamePointer);
  va->actor = data[r + kVAActor];
  return true;
}

}  // namespace talvo
