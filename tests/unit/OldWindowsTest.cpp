// The library under the rules of older Windows: SystemCalls entries replaced by
// stand-ins that refuse what 95, NT 3.51, NT 4 or 2000 refuse, while Wine itself
// accepts everything. Each case runs the library's own code path.
#include "korvante/CatalogRefresh.h"
#include "korvante/SystemCalls.h"
#include "korvante/UpdateRunner.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <string>

namespace {

// Wake-mask bits that 2000 knows: QS_KEY up to QS_ALLPOSTMESSAGE; QS_RAWINPUT came with XP.
constexpr DWORD kWakeBitsOf2000 = 0x1FF;
std::string g_mutexName;   // the name the last mutex was created under

DWORD WINAPI WaitRefusingNewBits(DWORD count, const HANDLE* handles, BOOL all, DWORD ms, DWORD mask)
{
    if (mask & ~kWakeBitsOf2000) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return ::MsgWaitForMultipleObjects(count, handles, all, ms, mask);
}
DWORD WINAPI WaitAlwaysFailing(DWORD, const HANDLE*, BOOL, DWORD, DWORD)
{
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
}
BOOL WINAPI MoveNotImplemented(const char*, const char*, DWORD)
{
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
// NT 4 without Terminal Server has no "Global" object directory.
HANDLE WINAPI MutexRefusingGlobal(SECURITY_ATTRIBUTES* attributes, BOOL owned, const char* name)
{
    if (std::string(name).find('\\') != std::string::npos) {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    g_mutexName = name;
    return ::CreateMutexA(attributes, owned, name);
}
HANDLE WINAPI MutexNoted(SECURITY_ATTRIBUTES* attributes, BOOL owned, const char* name)
{
    g_mutexName = name;
    return ::CreateMutexA(attributes, owned, name);
}
// A system older than NT 4 refuses CREATE_NO_WINDOW.
BOOL WINAPI CreateRefusingNoWindow(const char* program, char* command, SECURITY_ATTRIBUTES* process,
                                   SECURITY_ATTRIBUTES* thread, BOOL inherit, DWORD flags, void* environment,
                                   const char* directory, STARTUPINFOA* startup, PROCESS_INFORMATION* information)
{
    if (flags & CREATE_NO_WINDOW) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ::CreateProcessA(program, command, process, thread, inherit, flags, environment, directory, startup,
                            information);
}

void Version(SystemCalls& calls, DWORD platform, DWORD major, DWORD minor)
{
    calls.platform = platform, calls.major = major, calls.minor = minor;
}
void NoJobs(SystemCalls& calls)
{
    calls.createJobObject = nullptr, calls.assignProcessToJobObject = nullptr, calls.terminateJobObject = nullptr;
}
void Play95(SystemCalls& calls)
{
    Version(calls, VER_PLATFORM_WIN32_WINDOWS, 4, 0);
    NoJobs(calls);
    calls.moveFileEx = MoveNotImplemented;
    calls.msgWaitForMultipleObjects = WaitRefusingNewBits;
    calls.createProcess = CreateRefusingNoWindow;
}
void PlayNt351(SystemCalls& calls)
{
    Version(calls, VER_PLATFORM_WIN32_NT, 3, 51);
    NoJobs(calls);
    calls.msgWaitForMultipleObjects = WaitRefusingNewBits;
    calls.createProcess = CreateRefusingNoWindow;
    calls.createMutex = MutexRefusingGlobal;
}
void PlayNt4(SystemCalls& calls)
{
    Version(calls, VER_PLATFORM_WIN32_NT, 4, 0);
    NoJobs(calls);
    calls.msgWaitForMultipleObjects = WaitRefusingNewBits;
    calls.createMutex = MutexRefusingGlobal;
}
void Play2000(SystemCalls& calls)
{
    Version(calls, VER_PLATFORM_WIN32_NT, 5, 0);
    calls.msgWaitForMultipleObjects = WaitRefusingNewBits;
    calls.createMutex = MutexNoted;
}
void PlayFailingWaits(SystemCalls& calls) { calls.msgWaitForMultipleObjects = WaitAlwaysFailing; }

// The wrapper's child writes its file two seconds after the start, unless it was ended.
constexpr char kWrapper[] = "cmd.exe /c cmd.exe /c \"ping -n 3 127.0.0.1 >nul & echo late>korvante-late.txt\"";
constexpr char kLong[] = "ping.exe -n 30 127.0.0.1";

enum class Check { Update, Catalog, Mutex };
struct OldSystemCase {
    const char* rules;
    void (*play)(SystemCalls&);
    Check check;
    const char* command;       // Update: the command, with a time-out of one second unless null
    bool timeLimit;
    DWORD quitAfterMs;         // Update: a WM_QUIT is posted this long after the start (0: none)
    const char* expected;
};

const OldSystemCase kCases[] = {
    {"2000, QS_RAWINPUT refused", Play2000, Check::Update, "cmd.exe /c exit 0", false, 0, "exit 0"},
    {"every wait fails", PlayFailingWaits, Check::Update, "cmd.exe /c exit 0", false, 0, "exit 0"},
    {"every wait fails", PlayFailingWaits, Check::Update, kLong, true, 0, "timed out"},
    {"every wait fails", PlayFailingWaits, Check::Update, "ping.exe -n 3 127.0.0.1", false, 300, "left running"},
    {"95", Play95, Check::Update, "cmd.exe /c exit 0", false, 0, "exit 0"},
    {"95, MoveFileExA not implemented", Play95, Check::Catalog, nullptr, false, 0, "catalog copied|new"},
    {"NT 3.51, no job objects", PlayNt351, Check::Update, kWrapper, true, 0, "timed out, the child went on"},
    {"NT 3.51", PlayNt351, Check::Mutex, nullptr, false, 0, "TesvoOldWindowsRun"},
    {"NT 4, Global\\ refused", PlayNt4, Check::Mutex, nullptr, false, 0, "TesvoOldWindowsRun"},
    {"2000", Play2000, Check::Mutex, nullptr, false, 0, "Global\\TesvoOldWindowsRun"},
    {"2000, job objects", Play2000, Check::Update, kWrapper, true, 0, "timed out"},
};

void CALLBACK PostQuit(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    ::PostQuitMessage(0);
}

std::string RunUpdate(const OldSystemCase& test)
{
    const std::string late = ProgramDir() + "korvante-late.txt";
    ::DeleteFileA(late.c_str());
    SetEntryValue("OldWindows", "UpdateCommand", test.command);
    SetEntryValue("OldWindows", "WorkingDirectory", ProgramDir());
    if (test.timeLimit)
        SetEntryValue("OldWindows", "UpdateTimeoutSeconds", 1);
    if (test.quitAfterMs)
        ::SetTimer(nullptr, 0, test.quitAfterMs, PostQuit);
    const DWORD start = ::GetTickCount();
    char status[260] = "";
    RunJob("OldWindows", status);
    std::string result = status;
    if (::GetTickCount() - start > (test.timeLimit ? 5000u : 15000u))
        result += ", too late";
    MSG quit;
    while (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    if (test.command == kWrapper && WaitUntil([&] { return ::GetFileAttributesA(late.c_str()) != INVALID_FILE_ATTRIBUTES; }, 3500))
        result += ", the child went on";
    ::DeleteFileA(late.c_str());
    return result;
}

std::string RefreshCatalog()
{
    const std::string catalog = ProgramDir() + "korvante-old.cfg", source = ProgramDir() + "korvante-old-source.cfg";
    WriteFileText(catalog, "old");
    WriteFileText(source, "new");
    SetEntryValue("", "CatalogSource", source);
    char status[260] = "";
    RefreshCatalogFile(catalog.c_str(), status);
    std::string result = std::string(status) + "|" + ReadFileText(catalog);
    for (const char* leftover : {".tmp", ".old"})
        if (::GetFileAttributesA((catalog + leftover).c_str()) != INVALID_FILE_ATTRIBUTES)
            result += std::string(" left ") + leftover;
    ::DeleteFileA(catalog.c_str()), ::DeleteFileA(source.c_str());
    return result;
}

std::string MakeMutex()
{
    g_mutexName.clear();
    const HANDLE mutex = CreateMachineMutex("TesvoOldWindowsRun");
    if (!mutex)
        return "no mutex";
    ::CloseHandle(mutex);
    return g_mutexName;
}

} // namespace

TEST(OldWindowsTest, OldSystemsRefusalsLeaveEveryPathWorking)
{
    DeleteProductKey();
    for (const OldSystemCase& test : kCases) {
        test.play(System());
        const std::string got = test.check == Check::Update ? RunUpdate(test)
                              : test.check == Check::Catalog ? RefreshCatalog()
                                                             : MakeMutex();
        ResetSystemCalls();
        DeleteProductKey();
        EXPECT_EQ(got, test.expected) << test.rules;
    }
}
