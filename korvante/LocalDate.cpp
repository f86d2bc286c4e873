#include "LocalDate.h"
#include <cmath>

namespace {

// Days from 1 March of year 0 (proleptic Gregorian) to a civil date, and back.
constexpr long DaysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y = static_cast<long>(yoe) + era * 400 + (m <= 2);
}

int DaysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

constexpr long kEpochDays = DaysFromCivil(1899, 12, 30);
constexpr double kFirstDate = 2.0;                    // 1 January 1900
constexpr double kLastDate = 2958465.0 + 86399.0 / 86400.0;  // 31 December 9999 23:59:59
constexpr double kHalfSecond = 0.5 / 86400.0;

} // namespace

double DateFromFields(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return 0.0;
    const long days = DaysFromCivil(year, month, day) - kEpochDays;
    return static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

bool FieldsFromDate(double date, SYSTEMTIME& fields)
{
    if (!(date >= kFirstDate && date <= kLastDate + kHalfSecond))
        return false;
    const double rounded = date + kHalfSecond;
    const long whole = static_cast<long>(rounded);
    long seconds = static_cast<long>((rounded - whole) * 86400.0);
    if (seconds >= 86400)
        seconds = 86399;
    long year;
    unsigned month, day;
    CivilFromDays(whole + kEpochDays, year, month, day);
    if (year > 9999)
        return false;
    fields = SYSTEMTIME{};
    fields.wYear = static_cast<WORD>(year);
    fields.wMonth = static_cast<WORD>(month);
    fields.wDay = static_cast<WORD>(day);
    fields.wDayOfWeek = static_cast<WORD>(((whole + kEpochDays) % 7 + 7 + 4) % 7);
    fields.wHour = static_cast<WORD>(seconds / 3600);
    fields.wMinute = static_cast<WORD>(seconds / 60 % 60);
    fields.wSecond = static_cast<WORD>(seconds % 60);
    return true;
}

double Now()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return DateFromFields(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

long long SecondsOf(double date)
{
    return std::llround(date * 86400.0);
}
