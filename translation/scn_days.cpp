// The day catalogue: the seventeen day files of the game disc in the order
// every text operation walks them, with their search windows, option groups
// and digests. The bulk tables each record points at live in the
// day_tables_*.cpp files; see day_tables.h for how they are resolved.
#include "translation/scn_days.h"

// Option groups of each day: the INI key stem and the number of answers.
static const OptionGroup day_a0_EV[] = {
    {"EVA05", 2},
    {"Event A07", 2},
    {"EVA11", 3},
    {"Event A16", 3},
};
static const OptionGroup day_a1_EV[] = {
    {"FC06a", 2},
    {"FC07a", 2},
    {"EVA28", 2},
    {"FC01b", 2},
    {"Event A30", 2},
};
static const OptionGroup day_b0_EV[] = {
    {"Event B01-1", 2},
    {"FC04a", 7},
    {"FC08c", 2},
    {"GAYA2", 2},
    {"FC03b", 2},
    {"C14", 2},
    {"C03", 4},
    {"FC14a", 3},
    {"EVB32", 2},
    {"SE015", 3},
};
static const OptionGroup day_b1_EV[] = {
    {"FC08c", 3},
    {"Hack1", 2},
    {"FC08f", 2},
    {"EVB08", 6},
    {"EVB10", 3},
    {"EVB12", 3},
    {"EVB13", 3},
    {"Hack2", 2},
};
static const OptionGroup day_b2_EV[] = {
    {"BG30", 5},
    {"EVB29a", 4},
    {"FC05a", 3},
    {"EVB29b", 4},
    {"EVB29d", 4},
    {"SE015", 3},
    {"FC08g", 2},
    {"BG11c", 7},
    {"EVA38", 2},
};
static const OptionGroup day_c0_EV[] = {
    {"EVC27", 2},
    {"BG06", 5},
    {"A12", 5},
    {"FC04a", 5},
    {"FC18a", 2},
    {"FC17d", 2},
    {"FC01b", 3},
    {"Hack1", 3},
    {"FC05a", 3},
    {"FC06f", 2},
    {"FC16c", 2},
};
static const OptionGroup day_c1_EV[] = {
    {"GAYA32", 3},
    {"BG54", 4},
    {"GAYA24", 3},
    {"Hack2", 2},
    {"SE009", 2},
    {"Hack5", 2},
    {"FC14a", 2},
    {"FC06f", 2},
    {"EVC36", 2},
    {"EVC38", 2},
    {"Hack6", 2},
    {"EVA52", 4},
    {"Hack7", 3},
    {"EVC08", 2},
    {"EVC44", 2},
    {"FC07a", 2},
    {"Hack8", 2},
    {"FC08a", 2},
    {"SE078", 2},
};
static const OptionGroup day_c2_EV[] = {
    {"EVB08", 6},
    {"SE033", 2},
    {"EVB10", 3},
    {"EVB12b", 3},
    {"EVB13", 3},
};
static const OptionGroup day_c3_EV[] = {
    {"FC03a", 5},
    {"EVB29f", 4},
    {"FC01a", 3},
    {"EVB29h", 4},
    {"EVB29i", 4},
    {"BG11c", 7},
    {"EVA38", 2},
};
static const OptionGroup day_d0_EV[] = {
    {"BG66", 2},
    {"SE086", 2},
};
static const OptionGroup day_d1_EV[] = {
    {"EVD115", 6},
    {"ANSI", 6},
    {"FC07a", 3},
    {"FC01b", 3},
    {"FC05a", 3},
    {"FC06a", 3},
    {"EVD99", 3},
};
static const OptionGroup day_d2_EV[] = {
    {"BG52", 5},
};
static const OptionGroup day_d3_EV[] = {
    {"EVD32b", 7},
};
static const OptionGroup day_d4_EV[] = {
    {"SAKASA", 2},
    {"EVD41", 5},
};
static const OptionGroup day_d5_EV[] = {
    {"BG07", 3},
    {"Hack1", 3},
};
static const OptionGroup day_d7_EV[] = {
    {"EVD91", 3},
    {"EVD92", 3},
};

