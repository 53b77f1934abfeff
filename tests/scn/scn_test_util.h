// Helpers shared by the scn model tests: loading a built image and reading values back out of it.
#ifndef TALVO_TESTS_SCN_SCN_TEST_UTIL_H
#define TALVO_TESTS_SCN_SCN_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "scn/talvo_scn_file.h"
#include "sample/scn_builder.h"
#include "tests/support/capture.h"
#include "util/byte_order.h"

namespace scntest {

using sample::ScnBuilder;
using talvo::EVType;
using talvo::MOType;
using talvo::TalvoScnFile;
using talvo::VAType;
using Bytes = std::vector<unsigned char>;
using U16s = std::vector<uint16_t>;

inline bool load(TalvoScnFile& f, const ScnBuilder& b) {
  Bytes image = b.Build();
  return f.SetData(image.data(), static_cast<unsigned int>(image.size()));
}
inline Bytes image_of(TalvoScnFile& f) {
  unsigned int size = 0;
  const unsigned char* p = f.GetData(false, &size);
  return p ? Bytes(p, p + size) : Bytes();
}
// The u16 values at these positions (0 for one outside the image).
inline U16s u16s_at(TalvoScnFile& f, std::initializer_list<uint32_t> positions) {
  Bytes img = image_of(f);
  U16s v;
  for (uint32_t p : positions) v.push_back(p + 2 <= img.size() ? talvo::read_le16(&img[p]) : 0);
  return v;
}
inline uint16_t u16_at(TalvoScnFile& f, uint32_t pos) { return u16s_at(f, {pos})[0]; }
// A malloc'd text as a string ("<null>" for null), freed.
inline std::string take(char* p) {
  std::string s = p ? p : "<null>";
  std::free(p);
  return s;
}
inline std::string string_at(TalvoScnFile& f, uint32_t pos) {
  Bytes img = image_of(f);
  if (pos >= img.size() || !std::memchr(&img[pos], 0, img.size() - pos)) return "<outside>";
  return std::string(reinterpret_cast<const char*>(&img[pos]));
}
// The number of dead areas, or (with a length) of those that are exactly offset+length.
inline int dead_area_count(const TalvoScnFile& f, int offset = -1, int length = -1) {
  int n = 0;
  for (int i = 0; i < TalvoScnFile::kDeadAreaSlots; ++i) {
    uint16_t o, l;
    n += f.GetDeadArea(i, &o, &l) && (length < 0 || (o == offset && l == length));
  }
  return n;
}
inline bool has_dead_area(const TalvoScnFile& f, int at, int len) { return dead_area_count(f, at, len) > 0; }
// Loads `b`, opens a VA window of `names.size()` records at its VA area and
// locates each record by index and name (the names must outlive `f`).
inline std::vector<VAType> locate_vas(TalvoScnFile& f, const ScnBuilder& b, const std::vector<const char*>& names,
                                      bool kill_areas, bool fix_duplicates = false) {
  std::vector<VAType> vas(names.size());
  EXPECT_TRUE(load(f, b) && f.SetVASearch(b.VAArea(), static_cast<int>(15 * names.size())));
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_TRUE(f.FindVAByIndex(static_cast<int>(i), names[i], &vas[i], kill_areas, fix_duplicates)) << names[i];
  }
  return vas;
}
// What f printed to stderr.
template <typename F>
std::string stderr_of(F f) { testsupport::Output o; testsupport::captured(&o, f); return o.err; }

}  // namespace scntest

#endif
