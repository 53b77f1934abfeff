// The scn model's texts: reading and replacing the texts of VA entries and
// option groups, the text cache behind linking, and the searches for records
// that share a text.
#include "scn/talvo_scn_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "scn/scn_tables.h"
#include "scn/talvo_scn_file_internal.h"

namespace talvo {

using scn_internal::dup_bytes;
using scn_internal::kHeaderSize;
using scn_internal::same;

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
  for (int i = 0; i <= va_length / kVARecordSize; ++i) {
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
  const int last = before_only ? self_index - 1 : va_length / kVARecordSize;
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
  const int last = before_only ? self_index - 1 : va_length / kVARecordSize;
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
  auto in_list = [](const char* const* list, size_t count, const char* n) {
    for (size_t i = 0; i < count; ++i) {
      if (same(list[i], n)) return true;
    }
    return false;
  };
  for (int i = 0; i < count; ++i) {
    const VAType& v = vas[i];
    const char* n = v.name ? v.name : "";
    if (v.p_offset != static_cast<uint16_t>(v.name_p_offset - kVANamePointer)) {
      std::fprintf(stderr, "VAS correction failed for: %s (1)\n", n);
    }
    if (i == 0) continue;
    int gap = static_cast<int>(v.p_offset) - static_cast<int>(vas[i - 1].p_offset);
    if (gap == kVARecordSize) continue;
    if (!in_list(scn_tables::va_gap_names, scn_tables::va_gap_name_count, v.name) || gap < 30 ||
        gap % kVARecordSize != 0) {
      std::fprintf(stderr, "VAS correction failed for: %s (2)\n", n);
    } else if (i + 1 < count &&
               !in_list(scn_tables::va_double_gap_names, scn_tables::va_double_gap_name_count,
                        v.name) &&
               vas[i + 1].p_offset != v.p_offset + kVARecordSize) {
      std::fprintf(stderr, "VAS correction failed for: %s (2)\n", n);
    }
  }
}

}  // namespace talvo
