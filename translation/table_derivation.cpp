#include "translation/table_derivation.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>

#include "ini/ini_file.h"
#include "scn/scn_tables.h"
#include "scn/talvo_scn_file.h"
#include "scn/va_record.h"

using talvo::IniFile;
using talvo::kVANameLength;
using talvo::kVARecordSize;
using talvo::TalvoScnFile;

namespace {

struct CharArrayDeleter {
  void operator()(char* p) const { delete[] p; }
};
using NewString = std::unique_ptr<char, CharArrayDeleter>;

// Facts keyed by the days they describe: a catalogue's records form one
// address range, so a day is matched to its catalogue by where it lives.
struct FactsEntry {
  const ScnDay* first;
  const ScnDay* last;  // one past the end
  CatalogueFacts facts;
};

std::vector<FactsEntry>& facts_registry() {
  static std::vector<FactsEntry> registry = {
      {scn_catalogue.days, scn_catalogue.days + scn_catalogue.count,
       CatalogueFacts{&va_index_facts, &poffset_facts}},
  };
  return registry;
}

const CatalogueFacts* facts_for(const ScnDay& day) {
  for (const FactsEntry& e : facts_registry()) {
    if (&day >= e.first && &day < e.last) return &e.facts;
  }
  return nullptr;
}

int group_position(const ScnDay& day, const char* group) {
  for (int k = 0; k < day.ev_count; k++) {
    if (std::strcmp(day.ev_groups[k].name, group) == 0) return k;
  }
  return -1;
}

std::string row_text(const EvPoffsetRow& row, int values) {
  std::string s;
  for (int i = 0; i < values && i < static_cast<int>(row.size()); i++) {
    if (i) s += ", ";
    s += std::to_string(row[i]);
  }
  return s;
}

bool fail(std::string* why, std::string text) {
  *why = std::move(text);
  return false;
}

bool check_names(const ScnDay& day, const DayTables& t, std::string* why) {
  if (static_cast<int>(t.va_names.size()) != day.va_count) {
    return fail(why, "it has " + std::to_string(t.va_names.size()) +
                         " VA names, the catalogue expects " + std::to_string(day.va_count));
  }
  std::unordered_set<std::string> seen;
  for (const std::string& name : t.va_names) {
    if (!TalvoScnFile::LooksLikeVAName(name.c_str())) {
      return fail(why, "\"" + name + "\" is not a VA name");
    }
    if (!seen.insert(name).second) return fail(why, "VA name " + name + " stands twice");
  }
  return true;
}

bool check_indexes(const ScnDay& day, const DayTables& t, std::string* why) {
  if (t.va_idx.size() != t.va_names.size()) {
    return fail(why, "it has " + std::to_string(t.va_idx.size()) + " VA indexes for " +
                         std::to_string(t.va_names.size()) + " names");
  }
  int limit = day.va_search_length / kVARecordSize;
  for (size_t i = 0; i < t.va_idx.size(); i++) {
    int idx = t.va_idx[i];
    if (idx < 0 || idx > limit) {
      return fail(why, "the index " + std::to_string(idx) + " of " + t.va_names[i] +
                           " lies outside the VA area (0 to " + std::to_string(limit) + ")");
    }
    if (i > 0 && idx <= t.va_idx[i - 1]) {
      return fail(why, "the index " + std::to_string(idx) + " of " + t.va_names[i] +
                           " does not rise above " + std::to_string(t.va_idx[i - 1]) + " of " +
                           t.va_names[i - 1]);
    }
  }
  return true;
}

bool check_rows(const ScnDay& day, const DayTables& t, std::string* why) {
  if (static_cast<int>(t.ev_poffsets.size()) != day.ev_count) {
    return fail(why, "it has " + std::to_string(t.ev_poffsets.size()) +
                         " option rows, the catalogue expects " + std::to_string(day.ev_count));
  }
  for (int k = 0; k < day.ev_count; k++) {
    const OptionGroup& g = day.ev_groups[k];
    const EvPoffsetRow& row = t.ev_poffsets[k];
    if (g.choices < 2 || g.choices >= static_cast<int>(row.size())) {
      return fail(why, std::string("the option group ") + g.name + " has " +
                           std::to_string(g.choices) + " choices");
    }
    for (int i = 0; i < static_cast<int>(row.size()); i++) {
      bool used = i <= g.choices;
      if (used != (row[i] != 0)) {
        return fail(why, std::string("the pointer row of ") + g.name + " (" +
                             row_text(row, static_cast<int>(row.size())) + ") does not fit " +
                             std::to_string(g.choices) + " choices");
      }
    }
  }
  // Groups the scn model takes at fixed positions must come out at exactly
  // those positions, whatever a table says.
  for (size_t f = 0; f < talvo::scn_tables::fixed_ev_entry_count; f++) {
    const talvo::scn_tables::FixedEVEntry& e = talvo::scn_tables::fixed_ev_entries[f];
    if (std::strcmp(e.day, day.name) != 0) continue;
    int k = group_position(day, e.name);
    if (k < 0) continue;
    const EvPoffsetRow& row = t.ev_poffsets[k];
    for (int i = 0; i <= e.texts; i++) {
      if (row[i] != e.positions[i]) {
        return fail(why, std::string("the pointer row of ") + e.name + " (" +
                             row_text(row, e.texts + 1) + ") differs from its fixed entry");
      }
    }
  }
  return true;
}

bool check_facts(const ScnDay& day, const DayTables& t, TableParts parts, std::string* why) {
  const CatalogueFacts* facts = facts_for(day);
  if (!facts) return true;
  bool complete = parts == TableParts::kComplete;
  if (facts->va_indexes) {
    for (const VaIndexFact& f : *facts->va_indexes) {
      if (std::strcmp(f.day, day.name) != 0) continue;
      if (!complete && !f.name) continue;
      int n = static_cast<int>(t.va_names.size());
      int pos = f.position < 0 ? n - 1 : f.position;
      std::string where = f.position < 0 ? "the last VA" : "VA " + std::to_string(pos);
      if (pos < 0 || pos >= n) return fail(why, "the VA list has no " + where);
      if (f.name && t.va_names[pos] != f.name) {
        return fail(why, where + " is " + t.va_names[pos] + ", not " + f.name);
      }
      if (complete && t.va_idx[pos] != f.index) {
        return fail(why, where + " (" + t.va_names[pos] + ") stands at index " +
                             std::to_string(t.va_idx[pos]) + ", not " +
                             std::to_string(f.index));
      }
    }
  }
  if (complete && facts->poffsets) {
    for (const PoffsetFact& f : *facts->poffsets) {
      if (std::strcmp(f.day, day.name) != 0) continue;
      int k = group_position(day, f.group);
      if (k < 0) return fail(why, std::string("the catalogue has no option group ") + f.group);
      const EvPoffsetRow& row = t.ev_poffsets[k];
      for (size_t i = 0; i < row.size(); i++) {
        uint16_t expected = i < f.row.size() ? f.row[i] : 0;
        if (row[i] != expected) {
          std::string expected_text;
          for (size_t j = 0; j < f.row.size(); j++) {
            expected_text += (j ? ", " : "") + std::to_string(f.row[j]);
          }
          return fail(why, std::string("the pointer row of ") + f.group + " is " +
                               row_text(row, static_cast<int>(f.row.size())) + ", not " +
                               expected_text);
        }
      }
    }
  }
  return true;
}

}  // namespace

