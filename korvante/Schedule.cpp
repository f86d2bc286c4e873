#include "Schedule.h"
#include "TimeText.h"
#include "framework/OleDateTime.h"

namespace {

// minutes after midnight, dayOffset days after the day of now.
double DayAt(const SYSTEMTIME& now, int dayOffset, int minutes)
{
    const COleDateTime midnight(now.wYear, now.wMonth, now.wDay, 0, 0, 0);
    SYSTEMTIME day;
    if (!COleDateTime(midnight.m_dt + dayOffset).GetAsSystemTime(day))
        return 0.0;
    return COleDateTime(day.wYear, day.wMonth, day.wDay, minutes / 60, minutes % 60, 0).m_dt;
}

} // namespace

bool IsRecurring(int kind)
{
    return kind == kKindDaily || kind == kKindWeekly || kind == kKindHourly;
}

double NextOccurrence(int kind, int a, int b, double now)
{
    SYSTEMTIME today;
    if (!COleDateTime(now).GetAsSystemTime(today))
        return 0.0;
    switch (kind) {
    case kKindDaily:
    case kKindOnce:
        if (a < 0 || a >= kMinutesPerDay)
            return 0.0;
        return DayAt(today, 0, a) > now ? DayAt(today, 0, a) : DayAt(today, 1, a);
    case kKindWeekly: {
        if (a < 0 || a >= kMinutesPerDay || b < 0 || b > 6)
            return 0.0;
        const int ahead = (b - today.wDayOfWeek + 7) % 7;
        return DayAt(today, ahead, a) > now ? DayAt(today, ahead, a) : DayAt(today, ahead + 7, a);
    }
    case kKindHourly:
        if (a < 1 || a > kMaxHours)
            return 0.0;
        return WholeSeconds(now + a / 24.0);
    default:
        return 0.0;
    }
}
