// The date and timer arithmetic the schedule rests on.
#include "app/TimerMath.h"
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <vector>

TEST(TimerDelay, FiresAtTheFirstWholeSecondAfterTheTimeNeverInsideIt)
{
    const UINT slack = kTimerSlackMs;
    struct Case {
        double seconds;   // from the present whole second to the time
        unsigned ms;      // how far the clock is into the present second
        UINT delay;
    };
    const Case cases[] = {
        {3.0, 0, 4000 + slack},         // due once the present is strictly later: at +4 s
        {3.0, 600, 3400 + slack},       // the part of the second already gone counts
        {0.0, 999, 1 + slack},          // the time is this very second: wait for the next
        {90.7, 0, 91000 + slack},       // a fraction waits for the whole second after it
        {2.9999999997, 0, 4000 + slack},  // rounding noise of a whole-second time
        {3.0000000003, 0, 4000 + slack},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.delay, DelayUntilDueMs(c.seconds, c.ms)) << c.seconds << " s, " << c.ms << " ms";
}

TEST(TimerDelay, LongWaitsAreCutToTheLongestTheTimerTakesNeverWrapped)
{
    const UINT longest = 2147483u * 1000u;
    EXPECT_EQ(2147481000u + kTimerSlackMs, DelayUntilDueMs(2147480.5, 0));
    for (double seconds : {2147483.0, 60.0 * 86400.0, 1e300, std::numeric_limits<double>::infinity(), std::nan("")})
        EXPECT_EQ(longest, DelayUntilDueMs(seconds, 0)) << seconds;   // 60 days once wrapped to a short delay
    EXPECT_LE(longest, 0x7FFFFFFFu);
}

TEST(RetrySpacing, StartsAtASecondAndDoublesUpToAnHour)
{
    std::vector<UINT> spacing;
    for (UINT ms = NextRetryMs(0); spacing.size() < 14; ms = NextRetryMs(ms))
        spacing.push_back(ms);
    const std::vector<UINT> expected = {1000, 2000, 4000, 8000, 16000, 32000, 64000, 128000, 256000, 512000,
                                        1024000, 2048000, 3600000, 3600000};
    EXPECT_EQ(expected, spacing);
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
