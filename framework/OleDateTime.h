// OLE dates: days since 30 December 1899 as a double, the time of day as the
// fraction, plus a validity status. The layout is the 12-byte time record that the
// update library reads and fills, so the record is packed to 4 bytes.
#pragma once
#include <windows.h>
#include "framework/String.h"
#include <cstdint>

class COleDateTimeSpan {
public:
    explicit COleDateTimeSpan(double days = 0.0) : m_span(days) {}
    double GetTotalDays() const { return m_span; }
    double GetTotalSeconds() const { return m_span * 86400.0; }

private:
    double m_span;
};

#pragma pack(push, 4)
class COleDateTime {
public:
    enum DateTimeStatus : int32_t { valid = 0, invalid = 1, null = 2 };

    COleDateTime() = default;
    COleDateTime(double date) : m_dt(date), m_status(valid) {}
    COleDateTime(int year, int month, int day, int hour, int minute, int second);

    static COleDateTime GetCurrentTime();
    static COleDateTime FromSystemTime(const SYSTEMTIME& time);

    // Fills st from the date; false when the date lies outside years 100 to 9999.
    bool GetAsSystemTime(SYSTEMTIME& st) const;
    // Formats with %m %d %y %Y %H %M %S (two digits each but %Y); "%%" gives "%".
    // "" for an invalid or out-of-range date.
    CString Format(const char* pattern) const;

    bool operator<(const COleDateTime& other) const { return m_dt < other.m_dt; }
    bool operator>(const COleDateTime& other) const { return m_dt > other.m_dt; }
    bool operator==(const COleDateTime& other) const { return m_dt == other.m_dt; }
    COleDateTimeSpan operator-(const COleDateTime& other) const;

    double m_dt = 0.0;
    DateTimeStatus m_status = valid;
};
#pragma pack(pop)

static_assert(sizeof(COleDateTime) == 12, "the time record is 12 bytes");
