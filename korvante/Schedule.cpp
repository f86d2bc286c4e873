// The next occurrence of each schedule kind after a given moment.
#include "korvante/Schedule.h"
#include "korvante/LocalDate.h"
#include "korvante/TimeText.h"

namespace {

// minutes after midnight, dayOffset days after the day of today.
double DayAt(const SYSTEMTIME& today, int dayOffset, int minutes)
{
    SYSTEMTIME day;
    const double midnight = DateFromFields(today.wYear, today.wMonth, today.wDay, 0, 0, 0);
    if (!FieldsFromDate(midnight + dayOffset, day))
        return 0.0;
    return DateFromFields(day.wYear, day.wMonth, day.wDay, minutes / 60, minutes % 60, 0);
}

// The first of today's occurrence and the one period days later that is after now.
double FirstAfter(double now, const SYSTEMTIME& today, int dayOffset, int period, int minutes)
{
    const double first = DayAt(today, dayOffset, minutes);
    return SecondsOf(first) > SecondsOf(now) ? first : DayAt(today, dayOffset + period, minutes);
}

} // namespace

bool IsRecurring(int kind)
{
    return kind == kKindDaily || kind == kKindWeekly || kind == kKindHourly;
}

bool UsesTimeOfDay(int kind)
{
    return kind == kKindDaily || kind == kKindWeekly || kind == kKindNotAdvanced;
}

double NextOccurrence(int kind, int a, int b, double now)
{
    SYSTEMTIME today;
    if (!FieldsFromDate(now, today))
        return 0.0;
    switch (kind) {
    case kKindDaily:
    case kKindNotAdvanced:
        if (a < 0 || a >= kMinutesPerDay)
            return 0.0;
        return FirstAfter(now, today, 0, 1, a);
    case kKindWeekly:
        if (a < 0 || a >= kMinutesPerDay || b < 0 || b > 6)
            return 0.0;
        return FirstAfter(now, today, (b - today.wDayOfWeek + 7) % 7, 7, a);
    case kKindHourly:
        if (a < 1 || a > kMaxHours)
            return 0.0;
        return WholeSeconds(now + a / 24.0);
    default:
        return 0.0;
    }
}
