#include "translation/catalogue_facts.h"

#include <cstring>

const std::vector<PoffsetFact> poffset_facts = {
    {"DAY_A0", "EVA05", {1638, 1671, 1668}},
    {"DAY_A0", "Event A07", {3250, 3276, 3273}},
    {"DAY_A0", "EVA11", {4153, 4182, 4179, 4176}},
    {"DAY_A0", "Event A16", {6385, 6437, 6434, 6431}},
    {"DAY_B0", "FC04a", {1839, 1897, 1894, 1891, 1888, 1885, 1882, 1879}},
    {"DAY_B1", "Hack1", {1916, 1959, 1956}},
    {"DAY_D1", "FC05a", {1603, 6628, 6625, 6622}},
    {"DAY_D1", "EVD115", {1062, 1145, 1180, 1215, 1250, 1285, 1320}},
    {"DAY_D3", "EVD32b", {7152, 7221, 7252, 7283, 7314, 7345, 7376, 7407}},
};

const std::vector<VaIndexFact> va_index_facts = {
    {"DAY_A0", 0, "VA01X001", 0},
    {"DAY_A0", 1, "VA01X002", 1},
    {"DAY_A0", -1, "VA19A009", 354},
    {"DAY_B0", -1, "VC04A002", 528},
    {"DAY_D6", 0, "VD74A001", 0},
    {"DAY_D6", 1, "VD74A002", 1},
    {"DAY_D6", 2, "VD74A003", 2},
    {"DAY_D6", 3, "VD74A004", 3},
    {"DAY_D6", 4, "VD74A005", 4},
    {"DAY_D6", 5, "VD75X001", 80},
    {"DAY_B1", -1, nullptr, 306},
    {"DAY_D6", -1, nullptr, 396},
};

const std::vector<SharedVaNameFact> shared_va_name_facts = {
    {"VC04A002", "DAY_B0", "DAY_C0"},
    {"VB15X001", "DAY_B1", "DAY_C3"},
};

// The index of a catalogue group name in the day's list, or -1.
static int group_position(const ScnDay* day, const char* group) {
  for (int k = 0; k < day->ev_count; k++) {
    if (strcmp(day->ev_groups[k].name, group) == 0) return k;
  }
  return -1;
}

static const ScnDay* builtin_day(const char* name) {
  for (int i = 0; i < scn_catalogue.count; i++) {
    if (strcmp(scn_catalogue.days[i].name, name) == 0) return &scn_catalogue.days[i];
  }
  return nullptr;
}

bool day_tables_match_facts(const char* day, const DayTables& tables, std::string* why) {
  const ScnDay* entry = builtin_day(day);
  for (const VaIndexFact& f : va_index_facts) {
    if (strcmp(f.day, day) != 0) continue;
    int n = static_cast<int>(tables.va_idx.size());
    int pos = f.position < 0 ? n - 1 : f.position;
    if (pos < 0 || pos >= n || pos >= static_cast<int>(tables.va_names.size())) {
      *why = std::string(day) + ": the VA tables are too short";
      return false;
    }
    if (tables.va_idx[pos] != f.index || (f.name && tables.va_names[pos] != f.name)) {
      *why = std::string(day) + ": VA " + std::to_string(pos) + " should be " +
             (f.name ? f.name : "any name") + " at index " + std::to_string(f.index);
      return false;
    }
  }
  for (const PoffsetFact& f : poffset_facts) {
    if (strcmp(f.day, day) != 0 || !entry) continue;
    int k = group_position(entry, f.group);
    if (k < 0 || k >= static_cast<int>(tables.ev_poffsets.size())) {
      *why = std::string(day) + ": no pointer row for " + f.group;
      return false;
    }
    const EvPoffsetRow& row = tables.ev_poffsets[k];
    for (size_t i = 0; i < row.size(); i++) {
      uint16_t expected = i < f.row.size() ? f.row[i] : 0;
      if (row[i] != expected) {
        *why = std::string(day) + ": pointer row of " + f.group + " differs at value " +
               std::to_string(i);
        return false;
      }
    }
  }
  for (const SharedVaNameFact& f : shared_va_name_facts) {
    if (strcmp(f.first_day, day) != 0 && strcmp(f.second_day, day) != 0) continue;
    bool found = false;
    for (const std::string& name : tables.va_names) found = found || name == f.name;
    if (!found) {
      *why = std::string(day) + ": the VA names lack " + f.name;
      return false;
    }
  }
  return true;
}
