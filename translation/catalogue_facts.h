// Known values of the generated tables of the game disc: a few rows of each
// table that any correct table must reproduce. They do not make a table; they
// let a table made from a disc be checked before it is trusted.
#ifndef TALVO_TRANSLATION_CATALOGUE_FACTS_H
#define TALVO_TRANSLATION_CATALOGUE_FACTS_H

#include <vector>

#include "translation/day_tables.h"

// The pointer positions of one option group (name pointer first).
struct PoffsetFact {
  const char* day;
  const char* group;
  std::vector<uint16_t> row;
};

// A VA name and its record index at a position of a day's list; position -1
// means the last name of the list.
struct VaIndexFact {
  const char* day;
  int position;
  const char* name;
  int index;
};

extern const std::vector<PoffsetFact> poffset_facts;
extern const std::vector<VaIndexFact> va_index_facts;

#endif
