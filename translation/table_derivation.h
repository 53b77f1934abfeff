// Finding a day's bulk tables in its scn file, and checking any table before
// it is trusted. The table generators print what these searches find, and the
// table resolution derives the tables of a day whose built-in tables are empty
// from the same searches, so a derived table is exactly what the generators
// would have written into the program.
#ifndef TALVO_TRANSLATION_TABLE_DERIVATION_H
#define TALVO_TRANSLATION_TABLE_DERIVATION_H

#include <string>
#include <vector>

#include "translation/catalogue_facts.h"
#include "translation/day_tables.h"
#include "translation/scn_days.h"

namespace talvo {
class IniFile;
class TalvoScnFile;
}  // namespace talvo

// Why a name search found nothing usable.
struct SearchFailure {
  enum Kind { kNone, kVaNotFound, kVaNoIndex, kEvNotFound, kMoNotFound };
  Kind kind = kNone;
  std::string name;  // the VA name or the option group name
};

// True when the day has built-in names, indexes and rows of the counts the
// catalogue promises. Incomplete tables are never used in part.
bool builtin_tables_complete(const ScnDay& day);

// The built-in tables of a complete day.
DayTables builtin_tables(const ScnDay& day);

// The distinct names of the VA records of scn's VA window (records 0 to
// va_length / kVARecordSize) that look like VA names, in record order.
// Records whose name pointer leaves the image are passed over; the list ends
// at the first record that leaves it.
// REQUIRES: scn holds an image and its VA window is set.
std::vector<std::string> va_record_names(talvo::TalvoScnFile* scn);

// Record index of the VA `name` by name search (FindVA, then GetVAIndex, both
// repair flags off); -1 with *failure set when the search fails.
int search_va_index(talvo::TalvoScnFile* scn, const char* name, SearchFailure* failure);

// Pointer positions of an option group by name search: FindMO for more than
// three choices, FindEV otherwise. False with *failure set when not found.
// REQUIRES: scn's EV window is set.
bool search_option_row(talvo::TalvoScnFile* scn, const OptionGroup& group, EvPoffsetRow* row,
                       SearchFailure* failure);

// The day's tables by name search in scn, whose VA and EV windows are set.
// With names, their indexes in list order; without (null), the names of
// va_record_names, listed in rising index order. Rows for every option group.
// False with *failure set at the first search that fails.
bool search_day_tables(const ScnDay& day, talvo::TalvoScnFile* scn,
                       const std::vector<std::string>* names, DayTables* out,
                       SearchFailure* failure);

// The message of a failed search, as the table resolution words it.
std::string describe_failure(const SearchFailure& failure, const char* day_name);

// What a table must agree with beyond the catalogue's counts and windows:
// known rows of the generated tables. The game's catalogue carries the game's
// facts; another catalogue carries its own, or none.
struct CatalogueFacts {
  const std::vector<VaIndexFact>* va_indexes = nullptr;  // may be null
  const std::vector<PoffsetFact>* poffsets = nullptr;    // may be null
};

// Sets the facts for the days of `catalogue` (replacing earlier ones for the
// same days); null facts remove them. The built-in catalogue starts with the
// game's facts; any other catalogue has none until set here.
void set_catalogue_facts(const ScnCatalogue& catalogue, const CatalogueFacts* facts);

// Which parts of a table a check can see: names only (from an INI file), or
// names with indexes and option rows.
enum class TableParts { kNamesOnly, kComplete };

// Checks a table against everything the catalogue knows about the day: the
// VA and group counts, names that look like VA names and stand once, strictly
// rising indexes not above va_search_length / 15, complete option rows, the
// fixed option entries of the scn model, and the day's facts. True when all
// agree; otherwise false with the first disagreement in *why.
bool check_day_tables(const ScnDay& day, const DayTables& tables, TableParts parts,
                      std::string* why);

// The keys of the day's section of ini that look like VA names, in file order,
// each once. Empty when the section is missing.
std::vector<std::string> ini_va_names(talvo::IniFile* ini, const char* section);

// Prints "Error: cannot build the tables of %s: %s\n" and returns false.
bool table_build_error(const char* day_name, const std::string& why);

#endif
