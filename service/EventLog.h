// The update outcomes and refused requests in the Windows event log, where
// administrators and their log collectors look: Application log, source
// "Tesvo", failures as warnings. Each line names the caller's account.
#pragma once
#include <windows.h>

// An update the service ran, or could not run, for account.
void ReportUpdateOutcome(const char* name, const char* outcome, bool succeeded, const char* account);
// A request the service refused, and why.
void ReportRefusal(const char* name, const char* why, const char* account);

// Where the events go: the event log, unless a test records them.
using EventWriter = void (*)(WORD type, DWORD message, const char* const* strings, WORD count);
EventWriter& EventWriterInForce();
