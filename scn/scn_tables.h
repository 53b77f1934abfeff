// Game data about the seventeen day files that the scn model consults while
// locating and repairing entries: pointer-like values to ignore, option groups
// at fixed offsets, duplicated entries and where their copies lie, and the
// names after which VA records may be skipped. Data only; the code that reads
// these rows lives in the talvo_scn_file*.cpp files.
#ifndef TALVO_SCN_SCN_TABLES_H
#define TALVO_SCN_SCN_TABLES_H

#include <cstddef>
#include <cstdint>

namespace talvo {
namespace scn_tables {

// A number range that runs to the end of the names' numbers.
constexpr int kNoLimit = 0x7FFFFFFF;

// Positions q at which a pointer-like value is not the named VA's pointer.
// Lists end at the first 0.
struct VAPositionException {
  const char* name;
  uint16_t positions[7];
};
extern const VAPositionException va_position_exceptions[];
extern const size_t va_position_exception_count;

// Pointer values w that are never the named VA's pointer, wherever they lie.
struct VAValueException {
  const char* name;
  uint16_t value;
};
extern const VAValueException va_value_exceptions[];
extern const size_t va_value_exception_count;

// Pointer values w that are never the named option group's pointer.
struct EVValueException {
  const char* name;
  uint16_t values[8];
};
extern const EVValueException ev_value_exceptions[];
extern const size_t ev_value_exception_count;

// VA names whose name search writes no duplicate warning.
extern const char* const warning_exceptions[];
extern const size_t warning_exception_count;

// Option groups taken at fixed offsets instead of being searched.
struct FixedEVEntry {
  const char* day;
  const char* name;
  int texts;              // 2 or 3
  uint16_t offsets[4];    // name, text 1, text 2, text 3
  uint16_t positions[4];  // where their pointers lie
};
extern const FixedEVEntry fixed_ev_entries[];
extern const size_t fixed_ev_entry_count;

// Option groups whose first text pointer the name search meets elsewhere
// first: after the search, that pointer is taken at text1_position.
struct EVPositionFix {
  const char* day;
  const char* name;
  uint16_t text1_position;
};
extern const EVPositionFix ev_position_fixes[];
extern const size_t ev_position_fix_count;

// Where the copy of a duplicated VA keeps its name pointer (P), from the
// name's number n.
enum class CopyPosition {
  kFromOne,      // 15(n - 1) + k
  kTimesN,       // 15n + k
  kFixed,        // k
  kHundreds9,    // 15(9 * (n / 100) + n % 100 - 1) + k
  kTens5,        // 15(5 * (n / 10) + n % 10 - 1) + k
  kTens2,        // 15(2 * (n / 10) + n % 10 - 1) + k
  kTens2Plus3,   // 15(2 * (n / 10) + n % 10 + 3) + k
  kNone,         // no copy for these numbers
};

// The name a copy must carry, from the name being handled.
enum class CopyName {
  kSame,             // the name itself
  kFirstDigit0,      // sixth character replaced by 0
  kFirstTwoDigits0,  // sixth and seventh characters replaced by 0
  kByMagnitude,      // the name up to 9, seventh character 0 up to 99, else first two digits 0
  kFixed,            // fixed_name
};

struct VACopyRule {
  const char* day;
  const char* prefix;     // first five characters of the name
  int lo;                 // numbers lo..hi (inclusive)
  int hi;
  const char* only_name;  // when set, the rule applies to this name only
  int renumber;           // added to n before P is computed (and for the next name)
  CopyPosition position;
  int k;
  CopyName copy_name;
  const char* fixed_name;
};
extern const VACopyRule va_copy_rules[];
extern const size_t va_copy_rule_count;

// The next name of a duplicate chain: prefix + "%03d" of the next number.
struct NextNameRule {
  const char* day;
  const char* prefix;
  int lo;
  int hi;
  int fixed_next;  // >= 0: the next number; < 0: n + add
  int add;
};
extern const NextNameRule next_name_rules[];
extern const size_t next_name_rule_count;

// The copy of a duplicated option group, at fixed offsets.
struct EVCopy {
  const char* day;
  const char* name;
  const char* copy_name;
  uint16_t offsets[4];    // name, text 1, text 2, text 3
  uint16_t positions[4];  // their pointer positions
};
extern const EVCopy ev_copies[];
extern const size_t ev_copy_count;

// VA names after which records may be skipped in the VA area.
extern const char* const va_gap_names[];
extern const size_t va_gap_name_count;

// Names of va_gap_names whose next VA need not follow right after them: a
// second run of unused records may come before it.
extern const char* const va_double_gap_names[];
extern const size_t va_double_gap_name_count;

}  // namespace scn_tables
}  // namespace talvo

#endif
