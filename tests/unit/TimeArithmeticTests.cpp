// The date and timer arithmetic the schedule rests on.
#include "app/TimerMath.h"
#include <gtest/gtest.h>
#include <cmath>
#include <limits>

TEST(TimerDelay, DropsFractionsBeforeMultiplying)
{
    EXPECT_EQ(90000u, TimerDelayMs(90.7));
    EXPECT_EQ(0u, TimerDelayMs(0.999));
    EXPECT_EQ(1000u, TimerDelayMs(1.0));
}

TEST(TimerDelay, LongWaitsAreCutToTheLongestTheTimerTakesNeverWrapped)
{
    const UINT longest = 2147483u * 1000u;
    EXPECT_EQ(2147482000u, TimerDelayMs(2147482.5));
    EXPECT_EQ(longest, TimerDelayMs(2147483.0));
    EXPECT_EQ(longest, TimerDelayMs(60.0 * 86400.0));   // 60 days once wrapped to a short delay
    EXPECT_EQ(longest, TimerDelayMs(1e300));
    EXPECT_EQ(longest, TimerDelayMs(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(longest, TimerDelayMs(std::nan("")));
    EXPECT_LE(longest, 0x7FFFFFFFu);
}

TEST(ZeroTime, BothSignsOfZeroMeanNoTimeAndNothingElseDoes)
{
    EXPECT_TRUE(IsZeroTime(COleDateTime(0.0)));
    EXPECT_TRUE(IsZeroTime(COleDateTime(-0.0)));
    COleDateTime invalidZero(0.0);
    invalidZero.m_status = COleDateTime::invalid;
    EXPECT_TRUE(IsZeroTime(invalidZero));
    EXPECT_FALSE(IsZeroTime(COleDateTime(std::numeric_limits<double>::denorm_min())));
    EXPECT_FALSE(IsZeroTime(COleDateTime(-1e-300)));
    EXPECT_FALSE(IsZeroTime(COleDateTime(46362.5)));
}

TEST(OleDate, FormatsTheStatusPattern)
{
    EXPECT_STREQ("12/06/26 14:05:00", COleDateTime(2026, 12, 6, 14, 5, 0).Format("%m/%d/%y %H:%M:%S"));
    EXPECT_STREQ("01/01/00 00:00:00", COleDateTime(2000, 1, 1, 0, 0, 0).Format("%m/%d/%y %H:%M:%S"));
    EXPECT_STREQ("12/30/99 00:00:00", COleDateTime(0.0).Format("%m/%d/%y %H:%M:%S"));
    EXPECT_STREQ("", COleDateTime(1e9).Format("%m/%d/%y"));
    EXPECT_STREQ("", COleDateTime(std::nan("")).Format("%m/%d/%y"));
}

TEST(OleDate, RoundsToTheNearestSecondAndKnowsTheWeekday)
{
    SYSTEMTIME st;
    ASSERT_TRUE(COleDateTime(COleDateTime(2026, 12, 6, 14, 5, 59).m_dt + 0.4 / 86400).GetAsSystemTime(st));
    EXPECT_EQ(59, st.wSecond);
    ASSERT_TRUE(COleDateTime(COleDateTime(2026, 12, 6, 23, 59, 59).m_dt + 0.6 / 86400).GetAsSystemTime(st));
    EXPECT_EQ(7, st.wDay);
    EXPECT_EQ(0, st.wHour);
    EXPECT_EQ(1, st.wDayOfWeek);   // 7 December 2026 is a Monday
}

TEST(OleDate, DatesBeforeTheEpochCountTheTimeOfDayForwards)
{
    // -1.25 is 29 December 1899, 06:00: a quarter day after -1.0, not before it.
    SYSTEMTIME st;
    ASSERT_TRUE(COleDateTime(-1.25).GetAsSystemTime(st));
    EXPECT_EQ(29, st.wDay);
    EXPECT_EQ(6, st.wHour);
    EXPECT_DOUBLE_EQ(0.25, (COleDateTime(-1.25) - COleDateTime(-1.0)).GetTotalDays());
    EXPECT_DOUBLE_EQ(0.75, (COleDateTime(0.0) - COleDateTime(-1.25)).GetTotalDays());
    EXPECT_EQ(COleDateTime(1899, 12, 29, 6, 0, 0).m_dt, -1.25);
}

TEST(OleDate, SpansConvertToSeconds)
{
    const COleDateTime start(2026, 12, 6, 14, 5, 0);
    const COleDateTime later(2026, 12, 6, 14, 6, 30);
    EXPECT_NEAR(90.0, (later - start).GetTotalSeconds(), 1e-6);
    EXPECT_NEAR(-90.0, (start - later).GetTotalSeconds(), 1e-6);
}
