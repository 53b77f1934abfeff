// Rules about single days of the game that the dump and the translation
// follow beyond a day's tables: which day cannot be rebuilt from its first
// VA, which one the dump asks to rebuild so, which one keeps its save prompt.
// The rows are in day_rules.cpp; they are matched by day name, so a
// catalogue that reuses the game's day names follows them too.
#ifndef TALVO_TRANSLATION_DAY_RULES_H
#define TALVO_TRANSLATION_DAY_RULES_H

#include <cstddef>
#include <cstring>

enum class DayRule {
  kNoFullRewrite,        // rewrite_all_va=true is refused for the day
  kDumpAsksFullRewrite,  // the dump's settings lines ask for rewrite_all_va=true
  kKeepsSavePrompt,      // a new save_msg leaves the day's prompt as it is
};

struct DayRuleRow {
  const char* day;
  DayRule rule;
};

extern const DayRuleRow day_rules[];
extern const size_t day_rule_count;

// True when day_rules gives the day named `day` the rule `rule`.
inline bool day_has_rule(const char* day, DayRule rule) {
  for (size_t i = 0; i < day_rule_count; i++) {
    if (day_rules[i].rule == rule && std::strcmp(day_rules[i].day, day) == 0) return true;
  }
  return false;
}

#endif
