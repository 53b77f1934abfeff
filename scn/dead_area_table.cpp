#include "scn/dead_area_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace talvo {

DeadAreaTable::DeadAreaTable()
    : areas_(static_cast<Area*>(std::calloc(kSlots, sizeof(Area)))), total_(0) {}

void DeadAreaTable::Clear() {
  if (areas_) std::memset(areas_.get(), 0, kSlots * sizeof(Area));
  total_ = 0;
}

bool DeadAreaTable::Add(uint16_t offset, uint16_t length) {
  if (!areas_) return false;
  Area* t = areas_.get();
  for (int i = 0; i < kSlots; ++i) {
    if (t[i].offset != 0 && t[i].offset <= offset &&
        static_cast<uint32_t>(offset) + length <= static_cast<uint32_t>(t[i].offset) + t[i].length) {
      return true;
    }
  }
  for (int i = 0; i < kSlots; ++i) {
    // Both areas lie inside the image, so the joined length fits 16 bits.
    if (t[i].offset != 0 && static_cast<uint32_t>(t[i].offset) + t[i].length == offset) {
      t[i].length = static_cast<uint16_t>(t[i].length + length);
      total_ += length;
      return true;
    }
  }
  for (int i = 0; i < kSlots; ++i) {
    if (t[i].offset == 0) {
      t[i] = Area{offset, length};
      total_ += length;
      return true;
    }
  }
  return false;
}

bool DeadAreaTable::Take(uint16_t length, bool exact, uint16_t* offset_out) {
  if (!areas_ || !offset_out || length == 0) return false;
  Area* t = areas_.get();
  int chosen = -1;
  int best = -1;
  for (int i = 0; i < kSlots; ++i) {
    if (t[i].offset == 0) continue;
    if (t[i].length == length) {
      chosen = i;
      break;
    }
    if (!exact && t[i].length > length && (best < 0 || t[i].length < t[best].length)) best = i;
  }
  if (chosen >= 0) {
    *offset_out = t[chosen].offset;
    t[chosen] = Area{0, 0};
  } else {
    if (exact || best < 0) return false;
    *offset_out = t[best].offset;
    t[best].offset = static_cast<uint16_t>(t[best].offset + length);
    t[best].length = static_cast<uint16_t>(t[best].length - length);
  }
  total_ -= length;
  return true;
}

void DeadAreaTable::CutAt(uint32_t end) {
  if (!areas_) return;
  Area* t = areas_.get();
  for (int i = 0; i < kSlots; ++i) {
    if (t[i].offset == 0) continue;
    uint32_t area_end = static_cast<uint32_t>(t[i].offset) + t[i].length;
    if (t[i].offset >= end) {
      total_ -= t[i].length;
      t[i] = Area{0, 0};
    } else if (area_end > end) {
      total_ -= area_end - end;
      t[i].length = static_cast<uint16_t>(end - t[i].offset);
    }
  }
}

bool DeadAreaTable::Get(int slot, uint16_t* offset, uint16_t* length) const {
  if (!areas_ || slot < 0 || slot >= kSlots) return false;
  const Area& a = areas_.get()[slot];
  if (a.offset == 0) return false;
  if (offset) *offset = a.offset;
  if (length) *length = a.length;
  return true;
}

void DeadAreaTable::Print() const {
  if (!areas_) return;
  const Area* t = areas_.get();
  for (int i = 0; i < kSlots; ++i) {
    if (t[i].offset != 0) std::printf("%x: %d\n", t[i].offset, t[i].length);
  }
}

}  // namespace talvo
