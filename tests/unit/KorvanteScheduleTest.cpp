// When a schedule comes next: the library's NextOccurrence from a fixed now, so
// that the edges (an occurrence exactly now, the turn of a week or a year) are
// met on every run.
#include "korvante/Schedule.h"
#include "korvante/TimeText.h"
#include <gtest/gtest.h>
#include <string>

TEST(KorvanteSchedule, EachKindComesStrictlyAfterNowOrNotAtAll)
{
    const char* const wed = "2031-01-01 10:00:00";   // a Wednesday
    const struct {
        int kind, a, b;
        const char *now, *expected;   // "": no time
    } rows[] = {
        {kKindDaily, 600, 0, wed, "2031-01-02 10:00:00"},   // exactly now is not next
        {kKindDaily, 600, 0, "2031-01-01 09:59:59", wed},
        {kKindNotAdvanced, 601, 0, wed, "2031-01-01 10:01:00"},
        {kKindDaily, 1439, 0, "2031-12-31 23:59:30", "2032-01-01 23:59:00"},
        {kKindWeekly, 600, 3, wed, "2031-01-08 10:00:00"},
        {kKindWeekly, 570, 4, wed, "2031-01-02 09:30:00"},
        {kKindWeekly, 570, 0, "2031-12-31 10:00:00", "2032-01-04 09:30:00"},
        {kKindHourly, 5, 0, wed, "2031-01-01 15:00:00"},
        {kKindNone, 600, 0, wed, ""}, {5, 600, 0, wed, ""}, {-1, 600, 0, wed, ""}, {kKindDaily, -1, 0, wed, ""},
        {kKindDaily, 1440, 0, wed, ""}, {kKindNotAdvanced, 1440, 0, wed, ""}, {kKindWeekly, 600, 7, wed, ""},
        {kKindWeekly, 600, -1, wed, ""}, {kKindHourly, 0, 0, wed, ""}, {kKindHourly, kMaxHours + 1, 0, wed, ""},
    };
    for (const auto& row : rows) {
        const double next = NextOccurrence(row.kind, row.a, row.b, TimeFromText(row.now));
        char text[kTimeTextSize] = "";
        TimeToText(next, text);
        EXPECT_EQ(std::string(text), row.expected) << row.kind << " " << row.a << " " << row.b;
    }
}
