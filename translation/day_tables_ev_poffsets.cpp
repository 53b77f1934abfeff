// Generated data: the pointer positions of every option group of each day,
// as print_ev_poffsets writes the rows ("\t{ 0x%04x, ... },"). They come
// from an unchanged game disc and are not shipped; paste each day's rows
// between its braces. DAY_D6 has no option groups.
#include "translation/scn_days.h"

const DayPoffsetTable day_a0_ev_poffsets =
{
};

const DayPoffsetTable day_a1_ev_poffsets =
{
};

const DayPoffsetTable day_b0_ev_poffsets =
{
};

const DayPoffsetTable day_b1_ev_poffsets =
{
};

const DayPoffsetTable day_b2_ev_poffsets =
{
};

const DayPoffsetTable day_c0_ev_poffsets =
{
};

const DayPoffsetTable day_c1_ev_poffsets =
{
};

const DayPoffsetTable day_c2_ev_poffsets =
{
};

const DayPoffsetTable day_c3_ev_poffsets =
{
};

const DayPoffsetTable day_d0_ev_poffsets =
{
};

const DayPoffsetTable day_d1_ev_poffsets =
{
};

const DayPoffsetTable day_d2_ev_poffsets =
{
};

const DayPoffsetTable day_d3_ev_poffsets =
{
};

const DayPoffsetTable day_d4_ev_poffsets =
{
};

const DayPoffsetTable day_d5_ev_poffsets =
{
};

const DayPoffsetTable day_d7_ev_poffsets =
{
};
