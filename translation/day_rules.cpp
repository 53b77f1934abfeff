#include "translation/day_rules.h"

const DayRuleRow day_rules[] = {
    {"DAY_A0", DayRule::kNoFullRewrite},
    {"DAY_C0", DayRule::kDumpAsksFullRewrite},
    {"DAY_D7", DayRule::kKeepsSavePrompt},
};
const size_t day_rule_count = sizeof(day_rules) / sizeof(day_rules[0]);
