// One event per update; the message text is the table compiled into TesvoService.exe.
#include "service/EventLog.h"
#include "service/Messages.h"
#include <windows.h>

void ReportUpdateOutcome(const char* name, const char* outcome, bool succeeded)
{
    const HANDLE source = ::RegisterEventSourceA(nullptr, "Tesvo");
    if (!source)
        return;
    const char* strings[] = {name, outcome};
    ::ReportEventA(source, succeeded ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE, 0, MSG_UPDATE_OUTCOME,
                   nullptr, 2, 0, strings, nullptr);
    ::DeregisterEventSource(source);
}
