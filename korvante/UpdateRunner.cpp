// Running an entry's update command with its time limit, and recording how it went.
#include "korvante/UpdateRunner.h"
#include "korvante/BoundedText.h"
#include "korvante/CommandProgram.h"
#include "korvante/EntryKey.h"
#include "korvante/LocalDate.h"
#include "korvante/MessageWait.h"
#include "korvante/RunningUpdate.h"
#include "korvante/Schedule.h"
#include "korvante/SystemCalls.h"
#include "korvante/UpdateRetry.h"

namespace {

constexpr DWORD kDefaultTimeoutSeconds = 600;
constexpr DWORD kMaxTimeoutSeconds = 24 * 60 * 60;

DWORD TimeoutMilliseconds(const EntryKey& key)
{
    DWORD seconds = key.ReadDword(kUpdateTimeout, kDefaultTimeoutSeconds);
    if (seconds == 0)
        seconds = kDefaultTimeoutSeconds;
    if (seconds > kMaxTimeoutSeconds)
        seconds = kMaxTimeoutSeconds;
    return seconds * 1000;
}

// The update's processes: where the system has job objects (2000 and later) the
// command's process is started suspended and put in a job before it runs, so
// that everything it starts (a cmd /c wrapper's child, a bootstrapper) is in the
// job too. In-process the job does not end its processes when it is closed: an
// update left running at close goes on. The service's jobs end their processes
// if the service itself ends while the update runs (a crash, a kill), so that no
// updater runs on without an owner; an update that finished lets go first, and
// what its updater started goes on as before.
struct UpdateJob {
    HANDLE job = System().createJobObject ? System().createJobObject(nullptr, nullptr) : nullptr;
    BOOL(WINAPI* setLimits)(HANDLE, JOBOBJECTINFOCLASS, void*, DWORD) = nullptr;
    ~UpdateJob()
    {
        if (job)
            ::CloseHandle(job);
    }
    // Puts the suspended process in the job, then lets it run.
    void Start(const PROCESS_INFORMATION& process)
    {
        if (job && !System().assignProcessToJobObject(job, process.hProcess)) {
            ::CloseHandle(job);   // a job the system refuses (our own job allows none inside): the process alone
            job = nullptr;
        }
        const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
        if (job && UpdatesEndEvent() && BindCall(setLimits, kernel, "SetInformationJobObject"))
            EndWithOwner(true);
        ::ResumeThread(process.hThread);
    }
    void EndWithOwner(bool end)
    {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = end ? JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE : 0;
        if (job && setLimits)
            setLimits(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    void End(HANDLE process)
    {
        if (!job || !System().terminateJobObject(job, 1))
            ::TerminateProcess(process, 1);
        ::WaitForSingleObject(process, 5000);
    }
};

// How a started command ended.
enum class Ended { NotStarted, Exited, TimedOut, LeftRunning, Interrupted };

// Waits for the update: in the service until it ends or the service ends the
// running updates; in-process while dispatching the program's messages.
DWORD WaitForUpdate(HANDLE process, DWORD timeoutMs)
{
    const HANDLE end = UpdatesEndEvent();
    if (!end)
        return WaitDispatchingMessages(process, timeoutMs);
    const HANDLE processOrEnd[] = {process, end};
    return ::WaitForMultipleObjects(2, processOrEnd, FALSE, timeoutMs);
}

// Starts the command, with its record in the key, and waits for it; outcome
// receives what happened (at least 32 bytes) and exitCode the exit code.
Ended RunProcess(EntryKey& key, char* command, const char* directory, DWORD timeoutMs, bool retry, char* outcome,
                 DWORD& exitCode)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    char program[MAX_PATH];
    exitCode = 1;
    if (const char* refused = FindCommandProgram(command, program)) {
        ::lstrcpyA(outcome, refused);
        return Ended::NotStarted;
    }
    UpdateJob job;
    // CREATE_NO_WINDOW is NT 4's; older systems hide a console program's window through SW_HIDE.
    const DWORD flags = (IsNtFrom(4) ? CREATE_NO_WINDOW : 0) | CREATE_SUSPENDED;
    if (!System().createProcess(program, command, nullptr, nullptr, FALSE, flags, nullptr,
                                *directory ? directory : nullptr, &startup, &process)) {
        ::lstrcpyA(outcome, "failed to start");
        return Ended::NotStarted;
    }
    // Recorded before it runs: from here on a crash leaves a trace.
    RecordRunningUpdate(key, process.hProcess, process.dwProcessId, retry);
    job.Start(process);
    ::CloseHandle(process.hThread);
    Ended ended = Ended::Exited;
    const DWORD waited = WaitForUpdate(process.hProcess, timeoutMs);
    if (waited == WAIT_OBJECT_0 && ::GetExitCodeProcess(process.hProcess, &exitCode)) {
        ::wsprintfA(outcome, "exit %lu", static_cast<unsigned long>(exitCode));
        job.EndWithOwner(false);
    } else if (waited == kWaitEndedByQuit && !UpdatesEndEvent()) {
        // The calling program is ending; the update goes on as a process of its own.
        ::lstrcpyA(outcome, "left running");
        MarkLeftRunning(key);
        ended = Ended::LeftRunning;
    } else {
        // Out of time, or the service is going down (a shutdown): WAIT_OBJECT_0 + 1 there.
        job.End(process.hProcess);
        const bool interrupted = waited == WAIT_OBJECT_0 + 1;
        ::lstrcpyA(outcome, interrupted ? "interrupted" : "timed out");
        ended = interrupted ? Ended::Interrupted : Ended::TimedOut;
        exitCode = 1;
    }
    ::CloseHandle(process.hProcess);
    return ended;
}

} // namespace

bool PrepareJob(const char* name, char* command, char* directory)
{
    char commandText[kKorvanteBufferSize], directoryText[kKorvanteBufferSize];
    const EntryKey key(name, EntryKey::Read);
    const bool found = key.ReadString(kUpdateCommand, commandText, sizeof commandText) && commandText[0];
    key.ReadString(kWorkingDirectory, directoryText, sizeof directoryText);
    CopyToBuffer(command, commandText);
    CopyToBuffer(directory, directoryText);
    return found;
}

bool RunJob(const char* name, char* status)
{
    EntryKey key(name, EntryKey::Write);
    if (!key.Open()) {
        CopyToBuffer(status, "no entry");
        return false;
    }
    // A stopping service starts nothing more; the product stays due (the turn
    // may have moved a recurring time on already).
    if (UpdatesStopping()) {
        KeepDue(key);
        CopyToBuffer(status, "service stopping");
        return false;
    }
    const double started = Now();
    char command[kKorvanteBufferSize], directory[kKorvanteBufferSize], outcome[48] = "no command";
    bool succeeded = false;
    if (PrepareJob(name, command, directory)) {
        DWORD exitCode = 1;
        const DWORD timeoutMs = TimeoutMilliseconds(key);
        const EarlierRun earlier = SettleEarlierRun(key, timeoutMs, outcome, exitCode);
        if (earlier == EarlierRun::StillRunning) {
            // Never a second copy beside it; the product stays due.
            KeepDue(key);
            CopyToBuffer(status, "earlier update still running");
            key.WriteString(kLastOutcome, status);
            return false;
        }
        const bool retry = key.ReadDword(kInterruptedRun, 0) != 0;
        Ended ended = Ended::Exited;
        if (earlier != EarlierRun::Finished) {
            // LastRun before the process runs, so that an interrupted run keeps its start too.
            key.WriteTime(kLastRun, started);
            ended = RunProcess(key, command, directory, timeoutMs, retry, outcome, exitCode);
        }
        if (ended == Ended::Interrupted) {
            RecordInterrupted(key, retry, true, outcome);
            CopyToBuffer(status, outcome);
            return false;
        }
        succeeded = ended == Ended::Exited && exitCode == 0;
        SettleTry(key, succeeded, outcome);
        key.DeleteValue(kInterruptedRun);
        key.WriteString(kLastOutcome, outcome);
        if (ended != Ended::LeftRunning)
            key.DeleteValue(kRunningUpdate);
        CopyToBuffer(status, outcome);
        return succeeded;
    }
    key.WriteString(kLastOutcome, outcome);
    key.WriteTime(kLastRun, started);
    CopyToBuffer(status, outcome);
    return succeeded;
}
