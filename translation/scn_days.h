// The day catalogue: which scn files the game holds, where their texts are
// and how to recognise an unchanged file. The dump, the translation, the
// reports and the table generators all walk a catalogue in its order; they
// take it as a ScnCatalogue value, the built-in scn_catalogue by default.
#ifndef TALVO_TRANSLATION_SCN_DAYS_H
#define TALVO_TRANSLATION_SCN_DAYS_H

#include <array>
#include <cstdint>
#include <vector>

// One option group of a day: the stem of its INI keys and its answer count.
// Two or three answers make an EV entry, four or more an MO entry.
struct OptionGroup {
  const char* name;
  int choices;
};

// One row of pointer positions of an option group: the name pointer's
// position, then one position per answer, the rest zero.
using EvPoffsetRow = std::array<uint16_t, 16>;

// Bulk tables as the generators produce them. They may be empty or short
// (a build without the game's data); resolve_day_tables checks them.
using DayNameTable = std::vector<const char*>;
using DayIndexTable = std::vector<int>;
using DayPoffsetTable = std::vector<EvPoffsetRow>;

struct ScnDay {
  const char* name;                    // "DAY_A0": INI section and scn object name
  const char* path;                    // "/SCNBIN/DAY_A0.SCN"
  const DayNameTable* va_names;        // day_xx_VA; null means none
  int va_count;                        // the number of VA names the day has
  uint16_t va_search_start;
  int va_search_length;
  const DayIndexTable* va_idx;         // day_xx_va_idx; null means none
  const OptionGroup* ev_groups;        // day_xx_EV; null when ev_count is 0
  int ev_count;
  uint16_t ev_search_start;
  int ev_search_length;
  const DayPoffsetTable* ev_poffsets;  // day_xx_ev_poffsets; null when ev_count is 0
  bool has_duplicates;                 // a full rewrite needs the duplicate repair
  unsigned char md5[16];               // digest of the file as the game disc holds it
};

// A catalogue to walk: count records from days, in order.
struct ScnCatalogue {
  const ScnDay* days;
  int count;
};

constexpr int kScnDayCount = 17;
extern const ScnDay scn_days[kScnDayCount];
extern const ScnCatalogue scn_catalogue;

// The generated bulk tables (day_tables_va.cpp, day_tables_va_idx.cpp,
// day_tables_ev_poffsets.cpp).
#define TALVO_DECLARE_DAY_TABLES(day)     \
  extern const DayNameTable day##_VA;     \
  extern const DayIndexTable day##_va_idx; \
  extern const DayPoffsetTable day##_ev_poffsets;
TALVO_DECLARE_DAY_TABLES(day_a0)
TALVO_DECLARE_DAY_TABLES(day_a1)
TALVO_DECLARE_DAY_TABLES(day_b0)
TALVO_DECLARE_DAY_TABLES(day_b1)
TALVO_DECLARE_DAY_TABLES(day_b2)
TALVO_DECLARE_DAY_TABLES(day_c0)
TALVO_DECLARE_DAY_TABLES(day_c1)
TALVO_DECLARE_DAY_TABLES(day_c2)
TALVO_DECLARE_DAY_TABLES(day_c3)
TALVO_DECLARE_DAY_TABLES(day_d0)
TALVO_DECLARE_DAY_TABLES(day_d1)
TALVO_DECLARE_DAY_TABLES(day_d2)
TALVO_DECLARE_DAY_TABLES(day_d3)
TALVO_DECLARE_DAY_TABLES(day_d4)
TALVO_DECLARE_DAY_TABLES(day_d5)
extern const DayNameTable day_d6_VA;
extern const DayIndexTable day_d6_va_idx;
TALVO_DECLARE_DAY_TABLES(day_d7)
#undef TALVO_DECLARE_DAY_TABLES

#endif
