// Serializing updates machine-wide and running each due time once.
#include "korvante/UpdateTurn.h"
#include "korvante/BoundedText.h"
#include "korvante/EntryKey.h"
#include "korvante/LocalDate.h"
#include "korvante/SystemCalls.h"
#include "korvante/UpdateRunner.h"

namespace {

// The agent asks GetDueTime and then, for the same name, RunUpdate: one pair is enough.
char g_dueName[kKorvanteBufferSize];
double g_due = 0.0;

} // namespace

Turn RunUpdateTurn(const char* name, double dueSeen, char* status, bool& succeeded, DWORD (*waitForLock)(HANDLE))
{
    succeeded = false;
    const HANDLE lock = CreateMachineMutex(kUpdateLockName);
    if (!lock || waitForLock(lock) != WAIT_OBJECT_0) {
        if (lock)
            ::CloseHandle(lock);
        CopyToBuffer(status, "update lock unavailable");
        return Turn::NoLock;
    }
    // Another session's agent may have run it while we waited for the lock.
    const double lastRun = EntryKey(name, EntryKey::Read).ReadTime(kLastRun);
    // A run for a due time starts once that second has passed; a LastRun ahead of
    // the clock (a clock set back since) tells nothing.
    const long long ran = SecondsOf(lastRun);
    const bool alreadyRun = dueSeen != 0.0 && lastRun != 0.0 && ran > SecondsOf(dueSeen) && ran <= SecondsOf(Now());
    if (alreadyRun)
        CopyToBuffer(status, "already run");
    else
        succeeded = RunJob(name, status);
    ::ReleaseMutex(lock);
    ::CloseHandle(lock);
    return alreadyRun ? Turn::AlreadyRun : Turn::Ran;
}

void RememberDueTime(const char* name, double due)
{
    if (!IsValidEntryName(name))
        return;
    CopyToBuffer(g_dueName, name);
    g_due = due;
}

double RememberedDueTime(const char* name)
{
    return IsValidEntryName(name) && std::strcmp(name, g_dueName) == 0 ? g_due : 0.0;
}
