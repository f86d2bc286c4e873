// One event per update or refusal; the message text is the table compiled into TesvoService.exe.
#include "service/EventLog.h"
#include "protocol/UpdateRequests.h"
#include "service/Messages.h"

namespace {

void WriteToEventLog(WORD type, DWORD message, const char* const* strings, WORD count)
{
    const HANDLE source = ::RegisterEventSourceA(nullptr, "Tesvo");
    if (!source)
        return;
    ::ReportEventA(source, type, 0, message, nullptr, count, 0, const_cast<const char**>(strings), nullptr);
    ::DeregisterEventSource(source);
}

EventWriter g_writer = WriteToEventLog;

} // namespace

EventWriter& EventWriterInForce()
{
    return g_writer;
}

namespace {

// The three strings of an event about a request: product, text, caller.
void ReportAbout(WORD type, DWORD message, const char* name, const char* text, const char* account)
{
    const char* strings[] = {name, text, account};
    g_writer(type, message, strings, 3);
}

} // namespace

void ReportUpdateOutcome(const char* name, const char* outcome, bool succeeded, const char* account)
{
    if (succeeded)
        ReportAbout(EVENTLOG_INFORMATION_TYPE, MSG_UPDATE_RUN, name, outcome, account);
    else
        ReportAbout(EVENTLOG_WARNING_TYPE, MSG_UPDATE_FAILED, name, outcome, account);
}

void ReportNotRun(const char* name, const char* why, const char* account)
{
    ReportAbout(EVENTLOG_WARNING_TYPE, MSG_UPDATE_NOT_RUN, name, why, account);
}

void ReportHeld(const char* name, const char* why, const char* account)
{
    ReportAbout(EVENTLOG_INFORMATION_TYPE, MSG_UPDATE_HELD, name, why, account);
}

void ReportInterrupted(const char* name, const char* outcome)
{
    const char* strings[] = {name, outcome};
    g_writer(EVENTLOG_WARNING_TYPE, MSG_UPDATE_INTERRUPTED, strings, 2);
}

void ReportPolicyIgnored(const char* value)
{
    const char* strings[] = {value};
    g_writer(EVENTLOG_WARNING_TYPE, MSG_POLICY_IGNORED, strings, 1);
}

void ReportPipeNameTaken()
{
    const char* strings[] = {kUpdatePipeName};
    g_writer(EVENTLOG_ERROR_TYPE, MSG_PIPE_NAME_TAKEN, strings, 1);
}

void ReportRefusal(const char* name, const char* why, const char* account)
{
    ReportAbout(EVENTLOG_WARNING_TYPE, MSG_REQUEST_REFUSED, name, why, account);
}

void ReportServiceState(bool started)
{
    g_writer(EVENTLOG_INFORMATION_TYPE, started ? MSG_SERVICE_STARTED : MSG_SERVICE_STOPPED, nullptr, 0);
}
