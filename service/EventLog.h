// The service's events in the Windows event log, where administrators and their
// log collectors look: Application log, source "Tesvo". Each event has an ID of
// its own with one fixed level (service/Messages.mc, docs/events.md); the lines
// about a request name the caller's account.
#pragma once
#include <windows.h>

// An update the service ran: information when it exited with 0, else a warning.
void ReportUpdateOutcome(const char* name, const char* outcome, bool succeeded, const char* account);
// An update the service could not run (no lock, stopping, an earlier copy still
// running): it stays due.
void ReportNotRun(const char* name, const char* why, const char* account);
// An update a machine policy holds back: it stays due and runs once the policy allows.
void ReportHeld(const char* name, const char* why, const char* account);
// An update found cut off at the service's start, and what was recorded.
void ReportInterrupted(const char* name, const char* outcome);
// A machine policy value ignored as malformed (MachinePolicy.h), once until it changes.
void ReportPolicyIgnored(const char* value);
// The pipe's name held by another program at start: the service tries again
// every 5 seconds and serves no agent until it has the name.
void ReportPipeNameTaken();
// A request the service refused, and why.
void ReportRefusal(const char* name, const char* why, const char* account);
// The service started serving, or stopped.
void ReportServiceState(bool started);

// Where the events go: the event log, unless a test records them.
using EventWriter = void (*)(WORD type, DWORD message, const char* const* strings, WORD count);
EventWriter& EventWriterInForce();
