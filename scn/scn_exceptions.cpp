// Pointer-like values in the day files that the name searches must pass
// over, and the VA names whose duplicates are expected and not warned about.
#include "scn/scn_tables.h"

namespace talvo {
namespace scn_tables {

const VAPositionException va_position_exceptions[] = {
    {"VA07B006", {9382, 9702}},
    {"VA29X025", {9475, 10845}},
    {"VA30C014", {11745}},
    {"VB08X016", {13944, 14734}},
    {"VF04X007", {16759}},
    {"VF15X005", {16509}},
    {"VF26F002", {8263, 8393}},
    {"VB26D008", {12401, 12771}},
    {"VB30X004", {13496, 15336}},
    {"VC02X006", {16224}},
    {"VC09X014", {17194, 17284, 17359, 17464}},
    {"VC12H038", {16779, 18604, 20164}},
    {"VC13B002", {18309, 19279, 20494}},
    {"VC13D015", {16408, 16558, 16573, 19993, 20413, 20998}},
    {"VC21A006", {17914}},
    {"VC21B001", {17224, 18469, 19144, 19309, 21039, 22939}},
    {"VC44C011", {10355, 10925, 11010}},
    {"VC72A030", {15996}},
    {"VC73X005", {13956, 15201, 15991, 19536, 20121}},
    {"VD04G008", {9728, 9983, 10303}},
    {"VD14D013", {9322, 10842}},
    {"VD64D005", {11483, 11953, 12773, 12883}},
    {"VD80A002", {11371}},
    {"VT09X004", {11801, 12746}},
    {"VV03A002", {7765}},
    {"VV05X001", {9340, 10385, 10615}},
};
const size_t va_position_exception_count =
    sizeof(va_position_exceptions) / sizeof(va_position_exceptions[0]);

const VAValueException va_value_exceptions[] = {
    {"VD13F008", 34369},
};
const size_t va_value_exception_count = sizeof(va_value_exceptions) / sizeof(va_value_exceptions[0]);

const EVValueException ev_value_exceptions[] = {
    {"EVA11", {14171}},
    {"FC06a", {13076, 16969}},
    {"FC01b", {13468, 13550, 13841, 16217, 26714, 28314}},
    {"FC04a", {22197, 26095}},
    {"FC08c", {22555}},
    {"FC03b", {23064, 23090}},
    {"C14", {22568, 22936}},
    {"C03", {22019, 23645}},
    {"FC08f", {12683, 12722, 12750, 12858, 12886}},
    {"EVB08", {12547, 16227}},
    {"FC05a", {16617, 19461, 26863, 27793, 27815, 27862, 28341}},
    {"BG06", {26678, 26827, 26976, 27125}},
    {"FC18a", {28421, 28489}},
    {"FC06f", {18040, 18052, 29775, 29787}},
    {"SE009", {17061, 17171, 17290, 17385}},
    {"FC14a", {17737, 17796}},
    {"EVC44", {18862, 18977}},
    {"SE078", {19261, 19585}},
    {"SE086", {17674, 18256}},
    {"FC07a", {15805}},
};
const size_t ev_value_exception_count = sizeof(ev_value_exceptions) / sizeof(ev_value_exceptions[0]);

const char* const warning_exceptions[] = {
    "VA02X009", "VA22A005", "VA25A032", "VA29X025", "VB08X016", "VF04X007", "VF15X005",
    "VF26E001", "VF26F002", "VB26D008", "VB28I006", "VB30X004", "VC01B018", "VC02X006",
    "VC09X014", "VC12H038", "VC13D015", "VC21A006", "VW04A006", "VW08D009", "VW12B009",
    "VC44C011", "VC47C002", "VD04G008", "VD11X013", "VD14D013", "VD17X008", "VD31C001",
    "VD31C002", "VD31C026", "VD64D005", "VV03A002", "VX03X002",
};
const size_t warning_exception_count = sizeof(warning_exceptions) / sizeof(warning_exceptions[0]);

}  // namespace scn_tables
}  // namespace talvo
