// Choosing, per call, between the update service and this process.
#include "korvante/UpdateRoutes.h"
#include "korvante/BoundedText.h"
#include "korvante/CatalogRefresh.h"
#include "korvante/EntryKey.h"
#include "korvante/EntryTimes.h"
#include "korvante/Journal.h"
#include "korvante/MessageWait.h"
#include "korvante/ScheduleStore.h"
#include "korvante/ServiceClient.h"
#include "korvante/UpdateTurn.h"

namespace {

// The request for a named entry; false for a name the service would not take,
// which the in-process path answers as it always has.
bool NamedRequest(RequestKind kind, const char* name, UpdateRequest& request)
{
    if (!IsValidEntryName(name))
        return false;
    request = NewRequest(kind);
    CopyToBuffer(request.name, name);
    return true;
}

// The service's result: true when it carried the request out and it succeeded.
bool Succeeded(const UpdateReply& reply)
{
    return reply.status == kDone && reply.result != 0;
}

// Until the rest of the route knows the other answers: any answer but an absent
// service is the service's.
bool Asked(const UpdateRequest& request, UpdateReply& reply)
{
    return AskUpdateService(request, reply, INFINITE) != ServiceAnswer::Absent;
}

DWORD WaitForLock(HANDLE lock)
{
    return WaitDispatchingMessages(lock, INFINITE);
}

} // namespace

bool RouteRunUpdate(const char* name, char* status)
{
    UpdateRequest request;
    UpdateReply reply;
    const double due = RememberedDueTime(name);
    if (NamedRequest(kRunUpdate, name, request)) {
        request.time = due;
        if (Asked(request, reply)) {
            CopyToBuffer(status, reply.text);
            return Succeeded(reply);
        }
    }
    // A product we may read but not write, and no service: nothing can be
    // recorded, so nothing runs. The agent's retry spacing takes it from here.
    if (!EntryKey(name, EntryKey::Write).Open() && EntryKey(name, EntryKey::Read).Open()) {
        CopyToBuffer(status, "service unavailable");
        JournalLine("service unavailable").Name(name).Write();
        return false;
    }
    bool succeeded = false;
    RunUpdateTurn(name, due, status, succeeded, WaitForLock);
    return succeeded;
}

bool RouteSetNextTime(const char* name, double time)
{
    UpdateRequest request;
    UpdateReply reply;
    if (NamedRequest(kSetNextTime, name, request)) {
        request.time = time;
        if (Asked(request, reply))
            return Succeeded(reply);
    }
    return StoreNextTime(name, time);
}

bool RouteStoreSchedule(const char* name, int kind, int a, int b)
{
    UpdateRequest request;
    UpdateReply reply;
    if (NamedRequest(kStoreSchedule, name, request)) {
        request.scheduleKind = kind;
        request.a = a;
        request.b = b;
        if (Asked(request, reply))
            return Succeeded(reply);
    }
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
