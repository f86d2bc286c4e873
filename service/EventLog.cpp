// One event per update or refusal; the message text is the table compiled into TesvoService.exe.
#include "service/EventLog.h"
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

void ReportUpdateOutcome(const char* name, const char* outcome, bool succeeded, const char* account)
{
    const char* strings[] = {name, outcome, account};
    g_writer(succeeded ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE, MSG_UPDATE_RUN, strings, 3);
}

void ReportRefusal(const char* name, const char* why, const char* account)
{
    const char* strings[] = {name, why, account};
    g_writer(EVENTLOG_WARNING_TYPE, MSG_REQUEST_REFUSED, strings, 3);
}
