// Option groups whose pointers the name search cannot tell apart from
// others: their offsets and pointer positions are known per day, in whole or
// for the one pointer the search gets wrong.
#include "scn/scn_tables.h"

namespace talvo {
namespace scn_tables {

const FixedEVEntry fixed_ev_entries[] = {
    {"DAY_B1", "Hack1", 2, {12787, 12793, 12812, 0}, {1916, 1959, 1956, 0}},
    {"DAY_B1", "Hack2", 2, {14165, 14171, 14186, 0}, {6436, 6473, 6470, 0}},
    {"DAY_C0", "Hack1", 3, {29469, 29475, 29482, 29499}, {13463, 13490, 13535, 13532}},
    {"DAY_C1", "Hack2", 2, {17311, 17318, 17333, 0}, {3612, 3671, 3668, 0}},
    {"DAY_C1", "Hack5", 2, {17673, 17680, 17701, 0}, {4409, 4471, 4468, 0}},
    {"DAY_C1", "Hack6", 2, {18451, 18457, 18472, 0}, {7028, 7087, 7084, 0}},
    {"DAY_C1", "Hack7", 3, {18643, 18649, 18662, 18673}, {7636, 7653, 7723, 7720}},
    {"DAY_C1", "Hack8", 2, {19289, 19295, 19310, 0}, {9477, 9541, 9538, 0}},
    {"DAY_D5", "Hack1", 3, {14377, 14382, 14391, 14402}, {7240, 7293, 7290, 7287}},
};
const size_t fixed_ev_entry_count = sizeof(fixed_ev_entries) / sizeof(fixed_ev_entries[0]);

const EVPositionFix ev_position_fixes[] = {
    {"DAY_D1", "FC05a", 6628},
};
const size_t ev_position_fix_count = sizeof(ev_position_fixes) / sizeof(ev_position_fixes[0]);

}  // namespace scn_tables
}  // namespace talvo
