// Choosing, per call, between the update service and this process.
#include "korvante/UpdateRoutes.h"
#include "korvante/BoundedText.h"
#include "korvante/CatalogRefresh.h"
#include "korvante/EntryTimes.h"
#include "korvante/Journal.h"
#include "korvante/MessageWait.h"
#include "korvante/ScheduleStore.h"
#include "korvante/ServiceClient.h"
#include "korvante/UpdateTurn.h"

namespace {

// Requests other than updates are quick: the service answers within this or not at all.
constexpr DWORD kShortReplyMs = 30 * 1000;

UpdateRequest NamedRequest(RequestKind kind, const EntryName& name)
{
    UpdateRequest request = NewRequest(kind);
    CopyToBuffer(request.name, name.Text());
    return request;
}

// The service's result: true when it carried the request out and it succeeded.
bool Succeeded(const UpdateReply& reply)
{
    return reply.status == kDone && reply.result != 0;
}

// Asks the service; false when it is not there, and this process does the work.
// A service that is not trusted or did not answer was there: nothing falls back
// (it may be running the request still), and the journal says why.
bool Asked(const UpdateRequest& request, UpdateReply& reply, DWORD limitMs = kShortReplyMs)
{
    const ServiceAnswer answer = AskUpdateService(request, reply, limitMs);
    if (answer == ServiceAnswer::NotTrusted || answer == ServiceAnswer::NoAnswer)
        JournalLine(reply.text).Name(request.name).Write();
    return answer != ServiceAnswer::Absent;
}

DWORD WaitForLock(HANDLE lock, DWORD ms)
{
    return WaitDispatchingMessages(lock, ms);
}

// Nothing ran and the product stays due: the journal says why, and LastOutcome
// where this process may write it.
bool NotRun(const EntryName& name, const char* why, char* status)
{
    CopyToBuffer(status, why);
    JournalLine(why).Name(name.Text()).Write();
    EntryKey(name, EntryKey::Write).WriteString(kLastOutcome, why);
    return false;
}

} // namespace

bool RouteRunUpdate(const EntryName& name, double due, char* status)
{
    if (!name.Valid()) {
        CopyToBuffer(status, "no entry");
        return false;
    }
    UpdateRequest request = NamedRequest(kRunUpdate, name);
    UpdateReply reply;
    request.time = due;
    const ServiceAnswer answer = AskUpdateService(request, reply, RunReplyLimitMs(name));
    if (answer == ServiceAnswer::Answered) {
        CopyToBuffer(status, reply.text);
        if (reply.status == kNotRun || reply.status == kRefused)
            JournalLine(reply.text).Name(name.Text()).Write();
        return Succeeded(reply);
    }
    if (answer != ServiceAnswer::Absent)
        return NotRun(name, reply.text, status);
    // A product we may read but not write, and no service: nothing can be
    // recorded, so nothing runs. The agent's retry spacing takes it from here.
    if (!EntryKey(name, EntryKey::Write).Open() && EntryKey(name, EntryKey::Read).Open())
        return NotRun(name, "service unavailable", status);
    bool succeeded = false;
    if (RunUpdateTurn(name, due, status, succeeded, WaitForLock) == Turn::NoLock) {
        char why[kKorvanteBufferSize];
        CopyToBuffer(why, status);
        return NotRun(name, why, status);
    }
    return succeeded;
}

bool RouteSetNextTime(const EntryName& name, double time)
{
    if (!name.Valid())
        return false;
    UpdateRequest request = NamedRequest(kSetNextTime, name);
    UpdateReply reply;
    request.time = time;
    if (Asked(request, reply))
        return Succeeded(reply);
    return StoreNextTime(name, time);
}

bool RouteStoreSchedule(const EntryName& name, int kind, int a, int b)
{
    if (!name.Valid())
        return false;
    UpdateRequest request = NamedRequest(kStoreSchedule, name);
    UpdateReply reply;
    request.scheduleKind = kind;
    request.a = a;
    request.b = b;
    if (Asked(request, reply))
        return Succeeded(reply);
    return StoreSchedule(name, kind, a, b);
}

void RouteEndRun(double start)
{
    if (start == 0.0)
        return;
    UpdateRequest request = NewRequest(kEndRun);
    UpdateReply reply;
    request.time = start;
    if (!Asked(request, reply))
        StoreLastBatch(start);
}

bool RouteRefreshCatalog(const char* path, char* status)
{
    UpdateReply reply;
    if (Asked(NewRequest(kRefreshCatalog), reply)) {
        CopyToBuffer(status, reply.text);
        return Succeeded(reply);
    }
    return RefreshCatalogFile(path, status);
}
