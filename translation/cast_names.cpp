// Display names of the game's cast. These are game data that this build does
// not carry: every entry is a neutral placeholder. Replace the names (one
// short romanised name each) to get the real speakers in the comments; the
// ids are fixed.
#include "translation/actors.h"

const CastName cast_names[] = {
    {2, "Cast 02"},  {3, "Cast 03"},  {4, "Cast 04"},  {5, "Cast 05"},  {6, "Cast 06"},
    {7, "Cast 07"},  {8, "Cast 08"},  {9, "Cast 09"},  {10, "Cast 10"}, {11, "Cast 11"},
    {12, "Cast 12"}, {20, "Cast 20"}, {21, "Cast 21"}, {22, "Cast 22"}, {23, "Cast 23"},
    {24, "Cast 24"}, {25, "Cast 25"}, {26, "Cast 26"}, {27, "Cast 27"}, {71, "Cast 71"},
    {83, "Cast 83"},
};
const int cast_name_count = sizeof(cast_names) / sizeof(cast_names[0]);