bool builtin_tables_complete(const ScnDay& day) {
  if (day.va_count < 0 || day.ev_count < 0) return false;
  size_t va_count = static_cast<size_t>(day.va_count);
  size_t ev_count = static_cast<size_t>(day.ev_count);
  size_t names = day.va_names ? day.va_names->size() : 0;
  size_t indices = day.va_idx ? day.va_idx->size() : 0;
  size_t rows = day.ev_poffsets ? day.ev_poffsets->size() : 0;
  if (names != va_count || indices != va_count || rows != ev_count) return false;
  if (ev_count > 0 && !day.ev_groups) return false;
  for (size_t i = 0; i < names; i++) {
    if (!(*day.va_names)[i]) return false;
  }
  return true;
}

DayTables builtin_tables(const ScnDay& day) {
  DayTables t;
  if (day.va_names) t.va_names.assign(day.va_names->begin(), day.va_names->end());
  if (day.va_idx) t.va_idx = *day.va_idx;
  if (day.ev_poffsets) t.ev_poffsets = *day.ev_poffsets;
  return t;
}

std::vector<std::string> va_record_names(TalvoScnFile* scn) {
  std::vector<std::string> names;
  unsigned int size = 0;
  const unsigned char* data = scn->GetData(false, &size);
  if (!data || scn->GetVAStart() == 0 || scn->GetVALength() < 0) return names;
  std::unordered_set<std::string> seen;
  int last = scn->GetVALength() / kVARecordSize;
  for (int r = 0; r <= last; r++) {
    talvo::VAType record;
    if (!talvo::read_va_record(data, size, scn->GetVAStart(), r, &record)) break;
    uint16_t w = record.name_offset;
    if (w >= size) continue;
    const void* end = std::memchr(data + w, 0, size - w);
    if (!end) continue;
    size_t len = static_cast<const unsigned char*>(end) - (data + w);
    if (len != kVANameLength) continue;
    std::string name(reinterpret_cast<const char*>(data + w), len);
    if (!TalvoScnFile::LooksLikeVAName(name.c_str())) continue;
    if (seen.insert(name).second) names.push_back(name);
  }
  return names;
}

int search_va_index(TalvoScnFile* scn, const char* name, SearchFailure* failure) {
  talvo::VAType va{};
  if (!scn->FindVA(name, &va, false, false)) {
    failure->kind = SearchFailure::kVaNotFound;
    failure->name = name;
    return -1;
  }
  int index = scn->GetVAIndex(&va);
  if (index < 0) {
    failure->kind = SearchFailure::kVaNoIndex;
    failure->name = name;
    return -1;
  }
  return index;
}

