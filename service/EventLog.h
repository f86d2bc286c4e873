// The update outcomes and refused requests in the Windows event log, where
// administrators and their log collectors look: Application log, source
// "Tesvo", failures as warnings. Each line names the caller's account.
#pragma once
#include <windows.h>

// An update the service ran, or could not run, for account.
void ReportUpdateOutcome(const char* name, const char* outcome, bool succeeded, const char* account);
// An update a machine policy holds back: it stays due and runs once the policy allows.
void ReportHeld(const char* name, const char* why, const char* account);
// A machine policy value ignored as malformed (MachinePolicy.h), once until it changes.
void ReportPolicyIgnored(const char* value);
// The pipe's name held by another program at start: the service tries again
// every 5 seconds and serves no agent until it has the name.
void ReportPipeNameTaken();
// A request the service refused, and why.
void ReportRefusal(const char* name, const char* why, const char* account);

// Where the events go: the event log, unless a test records them.
using EventWriter = void (*)(WORD type, DWORD message, const char* const* strings, WORD count);
EventWriter& EventWriterInForce();
