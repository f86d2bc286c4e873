// OLE dates (days since 30 December 1899, the time of day as the fraction) from
// and to calendar fields, for 1 January 1900 to 31 December 9999.
//
// The conversions are the framework's, so the same time gives the same double
// in the library and in the agent; this adds the library's narrower range.
#pragma once
#include <windows.h>

// The date of the fields, or 0.0 when one is out of range (31 February included).
double DateFromFields(int year, int month, int day, int hour, int minute, int second);
// The fields of a date, rounded to the nearest second; false outside the range.
bool FieldsFromDate(double date, SYSTEMTIME& fields);
// The local time now, to the second.
double Now();
// A date as a count of whole seconds. Times are compared as these: on x87 a double
// may be held in an 80-bit register, so the clock's time and the same time read
// back from text can differ in their last bits.
long long SecondsOf(double date);
