// Entries that the game's day files store more than once, and where each
// copy lies: the copy's name-pointer position per VA name number, the chain
// from one duplicated name to the next, and the copies of option groups.
#include "scn/scn_tables.h"

namespace talvo {
namespace scn_tables {

using P = CopyPosition;
using N = CopyName;

const VACopyRule va_copy_rules[] = {
    // day      prefix   lo   hi        only_name   renumber position       k       copy name            fixed name
    {"DAY_B1", "VF37B", 0, kNoLimit, nullptr, 0, P::kFromOne, 10724, N::kSame, nullptr},
    {"DAY_B1", "VF37C", 0, kNoLimit, nullptr, 0, P::kFromOne, 10829, N::kSame, nullptr},
    {"DAY_B2", "VB35B", 0, 91, nullptr, 0, P::kFromOne, 16047, N::kSame, nullptr},
    {"DAY_B2", "VB35B", 92, kNoLimit, nullptr, -90, P::kFromOne, 16047, N::kFixed, "VB35B001"},
    {"DAY_B2", "VB37X", 0, 11, nullptr, 0, P::kFromOne, 18162, N::kSame, nullptr},
    {"DAY_C0", "VC02A", 3, 3, "VC02A003", 0, P::kFixed, 16945, N::kSame, nullptr},
    {"DAY_C0", "VC04A", 1, 3, nullptr, 0, P::kFromOne, 17260, N::kSame, nullptr},
    {"DAY_C0", "VC04A", 101, 103, nullptr, 0, P::kTimesN, 15925, N::kFirstDigit0, nullptr},
    {"DAY_C0", "VC04A", 6, 6, nullptr, 0, P::kFixed, 17335, N::kSame, nullptr},
    {"DAY_C0", "VC04A", 106, 106, nullptr, 0, P::kFixed, 17425, N::kFixed, "VC04A006"},
    {"DAY_C0", "VC04A", 206, 206, nullptr, 0, P::kFixed, 17530, N::kFixed, "VC04A006"},
    {"DAY_C0", "VC12A", 18, 26, nullptr, 0, P::kTimesN, 20290, N::kSame, nullptr},
    {"DAY_C2", "VC43B", 6, kNoLimit, nullptr, 0, P::kTimesN, 10701, N::kSame, nullptr},
    {"DAY_C2", "VC43C", 0, kNoLimit, nullptr, 0, P::kFromOne, 10971, N::kSame, nullptr},
    {"DAY_C2", "VC43D", 0, kNoLimit, nullptr, 0, P::kFromOne, 11091, N::kSame, nullptr},
    {"DAY_C2", "VC46D", 0, 6, nullptr, 0, P::kFromOne, 13701, N::kSame, nullptr},
    {"DAY_C2", "VC46D", 9, kNoLimit, nullptr, 0, P::kTimesN, 13656, N::kSame, nullptr},
    {"DAY_C2", "VC47C", 0, kNoLimit, nullptr, 0, P::kFromOne, 14361, N::kSame, nullptr},
    {"DAY_C2", "VC47D", 0, kNoLimit, nullptr, 0, P::kFromOne, 14541, N::kSame, nullptr},
    {"DAY_C3", "VC72A", 6, kNoLimit, nullptr, 0, P::kTimesN, 20002, N::kSame, nullptr},
    {"DAY_D1", "VD13F", 6, 14, nullptr, 0, P::kTimesN, 12238, N::kSame, nullptr},
    {"DAY_D1", "VD13F", 106, 114, nullptr, 0, P::kTimesN, 11668, N::kFirstDigit0, nullptr},
    {"DAY_D1", "VD13F", 207, kNoLimit, nullptr, 0, P::kTimesN, 11053, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 0, 99, nullptr, 0, P::kFromOne, 8711, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 100, 199, nullptr, 0, P::kTimesN, 7331, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 200, 299, nullptr, 0, P::kTimesN, 5966, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 303, 399, nullptr, 0, P::kTimesN, 4601, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 403, 499, nullptr, 0, P::kTimesN, 3236, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 503, 599, nullptr, 0, P::kTimesN, 1871, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 603, 699, nullptr, 0, P::kTimesN, 506, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 703, 799, nullptr, 0, P::kTimesN, -859, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 803, 899, nullptr, 0, P::kTimesN, -2224, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 903, 909, nullptr, 0, P::kTimesN, -3589, N::kFirstDigit0, nullptr},
    {"DAY_D3", "VD33A", 913, 919, nullptr, 0, P::kTimesN, -3604, N::kFirstTwoDigits0, nullptr},
    {"DAY_D3", "VD33A", 923, 929, nullptr, 0, P::kTimesN, -3619, N::kFirstTwoDigits0, nullptr},
    {"DAY_D3", "VD33A", 933, kNoLimit, nullptr, 0, P::kTimesN, -3634, N::kFirstTwoDigits0, nullptr},
    {"DAY_D3", "VD33A", 300, 302, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 400, 402, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 500, 502, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 600, 602, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 700, 702, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 800, 802, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 900, 902, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 910, 912, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 920, 922, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33A", 930, 932, nullptr, 0, P::kNone, 0, N::kSame, nullptr},
    {"DAY_D3", "VD33E", 0, 99, nullptr, 0, P::kFromOne, 9251, N::kSame, nullptr},
    {"DAY_D3", "VD33E", 100, kNoLimit, nullptr, 0, P::kHundreds9, 9251, N::kFirstDigit0, nullptr},
    {"DAY_D4", "VD39A", 0, kNoLimit, nullptr, 0, P::kFromOne, 12449, N::kSame, nullptr},
    {"DAY_D4", "VD39B", 0, kNoLimit, nullptr, 0, P::kFromOne, 12509, N::kSame, nullptr},
    {"DAY_D4", "VD39D", 0, kNoLimit, nullptr, 0, P::kFromOne, 12704, N::kSame, nullptr},
    {"DAY_D5", "VV03A", 0, kNoLimit, nullptr, 0, P::kFromOne, 11411, N::kSame, nullptr},
    {"DAY_D5", "VV03B", 0, kNoLimit, nullptr, 0, P::kFromOne, 11441, N::kSame, nullptr},
    {"DAY_D5", "VV03C", 0, kNoLimit, nullptr, 0, P::kFromOne, 11471, N::kSame, nullptr},
    {"DAY_D6", "VD74A", 0, kNoLimit, nullptr, 0, P::kTens5, 10127, N::kByMagnitude, nullptr},
    {"DAY_D6", "VD80A", 0, 109, nullptr, 0, P::kTens2, 12377, N::kByMagnitude, nullptr},
    {"DAY_D6", "VD80A", 110, kNoLimit, nullptr, 0, P::kTens2Plus3, 12377, N::kFirstTwoDigits0, nullptr},
    {"DAY_D6", "VJ11X", 0, kNoLimit, nullptr, 0, P::kFromOne, 14267, N::kSame, nullptr},
};
const size_t va_copy_rule_count = sizeof(va_copy_rules) / sizeof(va_copy_rules[0]);

// The first matching row wins (DAY_D3 VD33A004 goes to 204, not 104).
const NextNameRule next_name_rules[] = {
    // day      prefix   lo   hi   fixed next  add
    {"DAY_B2", "VB35B", 1, 1, 92, 0},
    {"DAY_B2", "VB35B", 2, 4, -1, 91},
    {"DAY_C0", "VC04A", 1, 3, -1, 100},
    {"DAY_C0", "VC04A", 6, 6, 106, 0},
    {"DAY_C0", "VC04A", 106, 106, 206, 0},
    {"DAY_D1", "VD13F", 6, 14, -1, 100},
    {"DAY_D1", "VD13F", 107, 114, -1, 100},
    {"DAY_D3", "VD33A", 4, 4, 204, 0},
    {"DAY_D3", "VD33A", 0, 99, -1, 100},
    {"DAY_D3", "VD33A", 100, 199, -1, 100},
    {"DAY_D3", "VD33A", 203, 203, -1, 100},
    {"DAY_D3", "VD33A", 205, 209, -1, 100},
    {"DAY_D3", "VD33A", 303, 303, -1, 100},
    {"DAY_D3", "VD33A", 305, 309, -1, 100},
    {"DAY_D3", "VD33A", 403, 403, -1, 100},
    {"DAY_D3", "VD33A", 405, 409, -1, 100},
    {"DAY_D3", "VD33A", 503, 503, -1, 100},
    {"DAY_D3", "VD33A", 505, 509, -1, 100},
    {"DAY_D3", "VD33A", 603, 603, -1, 100},
    {"DAY_D3", "VD33A", 605, 609, -1, 100},
    {"DAY_D3", "VD33A", 703, 703, -1, 100},
    {"DAY_D3", "VD33A", 705, 709, -1, 100},
    {"DAY_D3", "VD33A", 803, 803, -1, 100},
    {"DAY_D3", "VD33A", 805, 809, -1, 100},
    {"DAY_D3", "VD33A", 903, 903, -1, 10},
    {"DAY_D3", "VD33A", 905, 909, -1, 10},
    {"DAY_D3", "VD33A", 913, 913, -1, 10},
    {"DAY_D3", "VD33A", 915, 919, -1, 10},
    {"DAY_D3", "VD33A", 923, 923, -1, 10},
    {"DAY_D3", "VD33A", 925, 929, -1, 10},
    {"DAY_D3", "VD33E", 0, 799, -1, 100},
    {"DAY_D6", "VD74A", 0, 139, -1, 10},
    {"DAY_D6", "VD80A", 0, 109, -1, 10},
};
const size_t next_name_rule_count = sizeof(next_name_rules) / sizeof(next_name_rules[0]);

const EVCopy ev_copies[] = {
    // day      name      copy name  copy offsets                  copy pointer positions
    {"DAY_B1", "EVB12", "EVB12", {13864, 13870, 13879, 13890}, {5375, 5392, 5438, 5435}},
    {"DAY_B1", "Hack2", "FC08c", {14329, 14335, 14350, 0}, {7060, 7100, 7097, 0}},
    {"DAY_C1", "GAYA24", "GAYA24", {17192, 17199, 17212, 17227}, {3298, 3419, 3416, 3413}},
    {"DAY_C1", "Hack2", "GAYA24", {17406, 17413, 17428, 0}, {3820, 3879, 3876, 0}},
    {"DAY_C1", "SE009", "SE009", {17581, 17587, 17600, 0}, {4176, 4213, 4210, 0}},
    {"DAY_C2", "SE033", "SE033", {16604, 16610, 16627, 0}, {3068, 3118, 3115, 0}},
    {"DAY_C2", "EVB10", "EVB10", {16920, 16926, 16933, 16944}, {4134, 4151, 4191, 4188}},
    {"DAY_C2", "EVB12b", "EVB12b", {17610, 17617, 17626, 17645}, {6635, 6652, 6728, 6725}},
    {"DAY_C2", "EVB13", "EVB13", {17928, 17934, 17939, 17950}, {7768, 7785, 7828, 7825}},
};
const size_t ev_copy_count = sizeof(ev_copies) / sizeof(ev_copies[0]);

}  // namespace scn_tables
}  // namespace talvo
