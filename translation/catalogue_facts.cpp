#include "translation/catalogue_facts.h"

const std::vector<PoffsetFact> poffset_facts = {
    {"DAY_A0", "EVA05", {1638, 1671, 1668}},
    {"DAY_A0", "Event A07", {3250, 3276, 3273}},
    {"DAY_A0", "EVA11", {4153, 4182, 4179, 4176}},
    {"DAY_A0", "Event A16", {6385, 6437, 6434, 6431}},
    {"DAY_B0", "FC04a", {1839, 1897, 1894, 1891, 1888, 1885, 1882, 1879}},
    {"DAY_B1", "Hack1", {1916, 1959, 1956}},
    {"DAY_D1", "FC05a", {1603, 6628, 6625, 6622}},
    {"DAY_D1", "EVD115", {1062, 1145, 1180, 1215, 1250, 1285, 1320}},
    {"DAY_D3", "EVD32b", {7152, 7221, 7252, 7283, 7314, 7345, 7376, 7407}},
};

const std::vector<VaIndexFact> va_index_facts = {
    {"DAY_A0", 0, "VA01X001", 0},
    {"DAY_A0", 1, "VA01X002", 1},
    {"DAY_A0", -1, "VA19A009", 354},
    {"DAY_B0", -1, "VC04A002", 528},
    {"DAY_D6", 0, "VD74A001", 0},
    {"DAY_D6", 1, "VD74A002", 1},
    {"DAY_D6", 2, "VD74A003", 2},
    {"DAY_D6", 3, "VD74A004", 3},
    {"DAY_D6", 4, "VD74A005", 4},
    {"DAY_D6", 5, "VD75X001", 80},
    {"DAY_B1", -1, nullptr, 306},
    {"DAY_D6", -1, nullptr, 396},
};
