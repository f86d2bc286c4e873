// The service's side of each request: the same korvante code the library runs
// in-process, with the command, folder and catalog source read from the key.
#include "service/RequestHandler.h"
#include "catalog/CatalogPath.h"
#include "catalog/ProductList.h"
#include "korvante/BoundedText.h"
#include "korvante/CatalogRefresh.h"
#include "korvante/EntryKey.h"
#include "korvante/EntryTimes.h"
#include "korvante/ScheduleStore.h"
#include "korvante/UpdateTurn.h"
#include "service/EventLog.h"

namespace {

// Writes other than updates, one at a time: two catalog refreshes would share
// the temporary file. Updates have the machine-wide lock.
struct WriteLock {
    CRITICAL_SECTION section;
    WriteLock() { ::InitializeCriticalSection(&section); }
} g_writeLock;

DWORD WaitForLock(HANDLE lock)
{
    const DWORD woken = ::WaitForSingleObject(lock, INFINITE);
    return woken == WAIT_ABANDONED_0 ? WAIT_OBJECT_0 : woken;
}

UpdateReply RunUpdate(const char* name, double dueSeen)
{
    char outcome[kKorvanteBufferSize];
    bool succeeded = false;
    const Turn turn = RunUpdateTurn(name, dueSeen, outcome, succeeded, WaitForLock);
    if (turn == Turn::Ran)
        ReportUpdateOutcome(name, outcome, succeeded);
    return MakeReply(turn == Turn::AlreadyRun ? kAlreadyRun : kDone, succeeded, outcome);
}

// The catalog beside this program, never one a caller names, and its names registered.
UpdateReply RefreshCatalog()
{
    char path[MAX_PATH], note[kKorvanteBufferSize];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (!ModulePathToCatalogPath(path, length, sizeof path))
        return MakeReply(kDone, 0, "bad catalog path");
    const bool copied = RefreshCatalogFile(path, note);
    if (copied) {
        CProductList list;
        list.LoadFromFile(path);
        list.SaveToRegistry();
    }
    return MakeReply(kDone, copied, note);
}

UpdateReply Write(const UpdateRequest& request)
{
    const char* name = request.name;
    switch (request.kind) {
    case kSetNextTime:
        return MakeReply(kDone, StoreNextTime(name, request.time), "");
    case kStoreSchedule:
        return MakeReply(kDone, StoreSchedule(name, request.scheduleKind, request.a, request.b), "");
    case kEndRun:
        return MakeReply(kDone, StoreLastBatch(request.time), "");
    default:
        return RefreshCatalog();
    }
}

} // namespace

UpdateReply MakeReply(ReplyStatus status, int result, const char* text)
{
    UpdateReply reply{kReplyMagic, kRequestVersion, status, result, ""};
    CopyToBuffer(reply.text, text);
    return reply;
}

void HandleRequest(const UpdateRequest& request, UpdateReply& reply)
{
    const bool named = request.kind == kRunUpdate || request.kind == kSetNextTime || request.kind == kStoreSchedule;
    const bool product = request.name[0] != '\0';
    if (named && product && !EntryKey(request.name, EntryKey::Read).Open()) {
        reply = MakeReply(kRefused, 0, "no entry");
        return;
    }
    if (request.kind == kRunUpdate) {
        reply = product ? RunUpdate(request.name, request.time) : MakeReply(kRefused, 0, "no entry");
        return;
    }
    ::EnterCriticalSection(&g_writeLock.section);
    reply = Write(request);
    ::LeaveCriticalSection(&g_writeLock.section);
}
