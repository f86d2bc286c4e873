#include "TimeText.h"
#include "framework/OleDateTime.h"
#include <cstdio>

std::string TimeToText(double time)
{
    if (time == 0.0)
        return std::string();
    return COleDateTime(time).Format("%Y-%m-%d %H:%M:%S");
}

double TimeFromText(const char* text)
{
    int year, month, day, hour, minute, second = 0, used = 0;
    const int fields = std::sscanf(text, "%4d-%2d-%2d %2d:%2d%n:%2d%n", &year, &month, &day, &hour, &minute,
                                   &used, &second, &used);
    if (fields < 5 || text[used] != '\0')
        return 0.0;
    if (hour > 23 || minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0)
        return 0.0;
    // The constructor accepts 31 February; a round trip rejects it.
    const COleDateTime time(year, month, day, hour, minute, second);
    SYSTEMTIME check;
    if (time.m_status != COleDateTime::valid || !time.GetAsSystemTime(check) || check.wDay != day ||
        check.wMonth != month)
        return 0.0;
    return time.m_dt;
}

double WholeSeconds(double time)
{
    SYSTEMTIME st;
    if (!COleDateTime(time).GetAsSystemTime(st))
        return 0.0;
    return COleDateTime::FromSystemTime(st).m_dt;
}

double Now()
{
    return COleDateTime::GetCurrentTime().m_dt;
}
