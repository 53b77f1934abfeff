// VA names after which the game's VA area has unused records, so the record
// that follows may lie further on; a few of them twice.
#include "scn/scn_tables.h"

namespace talvo {
namespace scn_tables {

const char* const va_gap_names[] = {
    "VA13X001", "VF38A001", "VB36A001", "VB41X012", "VC02B007", "VC04B004", "VC04C001",
    "VC04H004", "VC05X001", "VC12H001", "VC44B001", "VC47A001", "VC48X001", "VC73X001",
    "VD15A001", "VD16A001", "VX50X001", "VD33C004", "VD33E001", "VD33E004", "VD34X001",
    "VD49C001", "VD64A001", "VV04X001", "VD75X001", "VD80N001", "VQ01X001", "VM09X001",
};
const size_t va_gap_name_count = sizeof(va_gap_names) / sizeof(va_gap_names[0]);

const char* const va_double_gap_names[] = {
    "VD33C004",
    "VD33E004",
};
const size_t va_double_gap_name_count =
    sizeof(va_double_gap_names) / sizeof(va_double_gap_names[0]);

}  // namespace scn_tables
}  // namespace talvo
