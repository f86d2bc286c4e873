// NextScheduledTime: the next occurrence of a schedule, strictly after now.
#include "KorvanteFixture.h"

namespace {

SYSTEMTIME Fields(double time)
{
    SYSTEMTIME st{};
    COleDateTime(time).GetAsSystemTime(st);
    return st;
}

int MinuteOfDay(double time)
{
    return Fields(time).wHour * 60 + Fields(time).wMinute;
}

} // namespace

TEST_F(KorvanteTest, EachKindComesAtItsNextOccurrence)
{
    const double now = Now();
    const int thisMinute = MinuteOfDay(now);
    for (int kind : {1, 3}) {
        // This minute has begun, so it comes round tomorrow; two minutes on is today.
        const double tomorrow = NextScheduledTime(kind, 0, thisMinute).m_dt;
        EXPECT_EQ(MinuteOfDay(tomorrow), thisMinute);
        EXPECT_GT(tomorrow - now, 23 * kHour);
        const double soon = NextScheduledTime(kind, 0, (thisMinute + 2) % 1440).m_dt;
        EXPECT_TRUE(soon > now && soon - now <= 2 * kMinute) << Text(soon);
        // Whole seconds, as the agent's own date type computes them.
        const SYSTEMTIME st = Fields(soon);
        EXPECT_EQ(soon, COleDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, 0).m_dt);
    }
    for (int weekday = 0; weekday < 7; ++weekday) {
        const double next = NextScheduledTime(2, weekday, 570).m_dt;
        EXPECT_EQ(Fields(next).wDayOfWeek, weekday);
        EXPECT_EQ(MinuteOfDay(next), 570);
        EXPECT_TRUE(next > now && next - now <= 7.0) << Text(next);
    }
    EXPECT_GT(NextScheduledTime(2, Fields(now).wDayOfWeek, thisMinute).m_dt - now, 6.9);
    EXPECT_NEAR(NextScheduledTime(4, 0, 5).m_dt, Now() + 5 * kHour, 1.5 / 86400);
    EXPECT_EQ(NextScheduledTime(4, 0, 5).m_status, COleDateTime::valid);
}

TEST_F(KorvanteTest, NoScheduleOrBadArgumentsGiveNoTime)
{
    const int cases[][3] = {{0, 0, 600}, {5, 0, 600}, {-1, 0, 600}, {1, 0, -1}, {1, 0, 1440}, {3, 0, 1440},
                            {2, 7, 600}, {2, -1, 600}, {4, 0, 0}, {4, 0, 8785}};
    for (const auto& c : cases)
        EXPECT_EQ(NextScheduledTime(c[0], c[1], c[2]).m_dt, 0.0) << c[0] << " " << c[1] << " " << c[2];
}