const ScnDay scn_days[kScnDayCount] = {
    {"DAY_A0", "/SCNBIN/DAY_A0.SCN", &day_a0_VA, 352, 7808, 5350, &day_a0_va_idx,
     day_a0_EV, 4, 1638, 4800, &day_a0_ev_poffsets, false,
     {0x97, 0x56, 0xea, 0xe1, 0x61, 0x35, 0x08, 0xa1, 0x89, 0xc1, 0x98, 0x49, 0xc5, 0x5f, 0xfc, 0xf6}},
    {"DAY_A1", "/SCNBIN/DAY_A1.SCN", &day_a1_VA, 402, 6671, 6050, &day_a1_va_idx,
     day_a1_EV, 5, 1827, 4200, &day_a1_ev_poffsets, false,
     {0x88, 0x1f, 0xfa, 0x88, 0x34, 0x29, 0xf3, 0x6a, 0x78, 0xa9, 0x18, 0xaa, 0x6a, 0xe8, 0xce, 0xc0}},
    {"DAY_B0", "/SCNBIN/DAY_B0.SCN", &day_b0_VA, 529, 13865, 7950, &day_b0_va_idx,
     day_b0_EV, 10, 1363, 10000, &day_b0_ev_poffsets, false,
     {0x59, 0x19, 0x28, 0xef, 0x29, 0xb2, 0x60, 0x47, 0x1c, 0x16, 0x31, 0x32, 0x2e, 0xf9, 0xe6, 0xc3}},
    {"DAY_B1", "/SCNBIN/DAY_B1.SCN", &day_b1_VA, 289, 7719, 4600, &day_b1_va_idx,
     day_b1_EV, 8, 1272, 4650, &day_b1_ev_poffsets, true,
     {0x70, 0xa0, 0x82, 0x39, 0x8a, 0xa5, 0xf1, 0xda, 0x26, 0xb4, 0xc6, 0xc1, 0x8b, 0x80, 0x63, 0x9f}},
    {"DAY_B2", "/SCNBIN/DAY_B2.SCN", &day_b2_VA, 456, 11437, 7100, &day_b2_va_idx,
     day_b2_EV, 9, 1351, 9850, &day_b2_ev_poffsets, true,
     {0x25, 0x46, 0x6b, 0x7b, 0x7f, 0x84, 0xf9, 0x30, 0xa8, 0x00, 0x8f, 0x1d, 0x35, 0x6f, 0xba, 0xce}},
    {"DAY_C0", "/SCNBIN/DAY_C0.SCN", &day_c0_VA, 627, 16160, 9700, &day_c0_va_idx,
     day_c0_EV, 11, 1964, 15000, &day_c0_ev_poffsets, true,
     {0xf9, 0x42, 0x22, 0xb8, 0xfb, 0x43, 0x34, 0x44, 0x00, 0xd5, 0xb5, 0xd2, 0x89, 0x6b, 0xd4, 0x95}},
    {"DAY_C1", "/SCNBIN/DAY_C1.SCN", &day_c1_VA, 354, 11128, 5400, &day_c1_va_idx,
     day_c1_EV, 19, 1164, 9900, &day_c1_ev_poffsets, true,
     {0x3a, 0xf9, 0x8c, 0xb6, 0x9f, 0xf8, 0xc9, 0x8c, 0x41, 0xab, 0x1e, 0xb3, 0x64, 0xac, 0x49, 0x9b}},
    {"DAY_C2", "/SCNBIN/DAY_C2.SCN", &day_c2_VA, 371, 9361, 6450, &day_c2_va_idx,
     day_c2_EV, 5, 2007, 5450, &day_c2_ev_poffsets, true,
     {0x8c, 0x10, 0x5d, 0x11, 0xd1, 0xc2, 0x92, 0x14, 0x07, 0xe4, 0x36, 0x0c, 0x26, 0xb0, 0xb0, 0x1a}},
    {"DAY_C3", "/SCNBIN/DAY_C3.SCN", &day_c3_VA, 492, 13067, 7900, &day_c3_va_idx,
     day_c3_EV, 7, 2377, 11000, &day_c3_ev_poffsets, true,
     {0xff, 0x9c, 0x1c, 0x07, 0xa7, 0xa1, 0x68, 0x21, 0x0c, 0x88, 0x3a, 0xee, 0x07, 0xee, 0xaa, 0x37}},
    {"DAY_D0", "/SCNBIN/DAY_D0.SCN", &day_d0_VA, 449, 9414, 6750, &day_d0_va_idx,
     day_d0_EV, 2, 1686, 7650, &day_d0_ev_poffsets, false,
     {0xbb, 0xd8, 0xd5, 0x72, 0x00, 0x4e, 0x8d, 0x64, 0x35, 0xdc, 0x49, 0x75, 0x93, 0xdc, 0xb1, 0xdb}},
    {"DAY_D1", "/SCNBIN/DAY_D1.SCN", &day_d1_VA, 348, 9293, 5650, &day_d1_va_idx,
     day_d1_EV, 7, 1062, 7750, &day_d1_ev_poffsets, true,
     {0x2b, 0x5f, 0xe3, 0x6e, 0x04, 0xdf, 0x75, 0xf1, 0x49, 0x9a, 0x90, 0x7c, 0xcf, 0xf0, 0xd9, 0xfa}},
    {"DAY_D2", "/SCNBIN/DAY_D2.SCN", &day_d2_VA, 508, 11355, 7650, &day_d2_va_idx,
     day_d2_EV, 1, 3810, 200, &day_d2_ev_poffsets, false,
     {0x5c, 0x66, 0xa8, 0x9d, 0x8e, 0x89, 0x78, 0xef, 0x9e, 0x36, 0xdc, 0x29, 0xac, 0x5c, 0xae, 0x42}},
    {"DAY_D3", "/SCNBIN/DAY_D3.SCN", &day_d3_VA, 277, 7806, 5850, &day_d3_va_idx,
     day_d3_EV, 1, 7152, 300, &day_d3_ev_poffsets, true,
     {0x93, 0x7c, 0x37, 0x5c, 0xb4, 0x22, 0x4a, 0xac, 0x02, 0x79, 0xcb, 0xbb, 0xdd, 0x9f, 0xd2, 0x5a}},
    {"DAY_D4", "/SCNBIN/DAY_D4.SCN", &day_d4_VA, 195, 10719, 3250, &day_d4_va_idx,
     day_d4_EV, 2, 3417, 7200, &day_d4_ev_poffsets, true,
     {0x5e, 0x89, 0xec, 0x2e, 0x21, 0xb3, 0x91, 0xb5, 0x5a, 0x30, 0xce, 0x60, 0xd1, 0xf1, 0xc5, 0xff}},
    {"DAY_D5", "/SCNBIN/DAY_D5.SCN", &day_d5_VA, 302, 7566, 4650, &day_d5_va_idx,
     day_d5_EV, 2, 7064, 100, &day_d5_ev_poffsets, true,
     {0x4c, 0xae, 0xfd, 0x9e, 0x30, 0x18, 0x61, 0xd8, 0x3f, 0x15, 0xe5, 0xfb, 0xb9, 0x18, 0x09, 0xdf}},
    {"DAY_D6", "/SCNBIN/DAY_D6.SCN", &day_d6_VA, 291, 10047, 5950, &day_d6_va_idx,
     nullptr, 0, 0, 0, nullptr, true,
     {0x49, 0xdf, 0x44, 0x51, 0x53, 0xbc, 0x8d, 0x6a, 0xe6, 0xf2, 0x94, 0x09, 0x44, 0x42, 0xfd, 0x17}},
    {"DAY_D7", "/SCNBIN/DAY_D7.SCN", &day_d7_VA, 89, 2997, 1350, &day_d7_va_idx,
     day_d7_EV, 2, 812, 1000, &day_d7_ev_poffsets, false,
     {0xf3, 0x0a, 0x54, 0xe8, 0xeb, 0x96, 0x4a, 0x2e, 0x5c, 0xd3, 0x1c, 0xff, 0x83, 0x6b, 0x32, 0x65}},
};

const ScnCatalogue scn_catalogue = {scn_days, kScnDayCount};
