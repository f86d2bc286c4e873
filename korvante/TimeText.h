// Times as the registry and the journal show them: "YYYY-MM-DD HH:MM:SS" in
// local time. 0.0 stands for "no time".
#pragma once

constexpr int kTimeTextSize = 20;   // the text and its terminator

// Writes the text of an OLE date into text (kTimeTextSize bytes); false, and
// text "", for 0.0 or a date outside years 1900 to 9999.
bool TimeToText(double time, char* text);
// Reads "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD HH:MM"; 0.0 for anything else.
double TimeFromText(const char* text);
// The date rounded to whole seconds, as its text gives it back; 0.0 when out of range.
double WholeSeconds(double time);

// Reads minDigits to maxDigits decimal digits at text and moves past them;
// false when fewer are there.
bool ReadDigits(const char*& text, int minDigits, int maxDigits, int& value);
