// The date and timer arithmetic the schedule rests on.
#include "app/TimerMath.h"
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <vector>

TEST(TimerDelay, FiresAtTheFirstWholeSecondAfterTheTimeNeverInsideIt)
{
    const UINT slack = kTimerSlackMs;
    // Seconds from the present whole second to the time, how far the clock is into
    // the present second, and the delay.
    const struct { double seconds; unsigned ms; UINT delay; } cases[] = {
        {3.0, 0, 4000 + slack},         // due once the present is strictly later: at +4 s
        {3.0, 600, 3400 + slack},       // the part of the second already gone counts
        {0.0, 999, 1 + slack},          // the time is this very second: wait for the next
        {90.7, 0, 91000 + slack},       // a fraction waits for the whole second after it
        {2.9999999997, 0, 4000 + slack},  // rounding noise of a whole-second time
        {3.0000000003, 0, 4000 + slack},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.delay, DelayUntilDueMs(c.seconds, c.ms)) << c.seconds << " s, " << c.ms << " ms";
}

TEST(TimerDelay, WaitsAreCutToAnHourNeverWrapped)
{
    const UINT hour = 3601000u + kTimerSlackMs;   // the wait for a time an hour ahead
    EXPECT_EQ(3600000u + kTimerSlackMs, DelayUntilDueMs(3599.5, 0));
    for (double seconds : {3600.0, 60.0 * 86400.0, 1e300, std::numeric_limits<double>::infinity(), std::nan("")})
        EXPECT_EQ(hour, DelayUntilDueMs(seconds, 0)) << seconds;   // 60 days once wrapped to a short delay
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

TEST(ZeroTime, BothSignsOfZeroMeanNoTimeWhateverTheStatusAndNothingElseDoes)
{
    COleDateTime invalidZero(0.0);
    invalidZero.m_status = COleDateTime::invalid;
    EXPECT_TRUE(IsZeroTime(invalidZero));
    for (double time : {0.0, -0.0, std::numeric_limits<double>::denorm_min(), -1e-300, 46362.5})
        EXPECT_EQ(time == 0.0, IsZeroTime(COleDateTime(time))) << time;
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
    EXPECT_STREQ("12/30/99 00:00:00", COleDateTime(0.0).Format("%m/%d/%y %H:%M:%S"));
}

TEST(OleDate, DatesBeforeTheEpochCountTheTimeOfDayForwards)
{
    // -1.25 is 29 December 1899, 06:00: a quarter day after -1.0, not before it.
    SYSTEMTIME st;
    ASSERT_TRUE(COleDateTime(-1.25).GetAsSystemTime(st));
    EXPECT_EQ(29, st.wDay);
    EXPECT_EQ(6, st.wHour);
    EXPECT_DOUBLE_EQ(0.25, (COleDateTime(-1.25) - COleDateTime(-1.0)).GetTotalDays());
    EXPECT_DOUBLE_EQ(0.75 * 86400, (COleDateTime(0.0) - COleDateTime(-1.25)).GetTotalSeconds());
    EXPECT_EQ(COleDateTime(1899, 12, 29, 6, 0, 0).m_dt, -1.25);
}
