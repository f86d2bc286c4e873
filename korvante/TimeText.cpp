// Times to and from the "YYYY-MM-DD HH:MM:SS" text of the registry and journal.
#include "korvante/TimeText.h"
#include "korvante/LocalDate.h"

bool TimeToText(double time, char* text)
{
    SYSTEMTIME st;
    text[0] = '\0';
    if (time == 0.0 || !FieldsFromDate(time, st))
        return false;
    ::wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                st.wSecond);
    return true;
}

bool ReadDigits(const char*& text, int minDigits, int maxDigits, int& value)
{
    int count = 0;
    value = 0;
    for (; count < maxDigits && *text >= '0' && *text <= '9'; ++count, ++text)
        value = value * 10 + (*text - '0');
    return count >= minDigits;
}

namespace {

// Reads a field of exactly digits digits and the separator after it, if any.
bool ReadField(const char*& text, int digits, char separator, int& value)
{
    return ReadDigits(text, digits, digits, value) && (separator == '\0' || *text++ == separator);
}

} // namespace

double TimeFromText(const char* text)
{
    int year, month, day, hour, minute, second = 0;
    if (!ReadField(text, 4, '-', year) || !ReadField(text, 2, '-', month) || !ReadField(text, 2, ' ', day) ||
        !ReadField(text, 2, ':', hour) || !ReadField(text, 2, '\0', minute))
        return 0.0;
    if (*text == ':' && !ReadField(++text, 2, '\0', second))
        return 0.0;
    return *text == '\0' ? DateFromFields(year, month, day, hour, minute, second) : 0.0;
}

double WholeSeconds(double time)
{
    SYSTEMTIME st;
    if (!FieldsFromDate(time, st))
        return 0.0;
    return DateFromFields(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}
