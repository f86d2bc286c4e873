// NextScheduledTime: the next occurrence of a schedule, strictly after now, in whole seconds.
#include "tests/unit/KorvanteFixture.h"

TEST_F(KorvanteTest, EachKindComesAtItsNextOccurrence)
{
    const auto fields = [](double time) {
        SYSTEMTIME st{};
        COleDateTime(time).GetAsSystemTime(st);
        return st;
    };
    const auto minuteOfDay = [&](double time) { return fields(time).wHour * 60 + fields(time).wMinute; };
    const double now = Now();
    const int thisMinute = minuteOfDay(now), today = fields(now).wDayOfWeek;
    // kind, b, a, the earliest and latest distance from now, in days.
    const struct { int kind, b, a; double earliest, latest; } rows[] = {
        {1, 0, thisMinute, 23 * kHour, 1.0}, {3, 0, thisMinute, 23 * kHour, 1.0},   // this minute has begun
        {1, 0, (thisMinute + 2) % 1440, 0.0, 2 * kMinute}, {3, 0, (thisMinute + 2) % 1440, 0.0, 2 * kMinute},
        {2, today, thisMinute, 6.9, 7.0}, {2, (today + 1) % 7, thisMinute, 23 * kHour, 1.0},
        {2, (today + 3) % 7, 570, 2.0, 4.0}, {4, 0, 5, 5 * kHour - 1.5 / 86400, 5 * kHour + 1.5 / 86400},
    };
    for (const auto& row : rows) {
        const COleDateTime next = NextScheduledTime(row.kind, row.b, row.a);
        const SYSTEMTIME st = fields(next.m_dt);
        EXPECT_TRUE(next.m_dt > now + row.earliest && next.m_dt <= now + row.latest) << row.kind << " " << Text(next.m_dt);
        EXPECT_EQ(next.m_status, COleDateTime::valid);
        if (row.kind == 4)
            continue;
        EXPECT_EQ(minuteOfDay(next.m_dt), row.a);
        EXPECT_EQ(next.m_dt, COleDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, 0).m_dt);
        EXPECT_TRUE(row.kind != 2 || st.wDayOfWeek == row.b) << "weekday " << st.wDayOfWeek;
    }
}

TEST_F(KorvanteTest, NoScheduleOrBadArgumentsGiveNoTime)
{
    const int cases[][3] = {{0, 0, 600}, {5, 0, 600}, {-1, 0, 600}, {1, 0, -1}, {1, 0, 1440}, {3, 0, 1440},
                            {2, 7, 600}, {2, -1, 600}, {4, 0, 0}, {4, 0, 8785}};
    for (const auto& c : cases)
        EXPECT_EQ(NextScheduledTime(c[0], c[1], c[2]).m_dt, 0.0) << c[0] << " " << c[1] << " " << c[2];
}
