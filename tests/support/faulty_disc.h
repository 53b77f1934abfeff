// An image device that fails on purpose, for the all-or-nothing checks:
// its k-th change (a write or a growth) goes half-way, as on a full disc, and
// then fails, or ends the process there, as a kill or a power cut would.
// Header-only: the test binaries that use it link the disc layer.
#ifndef TALVO_TESTS_SUPPORT_FAULTY_DISC_H
#define TALVO_TESTS_SUPPORT_FAULTY_DISC_H

#include <unistd.h>

#include <cstdint>

#include "iso/disc.h"

namespace testsupport {

struct FaultPlan {
  int fail_at = 0;                   // the change that fails, counted from 1; 0 none
  uint64_t fail_offset = UINT64_MAX;  // or every write starting here
  bool die = false;                  // _exit instead of failing
  int changes = 0;                   // changes made so far
};

inline FaultPlan& fault_plan() {
  static FaultPlan plan;
  return plan;
}

class FaultyDisc : public IsoFileDisc {
 public:
  using IsoFileDisc::IsoFileDisc;
  // For set_disc_maker.
  static IsoFileDisc* Make(bool read_only, bool journaled) {
    return new FaultyDisc(read_only, journaled);
  }
  int WriteBytes(uint64_t offset, const void* buffer, uint64_t length) override {
    if (!Faults(offset)) return IsoFileDisc::WriteBytes(offset, buffer, length);
    IsoFileDisc::WriteBytes(offset, buffer, length / 2);
    return Fail();
  }
  int Extend(uint64_t sectors, uint64_t* first_new_sector) override {
    if (!Faults(UINT64_MAX - 1)) return IsoFileDisc::Extend(sectors, first_new_sector);
    IsoFileDisc::Extend(sectors, first_new_sector);
    return Fail();
  }

 private:
  static bool Faults(uint64_t offset) {
    FaultPlan& plan = fault_plan();
    return ++plan.changes == plan.fail_at || offset == plan.fail_offset;
  }
  static int Fail() {
    if (fault_plan().die) _exit(0);
    return -1;
  }
};

}  // namespace testsupport

#endif
