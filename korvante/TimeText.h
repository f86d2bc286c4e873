// Times as the registry and the journal show them: "YYYY-MM-DD HH:MM:SS" in
// local time. 0.0 stands for "no time".
#pragma once
#include <string>

// The text of an OLE date; "" for 0.0 or a date outside years 100 to 9999.
std::string TimeToText(double time);
// Reads "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD HH:MM"; 0.0 for anything else.
double TimeFromText(const char* text);
// The date rounded to whole seconds, as the text would give it back; 0.0 when out of range.
double WholeSeconds(double time);
// The local time now, to the second.
double Now();
