// Generated data: the VA names of each day, in script order, without the
// names of duplicated records. They come from an unchanged game disc and are
// not shipped; fill each list with one quoted name a line ("\t\"VA01X001\",").
#include "translation/scn_days.h"

const DayNameTable day_a0_VA =
{
};

const DayNameTable day_a1_VA =
{
};

const DayNameTable day_b0_VA =
{
};

const DayNameTable day_b1_VA =
{
};

const DayNameTable day_b2_VA =
{
};

const DayNameTable day_c0_VA =
{
};

const DayNameTable day_c1_VA =
{
};

const DayNameTable day_c2_VA =
{
};

const DayNameTable day_c3_VA =
{
};

const DayNameTable day_d0_VA =
{
};

const DayNameTable day_d1_VA =
{
};

const DayNameTable day_d2_VA =
{
};

const DayNameTable day_d3_VA =
{
};

const DayNameTable day_d4_VA =
{
};

const DayNameTable day_d5_VA =
{
};

const DayNameTable day_d6_VA =
{
};

const DayNameTable day_d7_VA =
{
};
