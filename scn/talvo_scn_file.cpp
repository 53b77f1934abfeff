// The scn model: container and dead areas, entry lookup with the duplicate
// repairs, and text replacement with linking. The game data it consults lives
// in the tables of scn_tables.h.
#include "scn/talvo_scn_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "scn/scn_tables.h"
#include "util/byte_order.h"

namespace talvo {

namespace {

const unsigned char kSignature[4] = {'s', 'c', 'n', 0};
// The stock prompt in Shift-JIS: 16 bytes plus its zero.
const char kStockPrompt[] = "\x83\x5A\x81\x5B\x83\x75\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48";
constexpr size_t kStockPromptLength = 16;
constexpr size_t kMaxSaveMessage = 16;
// Signature and length field: a smaller image has no header to keep, and
// nothing but the container itself may write into these bytes.
constexpr uint32_t kMinSize = 6;
constexpr uint32_t kHeaderSize = 6;
constexpr uint8_t kSaveCommand = 0x13;
constexpr uint32_t kSavePromptField = 70;
constexpr int kRecordSize = 15;

bool same(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

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

char* dup_bytes(const unsigned char* p, size_t len) {
  char* s = static_cast<char*>(std::malloc(len + 1));
  if (!s) return nullptr;
  std::memcpy(s, p, len);
  s[len] = 0;
  return s;
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

// The decimal number that starts at the sixth character of a VA name.
int name_number(const char* name) {
  int n = 0;
  for (int i = 5, digits = 0; name[i] >= '0' && name[i] <= '9' && digits < 6; ++i, ++digits) {
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

}  // namespace

TalvoScnFile::TalvoScnFile(const char* day_name)
    : name(day_name),
      size(0),
      va_start{0},  // braces: a parenthesis after this name would call the <cstdarg> macro
      ev_start(0),
      va_length(0),
      ev_length(0),
      dead_areas(static_cast<DeadArea*>(std::calloc(kDeadAreaSlots, sizeof(DeadArea)))),
      dead_total(0) {
  if (!dead_areas) std::fprintf(stderr, "Warning: short on memory.\n");
}

TalvoScnFile::~TalvoScnFile() = default;

// ---------------------------------------------------------------------------
// Container

void TalvoScnFile::Discard() {
  data.reset();
  size = 0;
  va_start = ev_start = 0;
  va_length = ev_length = 0;
  // Dead areas and cached offsets describe the old image only.
  if (dead_areas) std::memset(dead_areas.get(), 0, kDeadAreaSlots * sizeof(DeadArea));
  dead_total = 0;
  text_cache.reset();
}

bool TalvoScnFile::SetData(const unsigned char* buf, unsigned int length) {
  Discard();
  if (!buf) return false;
  if (length < kMinSize || length > kMaxSize) {
    std::fprintf(stderr, "Invalid size for scn file: %u bytes.\n", length);
    return false;
  }
  if (std::memcmp(buf, kSignature, sizeof(kSignature)) != 0) {
    std::fprintf(stderr, "Invalid scn signature.\n");
    return false;
  }
  if (read_le16(buf + 4) != length) {
    std::fprintf(stderr, "Scn size mismatch with the one in header.\n");
    return false;
  }
  MallocBuffer copy = malloc_buffer(length);
  if (!copy) {
    std::fprintf(stderr, "Out of memory.\n");
    return false;
  }
  std::memcpy(copy.get(), buf, length);
  data = std::move(copy);
  size = length;
  return true;
}

unsigned char* TalvoScnFile::GetData(bool copy, unsigned int* size_out) {
  if (size_out) *size_out = size;
  if (!data) return nullptr;
  if (!copy) return data.get();
  unsigned char* out = static_cast<unsigned char*>(std::malloc(size));
  if (out) std::memcpy(out, data.get(), size);
  return out;
}

bool TalvoScnFile::Resize(unsigned int new_size) {
  if (!data) return false;
  if (new_size > kMaxSize) {
    std::fprintf(stderr, "Scn file cannot be bigger than 65535 bytes.\n");
    return false;
  }
  if (new_size < kMinSize) {
    std::fprintf(stderr, "Error: scn file cannot be smaller than %u bytes.\n", kMinSize);
    return false;
  }
  if (new_size > size) {
    MallocBuffer grown = malloc_buffer(new_size);
    if (!grown) {
      std::fprintf(stderr, "Out of memory.\n");
      return false;
    }
    std::memset(grown.get(), 0, new_size);
    std::memcpy(grown.get(), data.get(), size);
    data = std::move(grown);
  } else if (dead_areas) {
    // Space cut off is no longer part of the image and must not be handed out.
    DeadArea* t = dead_areas.get();
    for (int i = 0; i < kDeadAreaSlots; ++i) {
      if (t[i].offset == 0) continue;
      uint32_t end = static_cast<uint32_t>(t[i].offset) + t[i].length;
      if (t[i].offset >= new_size) {
        dead_total -= t[i].length;
        t[i] = DeadArea{0, 0};
      } else if (end > new_size) {
        dead_total -= end - new_size;
        t[i].length = static_cast<uint16_t>(new_size - t[i].offset);
      }
    }
  }
  size = new_size;
  write_le16(data.get() + 4, static_cast<uint16_t>(new_size));
  return true;
}

bool TalvoScnFile::Increase(unsigned int n, uint16_t* pos) {
  if (!data) return false;
  if (n > kMaxSize - size) {
    std::fprintf(stderr, "Scn file cannot be bigger than 65535 bytes.\n");
    return false;
  }
  uint32_t old_size = size;
  if (!Resize(size + n)) return false;
  if (pos) *pos = static_cast<uint16_t>(old_size);
  return true;
}

bool TalvoScnFile::AddDeadArea(uint16_t offset, uint16_t length) {
  if (!dead_areas || !data || offset == 0) return false;
  if (offset < kHeaderSize) {
    std::fprintf(stderr, "Error: dead area %u+%u lies in the scn header.\n", offset, length);
    return false;
  }
  if (static_cast<uint32_t>(offset) + length > size) {
    std::fprintf(stderr, "Error: dead area %u+%u lies outside the scn file.\n", offset, length);
    return false;
  }
  DeadArea* t = dead_areas.get();
  for (int i = 0; i < kDeadAreaSlots; ++i) {
    if (t[i].offset != 0 && t[i].offset <= offset &&
        static_cast<uint32_t>(offset) + length <= static_cast<uint32_t>(t[i].offset) + t[i].length) {
      return true;
    }
  }
  for (int i = 0; i < kDeadAreaSlots; ++i) {
    // Both areas lie inside the image, so the joined length fits 16 bits.
    if (t[i].offset != 0 && static_cast<uint32_t>(t[i].offset) + t[i].length == offset) {
      t[i].length = static_cast<uint16_t>(t[i].length + length);
      dead_total += length;
      return true;
    }
  }
  for (int i = 0; i < kDeadAreaSlots; ++i) {
    if (t[i].offset == 0) {
      t[i] = DeadArea{offset, length};
      dead_total += length;
      return true;
    }
  }
  return false;
}

bool TalvoScnFile::FindAndRemoveDeadArea(uint16_t length, uint16_t* offset_out, bool exact) {
  if (!dead_areas || !offset_out || length == 0) return false;
  DeadArea* t = dead_areas.get();
  int chosen = -1;
  int best = -1;
  for (int i = 0; i < kDeadAreaSlots; ++i) {
    if (t[i].offset == 0) continue;
    if (t[i].length == length) {
      chosen = i;
      break;
    }
    if (!exact && t[i].length > length && (best < 0 || t[i].length < t[best].length)) best = i;
  }
  if (chosen >= 0) {
    *offset_out = t[chosen].offset;
    t[chosen] = DeadArea{0, 0};
  } else {
    if (exact || best < 0) return false;
    *offset_out = t[best].offset;
    t[best].offset = static_cast<uint16_t>(t[best].offset + length);
    t[best].length = static_cast<uint16_t>(t[best].length - length);
  }
  dead_total -= length;
  return true;
}

bool TalvoScnFile::LocateSavePrompt(uint32_t* text_at, size_t* len) const {
  if (!data) return false;
  if (size < kSavePromptField + 2) {
    std::fprintf(stderr, "Error: scn file too short for a save prompt.\n");
    return false;
  }
  uint16_t at = read_le16(data.get() + kSavePromptField);
  if (at < kHeaderSize || at >= size) {
    std::fprintf(stderr, "Error: save prompt offset %u lies outside the scn file.\n", at);
    return false;
  }
  if (data.get()[at] != kSaveCommand) return false;
  if (!CheckedStringLength(at + 1u, len)) return false;
  *text_at = at + 1u;
  return true;
}

char* TalvoScnFile::GetSaveMessage(bool copy) {
  uint32_t at;
  size_t len;
  if (!LocateSavePrompt(&at, &len)) return nullptr;
  if (!copy) return reinterpret_cast<char*>(data.get() + at);
  return dup_bytes(data.get() + at, len);
}

bool TalvoScnFile::SetSaveMessage(const char* msg, bool only_if_original) {
  uint32_t at;
  size_t len;
  if (!msg || !LocateSavePrompt(&at, &len)) return false;
  size_t msg_len = std::strlen(msg);
  if (msg_len > kMaxSaveMessage) return false;
  if (only_if_original &&
      (len != kStockPromptLength || std::memcmp(data.get() + at, kStockPrompt, len) != 0)) {
    return false;
  }
  // The prompt is rewritten in place: a longer text would run over the
  // script commands behind it.
  if (msg_len > len) {
    std::fprintf(stderr, "Error: save message does not fit in place of the current one.\n");
    return false;
  }
  std::memcpy(data.get() + at, msg, msg_len + 1);
  return true;
}

void TalvoScnFile::PrintDeadAreas() {
  if (!dead_areas) return;
  const DeadArea* t = dead_areas.get();
  for (int i = 0; i < kDeadAreaSlots; ++i) {
    if (t[i].offset != 0) std::printf("%x: %d\n", t[i].offset, t[i].length);
  }
}

bool TalvoScnFile::GetDeadArea(int slot, uint16_t* offset, uint16_t* length) const {
  if (!dead_areas || slot < 0 || slot >= kDeadAreaSlots) return false;
  const DeadArea& a = dead_areas.get()[slot];
  if (a.offset == 0) return false;
  if (offset) *offset = a.offset;
  if (length) *length = a.length;
  return true;
}

// ---------------------------------------------------------------------------
// Bounded access

bool TalvoScnFile::StringLengthAt(uint32_t offset, size_t* len) const {
  if (!data || offset >= size) return false;
  const unsigned char* p = data.get() + offset;
  const void* end = std::memchr(p, 0, size - offset);
  if (!end) return false;
  *len = static_cast<size_t>(static_cast<const unsigned char*>(end) - p);
  return true;
}

bool TalvoScnFile::CheckedStringLength(uint32_t offset, size_t* len) const {
  if (StringLengthAt(offset, len)) return true;
  std::fprintf(stderr, "Error: no string at offset %u inside the scn file.\n", offset);
  return false;
}

bool TalvoScnFile::StringEqualsAt(uint32_t offset, const char* s) const {
  if (!data || !s || offset >= size) return false;
  size_t n = std::strlen(s);
  if (n >= size - offset) return false;
  return std::memcmp(data.get() + offset, s, n) == 0 && data.get()[offset + n] == 0;
}

bool TalvoScnFile::CheckPointerPosition(uint32_t pos) const {
  if (data && pos >= kHeaderSize && pos + 2 <= size) return true;
  if (pos < kHeaderSize) {
    std::fprintf(stderr, "Error: pointer position %u lies in the scn header.\n", pos);
  } else {
    std::fprintf(stderr, "Error: pointer position %u lies outside the scn file.\n", pos);
  }
  return false;
}

uint16_t TalvoScnFile::ReadU16(uint32_t pos) const { return read_le16(data.get() + pos); }

void TalvoScnFile::WriteU16(uint32_t pos, uint16_t v) { write_le16(data.get() + pos, v); }

bool TalvoScnFile::KillStrings(uint16_t offset, int count) {
  uint32_t at = offset;
  for (int i = 0; i < count; ++i) {
    size_t len;
    if (!CheckedStringLength(at, &len)) return false;
    at += static_cast<uint32_t>(len) + 1;
  }
  AddDeadArea(offset, static_cast<uint16_t>(at - offset));
  return true;
}

bool TalvoScnFile::DayIs(const char* day) const { return same(name, day); }

// ---------------------------------------------------------------------------
// Entry lookup

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
  if (!data || va_start == 0 || index < 0) return false;
  uint64_t r = va_start + static_cast<uint64_t>(kRecordSize) * static_cast<uint64_t>(index);
  // The record is read up to its actor byte.
  if (r + 9 > size) return false;
  va->name = nullptr;
  va->p_offset = static_cast<uint16_t>(r);
  va->name_p_offset = static_cast<uint16_t>(r + 5);
  va->text_offset = ReadU16(static_cast<uint32_t>(r));
  va->name_offset = ReadU16(static_cast<uint32_t>(r + 5));
  va->actor = data.get()[r + 8];
  return true;
}

bool TalvoScnFile::FindVAByIndex(int index, const char* va_name, VAType* va, bool kill_areas,
                                 bool fix_duplicates) {
  if (!data || !va || va_start == 0 || index < 0) return false;
  if (index > va_length / kRecordSize) {
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
  if (static_cast<uint32_t>(record.p_offset) + 9 > size) {
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
  va->actor = data.get()[va->p_offset + 8];
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
  // This group's first text pointer in DAY_D1 is one the search meets elsewhere.
  if (DayIs("DAY_D1") && same(ev_name, "FC05a")) ev->text1_p_offset = 6628;
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
  if (diff < 0 || diff % kRecordSize != 0) return -1;
  return diff / kRecordSize;
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

// ---------------------------------------------------------------------------
// Duplicate repair

namespace {

const scn_tables::VACopyRule* find_copy_rule(const char* day, const char* va_name, int n) {
  for (size_t i = 0; i < scn_tables::va_copy_rule_count; ++i) {
    const scn_tables::VACopyRule& r = scn_tables::va_copy_rules[i];
    if (same(r.day, day) && std::strncmp(r.prefix, va_name, 5) == 0 && n >= r.lo && n <= r.hi &&
        (!r.only_name || same(r.only_name, va_name))) {
      return &r;
    }
  }
  return nullptr;
}

int64_t copy_position(const scn_tables::VACopyRule& r, int64_t n) {
  using scn_tables::CopyPosition;
  switch (r.position) {
    case CopyPosition::kFromOne: return 15 * (n - 1) + r.k;
    case CopyPosition::kTimesN: return 15 * n + r.k;
    case CopyPosition::kFixed: return r.k;
    case CopyPosition::kHundreds9: return 15 * (9 * (n / 100) + n % 100 - 1) + r.k;
    case CopyPosition::kTens5: return 15 * (5 * (n / 10) + n % 10 - 1) + r.k;
    case CopyPosition::kTens2: return 15 * (2 * (n / 10) + n % 10 - 1) + r.k;
    case CopyPosition::kTens2Plus3: return 15 * (2 * (n / 10) + n % 10 + 3) + r.k;
    case CopyPosition::kNone: break;
  }
  return 0;
}

// The name the copy must carry; `out` holds at least 32 bytes.
void copy_name(const scn_tables::VACopyRule& r, const char* va_name, int n, char* out) {
  using scn_tables::CopyName;
  if (r.copy_name == CopyName::kFixed) {
    std::snprintf(out, 32, "%s", r.fixed_name);
    return;
  }
  std::snprintf(out, 32, "%s", va_name);
  size_t len = std::strlen(out);
  bool first = false, second = false;
  switch (r.copy_name) {
    case CopyName::kFirstDigit0: first = true; break;
    case CopyName::kFirstTwoDigits0: first = second = true; break;
    case CopyName::kByMagnitude:
      second = n >= 10;
      first = n >= 100;
      break;
    default: break;
  }
  if (first && len > 5) out[5] = '0';
  if (second && len > 6) out[6] = '0';
}

bool next_name(const char* day, const char* va_name, int n, char* out) {
  for (size_t i = 0; i < scn_tables::next_name_rule_count; ++i) {
    const scn_tables::NextNameRule& r = scn_tables::next_name_rules[i];
    if (same(r.day, day) && std::strncmp(r.prefix, va_name, 5) == 0 && n >= r.lo && n <= r.hi) {
      int next = r.fixed_next >= 0 ? r.fixed_next : n + r.add;
      std::snprintf(out, 32, "%.5s%03d", r.prefix, next);
      return true;
    }
  }
  return false;
}

}  // namespace

void TalvoScnFile::ApplyDuplicateNameUglyHack(const char* va_name, VAType* va, bool kill_areas,
                                              bool check) {
  if (!data || !va || !va_name || !name) return;
  char current[32];
  std::snprintf(current, sizeof(current), "%s", va_name);
  // Chains in the tables are at most a dozen names long.
  for (int step = 0; step < 64; ++step) {
    if (std::strlen(current) < 6) return;
    int n = name_number(current);
    const scn_tables::VACopyRule* rule = find_copy_rule(name, current, n);
    if (rule && rule->position != scn_tables::CopyPosition::kNone) {
      char expected[32];
      copy_name(*rule, current, n, expected);
      n += rule->renumber;
      uint32_t p = static_cast<uint32_t>(copy_position(*rule, n) & 0xFFFF);
      if (p != 0) {
        if (p < kHeaderSize + 5 || p + 2 > size) {
          std::fprintf(stderr, "Error: duplicate of %s at %u lies outside the scn file.\n", current,
                       p);
          return;
        }
        uint16_t m = ReadU16(p);
        if (check) {
          if (!StringEqualsAt(m, expected)) {
            std::fprintf(stderr, "Duplicate has not same name!\n");
            return;
          }
          if (va->text_offset == static_cast<uint16_t>(m + 9) || va->p_offset == p - 5 ||
              va->name_offset == m || va->name_p_offset == p) {
            std::fprintf(stderr, "Duplicate has some same offset as source!\n");
            return;
          }
        }
        WriteU16(p - 5, va->text_offset);
        WriteU16(p, va->name_offset);
        if (kill_areas) {
          size_t text_len;
          if (CheckedStringLength(m + 9u, &text_len)) {
            uint32_t len = static_cast<uint32_t>(std::strlen(current) + text_len + 2);
            if (len <= kMaxSize) AddDeadArea(m, static_cast<uint16_t>(len));
          }
        }
      }
    }
    char next[32];
    if (!next_name(name, current, n, next)) return;
    std::memcpy(current, next, sizeof(current));
  }
}

void TalvoScnFile::ApplyDuplicateNameUglyHackEv(const char* ev_name, EVType* ev, bool kill_areas,
                                                bool check) {
  if (!data || !ev || !ev_name) return;
  const scn_tables::EVCopy* c = nullptr;
  for (size_t i = 0; i < scn_tables::ev_copy_count; ++i) {
    if (DayIs(scn_tables::ev_copies[i].day) && same(scn_tables::ev_copies[i].name, ev_name)) {
      c = &scn_tables::ev_copies[i];
      break;
    }
  }
  if (!c) return;
  if (check) {
    if (!StringEqualsAt(c->offsets[0], c->copy_name)) {
      std::fprintf(stderr, "Duplicate has not same name!\n");
      return;
    }
    bool clash = c->offsets[1] == ev->text1_offset || c->offsets[2] == ev->text2_offset ||
                 (c->offsets[3] != 0 && c->offsets[3] == ev->text3_offset) ||
                 c->positions[1] == ev->text1_p_offset || c->positions[2] == ev->text2_p_offset ||
                 (c->positions[3] != 0 && c->positions[3] == ev->text3_p_offset) ||
                 c->offsets[0] == ev->name_offset || c->positions[0] == ev->name_p_offset;
    if (clash) {
      std::fprintf(stderr, "Duplicate has some same offset as source!\n");
      return;
    }
  }
  // A two-text copy has no third pointer to redirect.
  bool third = ev->text3_offset != 0 && c->positions[3] != 0;
  if (!CheckPointerPosition(c->positions[1]) || !CheckPointerPosition(c->positions[2]) ||
      (third && !CheckPointerPosition(c->positions[3]))) {
    return;
  }
  WriteU16(c->positions[1], ev->text1_offset);
  WriteU16(c->positions[2], ev->text2_offset);
  if (third) WriteU16(c->positions[3], ev->text3_offset);
  if (kill_areas) KillStrings(c->offsets[1], ev->text3_offset != 0 ? 3 : 2);
}

// ---------------------------------------------------------------------------
// Texts

char* TalvoScnFile::GetVAText(const VAType* va, bool copy) {
  size_t len;
  if (!data || !va || !CheckedStringLength(va->text_offset, &len)) return nullptr;
  if (!copy) return reinterpret_cast<char*>(data.get() + va->text_offset);
  return dup_bytes(data.get() + va->text_offset, len);
}

bool TalvoScnFile::GetEVText(const EVType* ev, char** text1, char** text2, char** text3,
                             bool copy) {
  char** outs[3] = {text1, text2, text3};
  for (char** o : outs) {
    if (o) *o = nullptr;
  }
  if (!data || !ev) return false;
  const uint16_t offsets[3] = {ev->text1_offset, ev->text2_offset, ev->text3_offset};
  const int count = ev->text3_offset != 0 ? 3 : 2;
  char* got[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < count; ++i) {
    size_t len;
    bool ok = CheckedStringLength(offsets[i], &len);
    if (ok) {
      got[i] = copy ? dup_bytes(data.get() + offsets[i], len)
                    : reinterpret_cast<char*>(data.get() + offsets[i]);
      ok = got[i] != nullptr;
    }
    if (!ok) {
      if (copy) {
        for (char* g : got) std::free(g);
      }
      return false;
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (outs[i]) {
      *outs[i] = got[i];
    } else if (copy) {
      std::free(got[i]);
    }
  }
  return true;
}

char* TalvoScnFile::GetMOText(const MOType* mo, char separator) {
  if (!data || !mo || mo->count < 0 || mo->count > 16) return nullptr;
  size_t lengths[16];
  size_t total = 0;
  uint32_t at = mo->text_offsets[0];
  for (int i = 0; i < mo->count; ++i) {
    if (!CheckedStringLength(at, &lengths[i])) return nullptr;
    total += lengths[i] + 1;
    at += static_cast<uint32_t>(lengths[i]) + 1;
  }
  char* out = static_cast<char*>(std::malloc(total ? total : 1));
  if (!out) return nullptr;
  char* w = out;
  at = mo->text_offsets[0];
  for (int i = 0; i < mo->count; ++i) {
    std::memcpy(w, data.get() + at, lengths[i]);
    w += lengths[i];
    if (i + 1 < mo->count) *w++ = separator;
    at += static_cast<uint32_t>(lengths[i]) + 1;
  }
  *w = 0;
  return out;
}

bool TalvoScnFile::SetVAText(VAType* va, const char* text, bool kill_areas, bool fix_duplicates,
                             bool user_linking, bool machine_linking, bool rewrite_all_va) {
  if (!data || !va || !text) return false;
  const bool linking = user_linking || machine_linking;
  const bool in_place = !kill_areas && !rewrite_all_va;
  if (!CheckPointerPosition(va->p_offset)) return false;
  if (rewrite_all_va) {
    if (!va->name || !CheckPointerPosition(va->name_p_offset)) return false;
    size_t name_len = std::strlen(va->name);
    uint16_t at;
    if (name_len >= kMaxSize || !Increase(static_cast<unsigned int>(name_len + 1), &at)) return false;
    std::memcpy(data.get() + at, va->name, name_len + 1);
    va->name_offset = at;
    WriteU16(va->name_p_offset, at);
  }
  if (linking) {
    uint16_t cached;
    if (FindTextInCache(va->name, text, user_linking, machine_linking, &cached)) {
      va->text_offset = cached;
      WriteU16(va->p_offset, cached);
      if (fix_duplicates) ApplyDuplicateNameUglyHack(va->name, va, false, false);
      return true;
    }
  }
  if (LooksLikeVAName(text)) {
    if (user_linking) {
      std::fprintf(stderr,
                   "Warning: \"%s\" was not linked to \"%s\". Either a typo or order is probably "
                   "wrong!\n",
                   text, va->name ? va->name : "");
    } else {
      std::fprintf(stderr, "Warning: \"%s\" looks like a va name, but user_linking is not enabled!\n",
                   text);
    }
  }
  const size_t len = std::strlen(text);
  if (len >= kMaxSize) {
    std::fprintf(stderr, "Scn file cannot be bigger than 65535 bytes.\n");
    return false;
  }
  // The current text counts only when it is a string inside the image; after
  // a truncation it may lie beyond the end.
  size_t current_len = 0;
  const bool have_current = in_place && va->text_offset >= kHeaderSize &&
                            StringLengthAt(va->text_offset, &current_len);
  // Another line of the script showing the same stored text keeps it: this
  // line's translation must not become that line's text too.
  const bool shared = have_current && OtherRecordUsesText(va, true);
  if (have_current && !shared && len <= current_len) {
    std::memcpy(data.get() + va->text_offset, text, len + 1);
    return true;
  }
  uint16_t at;
  bool placed = kill_areas && FindAndRemoveDeadArea(static_cast<uint16_t>(len + 1), &at, false);
  if (!placed) {
    if (!Increase(static_cast<unsigned int>(len + 1), &at)) return false;
    // Storage that any other record still shows is not free.
    if (have_current && !shared && !OtherRecordUsesText(va, false)) {
      AddDeadArea(va->text_offset, static_cast<uint16_t>(current_len + 1));
    }
  }
  va->text_offset = at;
  WriteU16(va->p_offset, at);
  std::memcpy(data.get() + at, text, len + 1);
  if (fix_duplicates) ApplyDuplicateNameUglyHack(va->name, va, false, false);
  if (linking) AddTextToCache(va->name, at);
  return true;
}

bool TalvoScnFile::OtherRecordUsesText(const VAType* va, bool other_names_only) const {
  if (va_start == 0 || va_length < 0) return false;
  for (int i = 0; i <= va_length / kRecordSize; ++i) {
    VAType c;
    if (!ReadVARecord(i, &c)) break;  // every later record lies further out
    if (c.p_offset == va->p_offset || c.text_offset != va->text_offset) continue;
    if (!other_names_only || !va->name || !StringEqualsAt(c.name_offset, va->name)) return true;
  }
  return false;
}

bool TalvoScnFile::SetEVText(EVType* ev, const char* text1, const char* text2, const char* text3,
                             bool kill_areas, bool fix_duplicates) {
  if (!data || !ev || !text1 || !text2) return false;
  if ((text3 != nullptr) != (ev->text3_offset != 0)) return false;
  const int count = text3 ? 3 : 2;
  const char* texts[3] = {text1, text2, text3};
  uint16_t* offsets[3] = {&ev->text1_offset, &ev->text2_offset, &ev->text3_offset};
  const uint16_t positions[3] = {ev->text1_p_offset, ev->text2_p_offset, ev->text3_p_offset};
  size_t lengths[3] = {0, 0, 0};
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (!CheckPointerPosition(positions[i])) return false;
    lengths[i] = std::strlen(texts[i]);
    total += lengths[i] + 1;
  }
  if (total > kMaxSize) {
    std::fprintf(stderr, "Scn file cannot be bigger than 65535 bytes.\n");
    return false;
  }
  uint16_t at;
  if (kill_areas && FindAndRemoveDeadArea(static_cast<uint16_t>(total), &at, true)) {
    for (int i = 0; i < count; ++i) {
      std::memcpy(data.get() + at, texts[i], lengths[i] + 1);
      *offsets[i] = at;
      WriteU16(positions[i], at);
      at = static_cast<uint16_t>(at + lengths[i] + 1);
    }
    if (fix_duplicates) ApplyDuplicateNameUglyHackEv(ev->name, ev, false, false);
    return true;
  }
  for (int i = 0; i < count; ++i) {
    size_t current_len = 0;
    const bool have_current =
        !kill_areas && *offsets[i] >= kHeaderSize && StringLengthAt(*offsets[i], &current_len);
    if (have_current && lengths[i] <= current_len) {
      std::memcpy(data.get() + *offsets[i], texts[i], lengths[i] + 1);
      continue;
    }
    if (!FindAndRemoveDeadArea(static_cast<uint16_t>(lengths[i] + 1), &at, false)) {
      if (!Increase(static_cast<unsigned int>(lengths[i] + 1), &at)) return false;
      if (have_current) AddDeadArea(*offsets[i], static_cast<uint16_t>(current_len + 1));
    }
    *offsets[i] = at;
    WriteU16(positions[i], at);
    std::memcpy(data.get() + at, texts[i], lengths[i] + 1);
  }
  if (fix_duplicates) ApplyDuplicateNameUglyHackEv(ev->name, ev, false, false);
  return true;
}

bool TalvoScnFile::SetMOText(MOType* mo, const char* text, bool kill_areas, char separator) {
  if (!data || !mo || !text) return false;
  if (mo->count < 1 || mo->count > 16) {
    std::fprintf(stderr, "Error: option group needs 1 to 16 texts, got %d.\n", mo->count);
    return false;
  }
  for (int i = 0; i < mo->count; ++i) {
    if (!CheckPointerPosition(mo->text_p_offsets[i])) return false;
  }
  // Every choice needs its own part: a choice left without one would keep
  // pointing at storage that other texts may take over.
  const size_t len = std::strlen(text);
  int parts = 1;
  for (size_t i = 0; i < len; ++i) {
    if (text[i] == separator) ++parts;
  }
  if (parts != mo->count) {
    std::fprintf(stderr, "Error: %s %s has %d choices, but its text gives %d.\n", name,
                 mo->name ? mo->name : "", mo->count, parts);
    return false;
  }
  VAType whole{mo->name, mo->name_offset, mo->text_offsets[0], mo->name_p_offset,
               mo->text_p_offsets[0], 0};
  if (!SetVAText(&whole, text, kill_areas, false, false, false, false)) return false;
  mo->text_offsets[0] = whole.text_offset;
  mo->name_offset = whole.name_offset;
  parts = 1;
  for (size_t i = 0; i < len; ++i) {
    uint32_t pos = whole.text_offset + static_cast<uint32_t>(i);
    if (data.get()[pos] != static_cast<unsigned char>(separator)) continue;
    data.get()[pos] = 0;
    mo->text_offsets[parts] = static_cast<uint16_t>(pos + 1);
    WriteU16(mo->text_p_offsets[parts], static_cast<uint16_t>(pos + 1));
    ++parts;
  }
  return true;
}

bool TalvoScnFile::TruncateTo(const VAType* va) {
  if (!data || !va) return false;
  return Resize(va->name_offset);
}

bool TalvoScnFile::AddTextToCache(const char* va_name, uint16_t offset) {
  if (!va_name) return false;
  if (!text_cache) {
    text_cache.reset(static_cast<CacheEntry*>(std::calloc(kTextCacheEntries, sizeof(CacheEntry))));
    if (!text_cache) {
      std::fprintf(stderr, "Out of memory.\n");
      return false;
    }
  }
  CacheEntry* t = text_cache.get();
  for (int i = 0; i < kTextCacheEntries; ++i) {
    if (!t[i].name) {
      t[i] = CacheEntry{va_name, offset};
      return true;
    }
  }
  std::fprintf(stderr, "Warning: cache overflow.\n");
  return false;
}

bool TalvoScnFile::FindTextInCache(const char* va_name, const char* text, bool user_linking,
                                   bool machine_linking, uint16_t* offset) {
  if (!text_cache || !text || !offset) return false;
  const CacheEntry* t = text_cache.get();
  if (user_linking) {
    for (int i = 0; i < kTextCacheEntries && t[i].name; ++i) {
      if (std::strcmp(t[i].name, text) == 0) {
        *offset = t[i].offset;
        return true;
      }
    }
  }
  if (machine_linking) {
    for (int i = 0; i < kTextCacheEntries && t[i].name; ++i) {
      if (StringEqualsAt(t[i].offset, text)) {
        std::printf("Machine link %s -> %s\n", va_name ? va_name : "", t[i].name);
        *offset = t[i].offset;
        return true;
      }
    }
  }
  return false;
}

bool TalvoScnFile::FillFound(const VAType& record, VAType* found) const {
  size_t len;
  if (!StringLengthAt(record.name_offset, &len)) return false;
  char* copy = new (std::nothrow) char[len + 1];
  if (!copy) {
    std::fprintf(stderr, "Out of memory.\n");
    return false;
  }
  std::memcpy(copy, data.get() + record.name_offset, len + 1);
  *found = record;
  found->name = copy;
  return true;
}

bool TalvoScnFile::FindFirstVALink(const VAType* va, VAType* found, int self_index,
                                   bool before_only, bool same_name) {
  if (!data || !va || !found || va_start == 0) return false;
  const int last = before_only ? self_index - 1 : va_length / kRecordSize;
  for (int i = 0; i <= last; ++i) {
    if (i == self_index) continue;
    VAType c;
    if (!ReadVARecord(i, &c)) break;  // every later record lies further out
    size_t name_len;
    if (same_name) {
      if (!StringEqualsAt(c.name_offset, va->name)) continue;
    } else if (!StringLengthAt(c.name_offset, &name_len)) {
      continue;
    }
    if (c.text_offset != va->text_offset) continue;
    if (same_name && c.name_offset != va->name_offset) continue;
    return FillFound(c, found);
  }
  return false;
}

bool TalvoScnFile::FindFirstVATextTwin(const VAType* va, VAType* found, int self_index,
                                       bool before_only, bool skip_same_name) {
  if (!data || !va || !found || va_start == 0) return false;
  size_t text_len;
  if (!StringLengthAt(va->text_offset, &text_len)) return false;
  const char* text = reinterpret_cast<const char*>(data.get() + va->text_offset);
  const int last = before_only ? self_index - 1 : va_length / kRecordSize;
  for (int i = 0; i <= last; ++i) {
    if (i == self_index) continue;
    VAType c;
    if (!ReadVARecord(i, &c)) break;
    size_t name_len;
    if (!StringLengthAt(c.name_offset, &name_len)) continue;
    if (skip_same_name && StringEqualsAt(c.name_offset, va->name)) continue;
    if (!StringEqualsAt(c.text_offset, text)) continue;
    return FillFound(c, found);
  }
  return false;
}

void TalvoScnFile::CheckVASCorrection(const VAType* vas, int count) {
  if (!vas) return;
  auto in_gap_list = [](const char* n) {
    for (size_t i = 0; i < scn_tables::va_gap_name_count; ++i) {
      if (same(scn_tables::va_gap_names[i], n)) return true;
    }
    return false;
  };
  for (int i = 0; i < count; ++i) {
    const VAType& v = vas[i];
    const char* n = v.name ? v.name : "";
    if (v.p_offset != static_cast<uint16_t>(v.name_p_offset - 5)) {
      std::fprintf(stderr, "VAS correction failed for: %s (1)\n", n);
    }
    if (i == 0) continue;
    int gap = static_cast<int>(v.p_offset) - static_cast<int>(vas[i - 1].p_offset);
    if (gap == kRecordSize) continue;
    if (!in_gap_list(v.name) || gap < 30 || gap % kRecordSize != 0) {
      std::fprintf(stderr, "VAS correction failed for: %s (2)\n", n);
    } else if (i + 1 < count && !same(v.name, "VD33C004") && !same(v.name, "VD33E004") &&
               vas[i + 1].p_offset != v.p_offset + kRecordSize) {
      std::fprintf(stderr, "VAS correction failed for: %s (2)\n", n);
    }
  }
}

}  // namespace talvo
