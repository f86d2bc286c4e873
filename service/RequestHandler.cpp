// The service's side of each request: the same korvante code the library runs
// in-process, with the command, folder and catalog source read from the key.
#include "service/RequestHandler.h"
#include "catalog/CatalogPath.h"
#include "catalog/ProductList.h"
#include "korvante/BoundedText.h"
#include "korvante/CatalogRefresh.h"
#include "korvante/EntryKey.h"
#include "korvante/EntryTimes.h"
#include "korvante/LocalDate.h"
#include "korvante/MachinePolicy.h"
#include "korvante/RunningUpdate.h"
#include "korvante/Schedule.h"
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

// The lock, or the service's stop: a stop does not wait out a lock held long.
DWORD WaitForLock(HANDLE lock, DWORD ms)
{
    const HANDLE stop = UpdatesStopEvent();
    const HANDLE lockOrStop[] = {lock, stop};
    const DWORD woken = ::WaitForMultipleObjects(stop ? 2 : 1, lockOrStop, FALSE, ms);
    if (woken == WAIT_OBJECT_0 + 1)
        return WAIT_TIMEOUT;
    return woken == WAIT_ABANDONED_0 ? WAIT_OBJECT_0 : woken;
}

UpdateReply Refuse(const EntryName& name, const char* why, const Caller& caller)
{
    ReportRefusal(name.Text(), why, caller.account);
    return MakeReply(kRefused, 0, why);
}

UpdateReply RunUpdate(const EntryName& name, double dueSeen, const Caller& caller)
{
    // Only an administrator runs a product whether or not it is due.
    if (dueSeen == 0.0 && !caller.admin)
        return Refuse(name, "an update that is not due", caller);
    char outcome[kKorvanteBufferSize];
    bool succeeded = false;
    const Turn turn = RunUpdateTurn(name, dueSeen, outcome, succeeded, WaitForLock);
    switch (turn) {
    case Turn::Ran:
        ReportUpdateOutcome(name.Text(), outcome, succeeded, caller.account);
        return MakeReply(kDone, succeeded, outcome);
    case Turn::AlreadyRun:
        return MakeReply(kAlreadyRun, 0, outcome);
    case Turn::NotDue:
        return Refuse(name, outcome, caller);
    case Turn::Held:
        ReportHeld(name.Text(), outcome, caller.account);
        return MakeReply(kNotRun, 0, outcome);
    default:
        // The service could not run it: the product stays due, and the log and its key say why.
        ReportNotRun(name.Text(), outcome, caller.account);
        EntryKey(name, EntryKey::Write).WriteString(kLastOutcome, outcome);
        return MakeReply(kNotRun, 0, outcome);
    }
}

// Why a caller who is not an administrator may not set this time; null when it
// is the next occurrence of the entry's stored schedule, or the time already
// stored. Anything else would let a user run a product early, pass a due time
// or a waiting retry, or switch updating off.
const char* RefusedMove(const EntryName& name, double time)
{
    EntrySchedule entry;
    ReadSettledEntry(name, entry);
    const long long wanted = SecondsOf(time), now = SecondsOf(Now());
    if (wanted == SecondsOf(entry.next) && (time == 0.0) == (entry.next == 0.0))
        return nullptr;
    if (time == 0.0)
        return "removing a time";
    if (wanted <= now)
        return "a time that is not ahead";
    if (entry.next != 0.0 && wanted < SecondsOf(entry.next))
        return "a time earlier than the stored one";
    if (EntryKey(name, EntryKey::Read).ReadDword(kFailedTries, 0) != 0)
        return "a time over a waiting retry";
    const long long next = SecondsOf(NextOccurrence(entry.kind, entry.a, entry.b, Now()));
    // Every N hours counts from the asker's clock, a moment before ours.
    const bool occurrence = entry.kind == kKindHourly ? wanted <= next : wanted == next;
    return IsRecurring(entry.kind) && occurrence ? nullptr : "a time that is not the schedule's next";
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

UpdateReply Write(const UpdateRequest& request, const EntryName& name, const Caller& caller)
{
    switch (request.kind) {
    case kSetNextTime:
        if (const char* refused = caller.admin ? nullptr : RefusedMove(name, request.time))
            return Refuse(name, refused, caller);
        return MakeReply(kDone, StoreNextTime(name, request.time), "");
    case kStoreSchedule:
        if (!caller.admin && ReadMachinePolicy().lockSchedules)
            return Refuse(name, "a schedule the administrator manages", caller);
        return MakeReply(kDone, StoreSchedule(name, request.scheduleKind, request.a, request.b), "");
    case kEndRun:
        // Settles the default entry only: products pass their times in their own turns.
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

void HandleRequest(const UpdateRequest& request, const Caller& caller, UpdateReply& reply)
{
    const EntryName name(request.name);
    const bool named = request.kind == kRunUpdate || request.kind == kSetNextTime || request.kind == kStoreSchedule;
    if (named && !name.IsDefault() && !EntryKey(name, EntryKey::Read).Open()) {
        reply = Refuse(name, "no entry", caller);
        return;
    }
    if (request.kind == kRunUpdate) {
        reply = name.IsDefault() ? Refuse(name, "no entry", caller) : RunUpdate(name, request.time, caller);
        return;
    }
    ::EnterCriticalSection(&g_writeLock.section);
    reply = Write(request, name, caller);
    ::LeaveCriticalSection(&g_writeLock.section);
}
