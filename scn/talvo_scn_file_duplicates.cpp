// The scn model's duplicate repair: the game keeps copies of some entries,
// and a text moved to new storage must move in every copy. Where the copies
// lie comes from the rules of scn_tables.h.
#include "scn/talvo_scn_file.h"

#include <cstdio>
#include <cstring>

#include "scn/scn_tables.h"
#include "scn/talvo_scn_file_internal.h"

namespace talvo {

using scn_internal::kHeaderSize;
using scn_internal::same;

namespace {

// The decimal number that starts at the sixth character of a VA name.
int name_number(const char* name) {
  int n = 0;
  for (int i = 5, digits = 0; name[i] >= '0' && name[i] <= '9' && digits < 6; ++i, ++digits) {
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

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
      // p is the copy's name pointer; its record starts kVANamePointer before.
      uint32_t p = static_cast<uint32_t>(copy_position(*rule, n) & 0xFFFF);
      if (p != 0) {
        if (p < kHeaderSize + kVANamePointer || p + 2 > size) {
          std::fprintf(stderr, "Error: duplicate of %s at %u lies outside the scn file.\n", current,
                       p);
          return;
        }
        uint16_t m = ReadU16(p);
        // The copy's text stands right after its name string.
        const uint32_t copy_text = m + kVANameLength + 1u;
        if (check) {
          if (!StringEqualsAt(m, expected)) {
            std::fprintf(stderr, "Duplicate has not same name!\n");
            return;
          }
          if (va->text_offset == static_cast<uint16_t>(copy_text) || va->p_offset == p - kVANamePointer ||
              va->name_offset == m || va->name_p_offset == p) {
            std::fprintf(stderr, "Duplicate has some same offset as source!\n");
            return;
          }
        }
        WriteU16(p - kVANamePointer, va->text_offset);
        WriteU16(p, va->name_offset);
        if (kill_areas) {
          size_t text_len;
          if (CheckedStringLength(copy_text, &text_len)) {
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

}  // namespace talvo
