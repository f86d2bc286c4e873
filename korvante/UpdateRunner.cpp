// Running an entry's update command with its time limit, and recording how it went.
#include "korvante/UpdateRunner.h"
#include "korvante/BoundedText.h"
#include "korvante/CommandProgram.h"
#include "korvante/EntryKey.h"
#include "korvante/LocalDate.h"
#include "korvante/MessageWait.h"
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
// job too. The job does not end its processes when it is closed: an update left
// running at close goes on.
struct UpdateJob {
    HANDLE job = System().createJobObject ? System().createJobObject(nullptr, nullptr) : nullptr;
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
        ::ResumeThread(process.hThread);
    }
    void End(HANDLE process)
    {
        if (!job || !System().terminateJobObject(job, 1))
            ::TerminateProcess(process, 1);
    }
};

// Starts the command and waits for it; outcome receives what happened.
// outcome holds at least 32 bytes.
bool RunProcess(char* command, const char* directory, DWORD timeoutMs, char* outcome)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    char program[MAX_PATH];
    if (const char* refused = FindCommandProgram(command, program)) {
        ::lstrcpyA(outcome, refused);
        return false;
    }
    UpdateJob job;
    // CREATE_NO_WINDOW is NT 4's; older systems hide a console program's window through SW_HIDE.
    const DWORD flags = (IsNtFrom(4) ? CREATE_NO_WINDOW : 0) | CREATE_SUSPENDED;
    if (!System().createProcess(program, command, nullptr, nullptr, FALSE, flags, nullptr,
                                *directory ? directory : nullptr, &startup, &process)) {
        ::lstrcpyA(outcome, "failed to start");
        return false;
    }
    job.Start(process);
    ::CloseHandle(process.hThread);
    DWORD exitCode = 1;
    const DWORD waited = WaitDispatchingMessages(process.hProcess, timeoutMs);
    if (waited == WAIT_OBJECT_0 && ::GetExitCodeProcess(process.hProcess, &exitCode)) {
        ::wsprintfA(outcome, "exit %lu", static_cast<unsigned long>(exitCode));
    } else if (waited == kWaitEndedByQuit) {
        // The calling program is ending; the update goes on as a process of its own.
        ::lstrcpyA(outcome, "left running");
    } else {
        job.End(process.hProcess);
        ::lstrcpyA(outcome, "timed out");
        exitCode = 1;
    }
    ::CloseHandle(process.hProcess);
    return exitCode == 0;
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
    const double started = Now();
    char command[kKorvanteBufferSize], directory[kKorvanteBufferSize], outcome[48] = "no command";
    bool succeeded = false;
    if (PrepareJob(name, command, directory)) {
        succeeded = RunProcess(command, directory, TimeoutMilliseconds(key), outcome);
        SettleTry(key, succeeded, outcome);
    }
    key.WriteString(kLastOutcome, outcome);
    key.WriteTime(kLastRun, started);
    CopyToBuffer(status, outcome);
    return succeeded;
}