bool search_option_row(TalvoScnFile* scn, const OptionGroup& group, EvPoffsetRow* row,
                       SearchFailure* failure) {
  row->fill(0);
  int c = group.choices;
  if (c > 3) {
    talvo::MOType mo{};
    if (c >= static_cast<int>(row->size()) || !scn->FindMO(group.name, &mo, c, false)) {
      failure->kind = SearchFailure::kMoNotFound;
      failure->name = group.name;
      return false;
    }
    (*row)[0] = mo.name_p_offset;
    for (int i = 0; i < c; i++) (*row)[i + 1] = mo.text_p_offsets[i];
    return true;
  }
  talvo::EVType ev{};
  if (c < 2 || !scn->FindEV(group.name, &ev, c == 3, false, false)) {
    failure->kind = SearchFailure::kEvNotFound;
    failure->name = group.name;
    return false;
  }
  (*row)[0] = ev.name_p_offset;
  (*row)[1] = ev.text1_p_offset;
  (*row)[2] = ev.text2_p_offset;
  if (c == 3) (*row)[3] = ev.text3_p_offset;
  return true;
}

bool search_day_tables(const ScnDay& day, TalvoScnFile* scn,
                       const std::vector<std::string>* names, DayTables* out,
                       SearchFailure* failure) {
  DayTables t;
  if (names) {
    t.va_names = *names;
    t.va_idx.reserve(names->size());
    for (const std::string& name : *names) {
      int index = search_va_index(scn, name.c_str(), failure);
      if (index < 0) return false;
      t.va_idx.push_back(index);
    }
  } else {
    std::vector<std::pair<int, std::string>> placed;
    for (std::string& name : va_record_names(scn)) {
      int index = search_va_index(scn, name.c_str(), failure);
      if (index < 0) return false;
      placed.emplace_back(index, std::move(name));
    }
    // Names come in record order; a name whose first record is a copy is
    // listed where its own record stands.
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& p : placed) {
      t.va_idx.push_back(p.first);
      t.va_names.push_back(std::move(p.second));
    }
  }
  for (int k = 0; k < day.ev_count; k++) {
    EvPoffsetRow row;
    if (!search_option_row(scn, day.ev_groups[k], &row, failure)) return false;
    t.ev_poffsets.push_back(row);
  }
  *out = std::move(t);
  return true;
}

std::string describe_failure(const SearchFailure& failure, const char* day_name) {
  switch (failure.kind) {
    case SearchFailure::kVaNotFound:
      return "VA " + failure.name + " cannot be found in " + day_name + " by name";
    case SearchFailure::kVaNoIndex:
      return "VA " + failure.name + " is not at a record of the VA area";
    case SearchFailure::kEvNotFound:
    case SearchFailure::kMoNotFound:
      return "option group " + failure.name + " cannot be found by name";
    case SearchFailure::kNone:
      break;
  }
  return "the name search failed";
}

void set_catalogue_facts(const ScnCatalogue& catalogue, const CatalogueFacts* facts) {
  std::vector<FactsEntry>& registry = facts_registry();
  const ScnDay* first = catalogue.days;
  const ScnDay* last = catalogue.days + (catalogue.count > 0 ? catalogue.count : 0);
  registry.erase(std::remove_if(registry.begin(), registry.end(),
                                [&](const FactsEntry& e) { return e.first < last && first < e.last; }),
                 registry.end());
  if (facts) registry.push_back({first, last, *facts});
}

bool check_day_tables(const ScnDay& day, const DayTables& tables, TableParts parts,
                      std::string* why) {
  if (!check_names(day, tables, why)) return false;
  if (parts == TableParts::kComplete) {
    if (!check_indexes(day, tables, why)) return false;
    if (!check_rows(day, tables, why)) return false;
  }
  return check_facts(day, tables, parts, why);
}

std::vector<std::string> ini_va_names(IniFile* ini, const char* section) {
  std::vector<std::string> names;
  if (!ini->FindSection(section)) return names;
  std::unordered_set<std::string> seen;
  for (;;) {
    NewString line(ini->ReadLine());
    if (!line) break;
    // As IniFile itself reads a header: "[DAY_B0] ; note" is one too.
    IniFile::RemoveComments(line.get());
    IniFile::RemoveEndSpaces(line.get());
    if (IniFile::IsSection(line.get())) break;
    NewString key(IniFile::GetValueName(line.get()));
    if (!key || !TalvoScnFile::LooksLikeVAName(key.get())) continue;
    if (seen.insert(key.get()).second) names.push_back(key.get());
  }
  return names;
}

bool table_build_error(const char* day_name, const std::string& why) {
  std::fprintf(stderr, "Error: cannot build the tables of %s: %s\n", day_name, why.c_str());
  return false;
}
