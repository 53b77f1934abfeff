// Generated data: the record index of every VA name of each day, as
// print_va_idx writes the rows ("\t%u,"). They come from an unchanged game
// disc and are not shipped; paste each day's rows between its braces.
#include "translation/scn_days.h"

const DayIndexTable day_a0_va_idx =
{
};

const DayIndexTable day_a1_va_idx =
{
};

const DayIndexTable day_b0_va_idx =
{
};

const DayIndexTable day_b1_va_idx =
{
};

const DayIndexTable day_b2_va_idx =
{
};

const DayIndexTable day_c0_va_idx =
{
};

const DayIndexTable day_c1_va_idx =
{
};

const DayIndexTable day_c2_va_idx =
{
};

const DayIndexTable day_c3_va_idx =
{
};

const DayIndexTable day_d0_va_idx =
{
};

const DayIndexTable day_d1_va_idx =
{
};

const DayIndexTable day_d2_va_idx =
{
};

const DayIndexTable day_d3_va_idx =
{
};

const DayIndexTable day_d4_va_idx =
{
};

const DayIndexTable day_d5_va_idx =
{
};

const DayIndexTable day_d6_va_idx =
{
};

const DayIndexTable day_d7_va_idx =
{
};
