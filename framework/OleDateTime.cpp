// OLE dates to and from calendar fields and system times, their difference and
// their text.
#include "framework/OleDateTime.h"
#include <cmath>

namespace {

// Dates the format covers: 1 January 100 to 31 December 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958465.99999999;
constexpr double kHalfSecond = 0.5 / 86400.0;

// Days from 1 March of year 0 (proleptic Gregorian) to a civil date.
long DaysFromCivil(long y, unsigned m, unsigned d)
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

const long kEpochDays = DaysFromCivil(1899, 12, 30);

// Negative OLE dates count whole days backwards but the time of day forwards;
// this turns a date into a value that grows steadily with time.
double Linear(double date)
{
    const double whole = std::trunc(date);
    return whole + std::fabs(date - whole);
}

} // namespace

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute, int second)
{
    const double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
    const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    m_dt = days >= 0 ? days + time : days - time;
    m_status = (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) ? invalid : valid;
}

COleDateTime COleDateTime::FromSystemTime(const SYSTEMTIME& t)
{
    return COleDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

COleDateTime COleDateTime::GetCurrentTime()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return FromSystemTime(now);
}

COleDateTimeSpan COleDateTime::operator-(const COleDateTime& other) const
{
    return COleDateTimeSpan(Linear(m_dt) - Linear(other.m_dt));
}

bool COleDateTime::GetAsSystemTime(SYSTEMTIME& st) const
{
    if (m_status != valid || !(m_dt >= kMinDate && m_dt <= kMaxDate))
        return false;
    // Round to the nearest second, in the direction the date counts.
    const double date = m_dt + (m_dt >= 0 ? kHalfSecond : -kHalfSecond);
    const double whole = std::trunc(date);
    long seconds = static_cast<long>(std::fabs(date - whole) * 86400.0);
    if (seconds >= 86400)
        seconds = 86399;
    long year;
    unsigned month, day;
    CivilFromDays(static_cast<long>(whole) + kEpochDays, year, month, day);
    st = SYSTEMTIME{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wDayOfWeek = static_cast<WORD>(((static_cast<long>(whole) + kEpochDays) % 7 + 7 + 4) % 7);
    st.wHour = static_cast<WORD>(seconds / 3600);
    st.wMinute = static_cast<WORD>(seconds / 60 % 60);
    st.wSecond = static_cast<WORD>(seconds % 60);
    return true;
}

CString COleDateTime::Format(const char* pattern) const
{
    // Only the numeric fields the program formats, by hand: the runtime's
    // strftime refuses years before 1900 and its printf family is large.
    SYSTEMTIME st;
    CString text;
    if (!pattern || !GetAsSystemTime(st))
        return text;
    for (const char* p = pattern; *p; ++p) {
        char field[5] = {*p, '\0'};
        if (*p == '%' && p[1]) {
            int value = -1;
            switch (*++p) {
            case 'm': value = st.wMonth; break;
            case 'd': value = st.wDay; break;
            case 'y': value = st.wYear % 100; break;
            case 'H': value = st.wHour; break;
            case 'M': value = st.wMinute; break;
            case 'S': value = st.wSecond; break;
            case 'Y':
                field[0] = static_cast<char>('0' + st.wYear / 1000);
                field[1] = static_cast<char>('0' + st.wYear / 100 % 10);
                field[2] = static_cast<char>('0' + st.wYear / 10 % 10);
                field[3] = static_cast<char>('0' + st.wYear % 10);
                break;
            default: field[0] = *p; break;
            }
            if (value >= 0) {
                field[0] = static_cast<char>('0' + value / 10);
                field[1] = static_cast<char>('0' + value % 10);
            }
        }
        text += field;
    }
    return text;
}
