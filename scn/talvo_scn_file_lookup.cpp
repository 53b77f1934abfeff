// The scn model's entry lookup: the search windows, VA records by index and
// by name, option groups by pointer row and by name, and the exceptions of
// the name searches.
#include "scn/talvo_scn_file.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "scn/scn_tables.h"
#include "scn/talvo_scn_file_internal.h"
#include "util/byte_order.h"

namespace talvo {

using scn_internal::same;

namespace {

// Calls f(q, w) for every pointer-like value of a search window; f returns
// true to stop. Values that do not point inside the image are passed over.
template <typename F>
void scan_window(const unsigned char* data, uint32_t size, uint32_t start, int32_t length, F f) {
  for (int64_t i = 0; i < length; ++i) {
    uint64_t q = start + static_cast<uint64_t>(i);
    if (q + 2 > size) return;
    uint16_t w = read_le16(data + q);
    if (w >= size) continue;
    if (f(static_cast<uint16_t>(q), w)) return;
  }
}

// Whether `v` is in a table list that ends at its first 0 (or its last slot).
template <size_t N>
bool in_zero_ended(const uint16_t (&list)[N], uint16_t v) {
  for (uint16_t x : list) {
    if (x == 0) return false;
    if (x == v) return true;
  }
  return false;
}

}  // namespace

bool TalvoScnFile::SetVASearch(uint16_t start, int length) {
  if (start >= size) return false;
  va_start = start;
  va_length = length;
  return true;
}

bool TalvoScnFile::SetEVSearch(uint16_t start, int length) {
  if (start >= size) return false;
  ev_start = start;
  ev_length = length;
  return true;
}

bool TalvoScnFile::ReadVARecord(int index, VAType* va) const {
  return read_va_record(data.get(), size, va_start, index, va);
}

bool TalvoScnFile::FindVAByIndex(int index, const char* va_name, VAType* va, bool kill_areas,
                                 bool fix_duplicates) {
  if (!data || !va || va_start == 0 || index < 0) return false;
  if (index > va_length / kVARecordSize) {
    std::fprintf(stderr, "Error: index out of bounds.\n");
    return false;
  }
  VAType record;
  if (!ReadVARecord(index, &record)) {
    std::fprintf(stderr, "Error: VA record %d lies outside the scn file.\n", index);
    return false;
  }
  size_t name_len = 0;
  if (va_name) {
    if (!StringEqualsAt(record.name_offset, va_name)) return false;
  } else if (!CheckedStringLength(record.name_offset, &name_len)) {
    return false;
  }
  if (kill_areas && !KillStrings(record.text_offset, 1)) return false;
  const char* entry_name = va_name;
  if (!va_name) {
    char* copy = new (std::nothrow) char[name_len + 1];
    if (!copy) {
      std::fprintf(stderr, "Out of memory.\n");
      return false;
    }
    std::memcpy(copy, data.get() + record.name_offset, name_len + 1);
    entry_name = copy;
  }
  *va = record;
  if (fix_duplicates) ApplyDuplicateNameUglyHack(entry_name, va, kill_areas, true);
  va->name = entry_name;
  return true;
}

bool TalvoScnFile::FindEVByOffsets(const uint16_t* row, const char* ev_name, EVType* ev,
                                   bool three_texts, bool kill_areas, bool fix_duplicates) {
  if (!data || !row || !ev) return false;
  int pointers = three_texts ? 4 : 3;
  for (int i = 0; i < pointers; ++i) {
    if (!CheckPointerPosition(row[i])) return false;
  }
  ev->name_p_offset = row[0];
  ev->text1_p_offset = row[1];
  ev->text2_p_offset = row[2];
  ev->text3_p_offset = three_texts ? row[3] : 0;
  ev->name_offset = ReadU16(row[0]);
  ev->text1_offset = ReadU16(row[1]);
  ev->text2_offset = ReadU16(row[2]);
  ev->text3_offset = three_texts ? ReadU16(row[3]) : 0;
  if (kill_areas && !KillStrings(ev->text1_offset, three_texts ? 3 : 2)) return false;
  if (fix_duplicates) ApplyDuplicateNameUglyHackEv(ev_name, ev, kill_areas, true);
  ev->name = ev_name;
  return true;
}

bool TalvoScnFile::FindMOByOffsets(const uint16_t* row, const char* mo_name, MOType* mo,
                                   int count, bool kill_areas) {
  if (!data || !row || !mo) return false;
  // A row holds the name pointer and at most 15 text pointers.
  if (count < 1 || count > 15) {
    std::fprintf(stderr, "Error: option group needs 1 to 15 texts, got %d.\n", count);
    return false;
  }
  for (int i = 0; i <= count; ++i) {
    if (!CheckPointerPosition(row[i])) return false;
  }
  mo->name_p_offset = row[0];
  mo->name_offset = ReadU16(row[0]);
  for (int i = 0; i < 16; ++i) {
    mo->text_p_offsets[i] = i < count ? row[i + 1] : 0;
    mo->text_offsets[i] = i < count ? ReadU16(row[i + 1]) : 0;
  }
  if (kill_areas && !KillStrings(mo->text_offsets[0], count)) return false;
  mo->count = count;
  mo->name = mo_name;
  return true;
}

bool TalvoScnFile::FindVA(const char* va_name, VAType* va, bool kill_areas, bool fix_duplicates) {
  if (!data || !va || !va_name || va_start == 0 || va_length < 1 || va_start >= size) return false;
  const uint32_t name_len = static_cast<uint32_t>(std::strlen(va_name));
  bool have_text = false;
  bool found = false;
  VAType record{};
  // The record points first at the text, then at the name; in the file the
  // name string stands right before the text.
  scan_window(data.get(), size, va_start, va_length, [&](uint16_t q, uint16_t w) {
    if (IsVAException(va_name, w, q)) return false;
    if (!have_text) {
      if (w >= name_len + 1 && StringEqualsAt(w - (name_len + 1), va_name)) {
        record.text_offset = w;
        record.p_offset = q;
        have_text = true;
      }
      return false;
    }
    if (StringEqualsAt(w, va_name)) {
      record.name_offset = w;
      record.name_p_offset = q;
      found = true;
      return true;
    }
    return false;
  });
  if (!found) return false;
  if (static_cast<uint32_t>(record.p_offset) + kVARecordUsedBytes > size) {
    std::fprintf(stderr, "Error: VA record at %u lies outside the scn file.\n", record.p_offset);
    return false;
  }
  if (kill_areas && !KillStrings(record.text_offset, 1)) return false;
  if (!IsWarningException(va_name)) {
    scan_window(data.get(), size, va_start, va_length, [&](uint16_t q, uint16_t w) {
      if (q != record.p_offset && w == record.text_offset && !IsVAException(va_name, w, q)) {
        std::fprintf(stderr, "Warning, duplicate in %s %x  (orig p_offset=%x)\n", va_name, q,
                     record.p_offset);
      }
      return false;
    });
  }
  *va = record;
  if (fix_duplicates) ApplyDuplicateNameUglyHack(va_name, va, kill_areas, true);
  va->name = va_name;
  va->actor = data.get()[va->p_offset + kVAActor];
  return true;
}

bool TalvoScnFile::FindEV(const char* ev_name, EVType* ev, bool three_texts, bool kill_areas,
                          bool fix_duplicates) {
  if (!data || !ev || !ev_name || ev_start == 0) return false;
  const scn_tables::FixedEVEntry* fixed = nullptr;
  for (size_t i = 0; i < scn_tables::fixed_ev_entry_count; ++i) {
    const scn_tables::FixedEVEntry& e = scn_tables::fixed_ev_entries[i];
    if (DayIs(e.day) && same(e.name, ev_name)) {
      fixed = &e;
      break;
    }
  }
  if (fixed) {
    if ((fixed->texts == 3) != three_texts) return false;
    ev->name_offset = fixed->offsets[0];
    ev->text1_offset = fixed->offsets[1];
    ev->text2_offset = fixed->offsets[2];
    ev->text3_offset = fixed->offsets[3];
    ev->name_p_offset = fixed->positions[0];
    ev->text1_p_offset = fixed->positions[1];
    ev->text2_p_offset = fixed->positions[2];
    ev->text3_p_offset = fixed->positions[3];
  } else {
    if (ev_length < 1 || ev_start >= size) return false;
    const uint32_t name_len = static_cast<uint32_t>(std::strlen(ev_name));
    const int needed = three_texts ? 4 : 3;
    bool have_name = false;
    int hits = 0;
    uint32_t t1 = 0, t2 = 0, t3 = 0;
    EVType record{};
    scan_window(data.get(), size, ev_start, ev_length, [&](uint16_t q, uint16_t w) {
      if (IsEVException(ev_name, w, q)) return false;
      if (!have_name) {
        if (!StringEqualsAt(w, ev_name)) return false;
        size_t len1, len2;
        uint32_t a = w + name_len + 1;
        if (!StringLengthAt(a, &len1)) return false;
        uint32_t b = a + static_cast<uint32_t>(len1) + 1;
        uint32_t c = 0;
        if (three_texts) {
          if (!StringLengthAt(b, &len2)) return false;
          c = b + static_cast<uint32_t>(len2) + 1;
        }
        t1 = a;
        t2 = b;
        t3 = c;
        record.name_offset = w;
        record.name_p_offset = q;
        record.text3_offset = 0;
        record.text3_p_offset = 0;
        have_name = true;
        hits = 1;
        return false;
      }
      if (w == t1) {
        record.text1_offset = w;
        record.text1_p_offset = q;
        ++hits;
      } else if (w == t2) {
        record.text2_offset = w;
        record.text2_p_offset = q;
        ++hits;
      } else if (three_texts && w == t3) {
        record.text3_offset = w;
        record.text3_p_offset = q;
        ++hits;
      }
      return hits >= needed;
    });
    if (hits < needed) return false;
    *ev = record;
  }
  if (kill_areas && !KillStrings(ev->text1_offset, three_texts ? 3 : 2)) return false;
  for (size_t i = 0; i < scn_tables::ev_position_fix_count; ++i) {
    const scn_tables::EVPositionFix& f = scn_tables::ev_position_fixes[i];
    if (DayIs(f.day) && same(f.name, ev_name)) ev->text1_p_offset = f.text1_position;
  }
  if (fix_duplicates) ApplyDuplicateNameUglyHackEv(ev_name, ev, kill_areas, true);
  ev->name = ev_name;
  return true;
}

bool TalvoScnFile::FindMO(const char* mo_name, MOType* mo, int count, bool kill_areas) {
  if (!data || !mo || !mo_name || ev_start == 0 || ev_length < 1 || ev_start >= size) return false;
  if (count < 1 || count > 16) {
    std::fprintf(stderr, "Error: option group needs 1 to 16 texts, got %d.\n", count);
    return false;
  }
  const uint32_t name_len = static_cast<uint32_t>(std::strlen(mo_name));
  uint32_t expected[16] = {};
  bool have_name = false;
  int hits = 0;
  MOType record{};
  scan_window(data.get(), size, ev_start, ev_length, [&](uint16_t q, uint16_t w) {
    if (IsEVException(mo_name, w, q)) return false;
    if (!have_name) {
      if (!StringEqualsAt(w, mo_name)) return false;
      uint32_t at = w + name_len + 1;
      for (int i = 0; i < count; ++i) {
        expected[i] = at;
        size_t len;
        if (i + 1 < count) {
          if (!StringLengthAt(at, &len)) return false;
          at += static_cast<uint32_t>(len) + 1;
        }
      }
      record.name_offset = w;
      record.name_p_offset = q;
      for (int i = 0; i < 16; ++i) record.text_offsets[i] = 65535;
      have_name = true;
      hits = 1;
      return false;
    }
    for (int i = 0; i < count; ++i) {
      if (record.text_offsets[i] == 65535 && w == expected[i]) {
        record.text_offsets[i] = w;
        record.text_p_offsets[i] = q;
        ++hits;
        break;
      }
    }
    return hits >= count + 1;
  });
  if (hits < count + 1) return false;
  if (kill_areas && !KillStrings(record.text_offsets[0], count)) return false;
  *mo = record;
  mo->count = count;
  mo->name = mo_name;
  return true;
}

int TalvoScnFile::GetVAIndex(const VAType* va) {
  if (!data || !va || va_start == 0) return -1;
  int diff = static_cast<int>(va->p_offset) - static_cast<int>(va_start);
  if (diff < 0 || diff % kVARecordSize != 0) return -1;
  return diff / kVARecordSize;
}

bool TalvoScnFile::LooksLikeVAName(const char* s) {
  if (!s || std::strlen(s) != 8 || s[0] != 'V') return false;
  for (int i : {2, 3, 5, 6, 7}) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

bool TalvoScnFile::IsVAException(const char* va_name, uint16_t w, uint16_t q) {
  using namespace scn_tables;
  if (!va_name) return false;
  for (size_t i = 0; i < va_position_exception_count; ++i) {
    const VAPositionException& e = va_position_exceptions[i];
    if (same(e.name, va_name) && in_zero_ended(e.positions, q)) return true;
  }
  for (size_t i = 0; i < va_value_exception_count; ++i) {
    if (same(va_value_exceptions[i].name, va_name) && va_value_exceptions[i].value == w) return true;
  }
  return false;
}

bool TalvoScnFile::IsEVException(const char* ev_name, uint16_t w, uint16_t /*q*/) {
  using namespace scn_tables;
  if (!ev_name) return false;
  for (size_t i = 0; i < ev_value_exception_count; ++i) {
    const EVValueException& e = ev_value_exceptions[i];
    if (same(e.name, ev_name) && in_zero_ended(e.values, w)) return true;
  }
  return false;
}

bool TalvoScnFile::IsWarningException(const char* va_name) {
  for (size_t i = 0; i < scn_tables::warning_exception_count; ++i) {
    if (same(scn_tables::warning_exceptions[i], va_name)) return true;
  }
  return false;
}

}  // namespace talvo
