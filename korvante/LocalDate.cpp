// Calendar fields to OLE dates and back, the current local time, and whole
// seconds of a date.
#include "korvante/LocalDate.h"
#include "framework/OleDateTime.h"
#include <cmath>

namespace {

int DaysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

constexpr double kFirstDate = 2.0;                    // 1 January 1900
constexpr double kLastDate = 2958465.0 + 86399.0 / 86400.0;  // 31 December 9999 23:59:59
constexpr double kHalfSecond = 0.5 / 86400.0;

} // namespace

double DateFromFields(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return 0.0;
    return COleDateTime(year, month, day, hour, minute, second).m_dt;
}

bool FieldsFromDate(double date, SYSTEMTIME& fields)
{
    // The last second's later half rounds up into year 10000, which no text holds.
    return date >= kFirstDate && date <= kLastDate + kHalfSecond && COleDateTime(date).GetAsSystemTime(fields) &&
           fields.wYear <= 9999;
}

double Now()
{
    return COleDateTime::GetCurrentTime().m_dt;
}

long long SecondsOf(double date)
{
    return std::llround(date * 86400.0);
}
