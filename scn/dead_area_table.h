// DeadAreaTable: the reusable text space of one scn image, as the scn model
// records it while entries give up their old texts and hands it out to new
// ones. It knows offsets and lengths only; the model checks that an area lies
// inside its image before recording it.
#ifndef TALVO_SCN_DEAD_AREA_TABLE_H
#define TALVO_SCN_DEAD_AREA_TABLE_H

#include <cstdint>
#include <memory>

#include "util/guards.h"

namespace talvo {

class DeadAreaTable {
 public:
  static constexpr int kSlots = 1024;

  // Allocates the slots; ready() is false when that failed, and then every
  // call below does nothing and fails.
  DeadAreaTable();
  bool ready() const { return areas_ != nullptr; }

  // Forgets every area.
  void Clear();

  // Records [offset, offset + length): nothing changes when a recorded area
  // holds it already, an area ending at `offset` grows by it, otherwise it
  // takes a free slot. False when every slot is in use.
  // REQUIRES: offset != 0 (0 marks a free slot); offset + length <= 65535.
  bool Add(uint16_t offset, uint16_t length);

  // Hands out `length` bytes: an area of exactly that length, or with `exact`
  // false the front of the smallest larger area. False when none fits.
  bool Take(uint16_t length, bool exact, uint16_t* offset_out);

  // Drops the parts of areas at or beyond `end` (the image shrank to it).
  void CutAt(uint32_t end);

  // Slot contents; false for a free slot or an index out of range.
  bool Get(int slot, uint16_t* offset, uint16_t* length) const;

  // "%x: %d\n" for every used slot, to stdout.
  void Print() const;

  // The bytes recorded in all areas.
  uint32_t total() const { return total_; }

 private:
  struct Area {
    uint16_t offset;  // 0: free slot
    uint16_t length;
  };
  std::unique_ptr<Area, FreeDeleter> areas_;
  uint32_t total_;
};

}  // namespace talvo

#endif
