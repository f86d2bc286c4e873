// The library's own code under the rules of older Windows, which Wine does not play:
// SystemCalls entries replaced by stand-ins that refuse what 95, NT 3.51, NT 4 or 2000 refuse.
#include "korvante/CatalogRefresh.h"
#include "korvante/SystemCalls.h"
#include "korvante/UpdateRunner.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <cstring>
#include <string>

namespace {

std::string g_mutexName;   // the name the last mutex was created under
DWORD g_globalError = 0;   // what a "Global\" name meets, where it is not the system's refusal
bool g_secondMoveFails = false;   // 95, 98 and Me: the new catalog cannot move in
bool Before(DWORD major) { return System().platform != VER_PLATFORM_WIN32_NT || System().major < major; }
// Wake-mask bits above QS_ALLPOSTMESSAGE (QS_RAWINPUT) came with XP.
DWORD WINAPI WaitAsOld(DWORD count, const HANDLE* handles, BOOL all, DWORD ms, DWORD mask)
{
    return mask & ~0x1FFu ? (::SetLastError(ERROR_INVALID_PARAMETER), WAIT_FAILED)
                          : ::MsgWaitForMultipleObjects(count, handles, all, ms, mask);
}
DWORD WINAPI WaitFailing(DWORD, const HANDLE*, BOOL, DWORD, DWORD) { return WaitAsOld(0, nullptr, FALSE, 0, ~0u); }
BOOL WINAPI MoveNotImplemented(const char*, const char*, DWORD)
{
    return (::SetLastError(ERROR_CALL_NOT_IMPLEMENTED), FALSE);
}
// Before 2000 there is no "Global" object directory; later, another kind of
// object may hold the name, or one this user may not open.
HANDLE WINAPI MutexAsOld(SECURITY_ATTRIBUTES* attributes, BOOL owned, const char* name)
{
    const bool global = std::string(name).find('\\') != std::string::npos;
    if (global && (Before(5) || g_globalError))
        return (::SetLastError(Before(5) ? ERROR_PATH_NOT_FOUND : g_globalError), nullptr);
    g_mutexName = name;
    return ::CreateMutexA(attributes, owned, name);
}
BOOL WINAPI MoveAsOld(const char* from, const char* to)
{
    if (g_secondMoveFails && std::strstr(from, ".tmp"))
        return (::SetLastError(ERROR_ACCESS_DENIED), FALSE);
    return ::MoveFileA(from, to);
}
// CREATE_NO_WINDOW came with NT 4.
BOOL WINAPI CreateAsOld(const char* program, char* command, SECURITY_ATTRIBUTES* process, SECURITY_ATTRIBUTES* thread,
                        BOOL inherit, DWORD flags, void* environment, const char* directory, STARTUPINFOA* startup,
                        PROCESS_INFORMATION* information)
{
    if (Before(4) && (flags & CREATE_NO_WINDOW))
        return (::SetLastError(ERROR_INVALID_PARAMETER), FALSE);
    return ::CreateProcessA(program, command, process, thread, inherit, flags, environment, directory, startup,
                            information);
}
// The wrapper's child writes its file two seconds after the start, unless it was ended.
constexpr char kWrapper[] = "cmd.exe /c cmd.exe /c \"ping -n 3 127.0.0.1 >nul & echo late>korvante-late.txt\"";
constexpr char kExit0[] = "cmd.exe /c exit 0";
constexpr DWORD k9x = VER_PLATFORM_WIN32_WINDOWS, kNt = VER_PLATFORM_WIN32_NT;
enum Check { Update, Catalog, Mutex };
// Catalog: where the last refresh left off, and how this one goes.
enum CatalogStart { Whole, StoppedBetweenMoves };
struct OldSystemCase {
    DWORD platform, major, minor;
    bool waitsFail;            // every message wait fails, whatever its mask
    Check check;
    const char* command;       // Update: the command run
    DWORD timeoutSeconds;      // Update: its time-out (0: the default)
    const char* expected;
    DWORD globalError;         // Mutex: what "Global\" meets on 2000 and later
    CatalogStart start;        // Catalog
    bool secondMoveFails;      // Catalog
} const kCases[] = {
    {kNt, 5, 0, true, Update, kExit0, 0, "exit 0", 0, Whole, false},
    {kNt, 5, 0, true, Update, "ping.exe -n 30 127.0.0.1", 1, "timed out (try 1 of 3)", 0, Whole, false},
    {k9x, 4, 0, false, Update, kExit0, 0, "exit 0", 0, Whole, false},
    {k9x, 4, 0, false, Catalog, nullptr, 0, "catalog copied|new", 0, Whole, false},
    {k9x, 4, 0, false, Catalog, nullptr, 0, "catalog not replaced|old", 0, Whole, true},
    {k9x, 4, 0, false, Catalog, nullptr, 0, "catalog copied|new", 0, StoppedBetweenMoves, false},
    {k9x, 4, 0, false, Catalog, nullptr, 0, "catalog not replaced|old", 0, StoppedBetweenMoves, true},
    {kNt, 5, 0, false, Mutex, nullptr, 0, "no mutex, error 6", ERROR_INVALID_HANDLE, Whole, false},
    {kNt, 5, 0, false, Mutex, nullptr, 0, "no mutex, error 5", ERROR_ACCESS_DENIED, Whole, false},
    {kNt, 3, 51, false, Update, kWrapper, 1, "timed out (try 1 of 3), the child went on", 0, Whole, false},
    {kNt, 4, 0, false, Mutex, nullptr, 0, "TesvoOldWindowsRun", 0, Whole, false},
    {kNt, 5, 0, false, Mutex, nullptr, 0, "Global\\TesvoOldWindowsRun", 0, Whole, false},
    {kNt, 5, 0, false, Update, kWrapper, 1, "timed out (try 1 of 3)", 0, Whole, false},
};

void Play(const OldSystemCase& test)
{
    SystemCalls& calls = System();
    calls.platform = test.platform, calls.major = test.major, calls.minor = test.minor;
    calls.msgWaitForMultipleObjects = test.waitsFail ? WaitFailing : WaitAsOld;
    calls.createMutex = MutexAsOld, calls.createProcess = CreateAsOld, calls.moveFile = MoveAsOld;
    g_globalError = test.globalError, g_secondMoveFails = test.secondMoveFails;
    if (test.platform == k9x)
        calls.moveFileEx = MoveNotImplemented;
    if (Before(5))
        calls.createJobObject = nullptr, calls.assignProcessToJobObject = nullptr, calls.terminateJobObject = nullptr;
}

std::string RunUpdate(const OldSystemCase& test)
{
    const std::string late = ProgramDir() + "korvante-late.txt";
    SetEntryValue("OldWindows", "UpdateCommand", test.command);
    SetEntryValue("OldWindows", "WorkingDirectory", ProgramDir());
    SetEntryValue("OldWindows", "UpdateTimeoutSeconds", test.timeoutSeconds);
    char status[260] = "";
    RunJob("OldWindows", status);
    std::string result = status;
    if (test.command == kWrapper && WaitUntil([&] { return ::DeleteFileA(late.c_str()) != FALSE; }, 3500))
        result += ", the child went on";
    return result;
}

std::string RefreshCatalog(const OldSystemCase& test)
{
    const std::string catalog = ProgramDir() + "korvante-old.cfg", source = ProgramDir() + "korvante-old-source.cfg";
    // A machine stopped between the two moves left the old catalog aside only.
    WriteFileText(test.start == Whole ? catalog : catalog + ".old", "old"), WriteFileText(source, "new");
    SetEntryValue("", "CatalogSource", source);
    char status[260] = "";
    RefreshCatalogFile(catalog.c_str(), status);
    std::string result = std::string(status) + "|" + ReadFileText(catalog);
    ::DeleteFileA(catalog.c_str()), ::DeleteFileA(source.c_str());
    for (const char* leftover : {".tmp", ".old"})
        if (::DeleteFileA((catalog + leftover).c_str()))
            result += std::string(" left ") + leftover;
    return result;
}

std::string MakeMutex()
{
    const HANDLE mutex = CreateMachineMutex("TesvoOldWindowsRun");
    const DWORD error = ::GetLastError();
    return mutex && ::CloseHandle(mutex) ? g_mutexName : "no mutex, error " + std::to_string(error);
}

} // namespace

TEST(OldWindowsTest, OldSystemsRefusalsLeaveEveryPathWorking)
{
    for (const OldSystemCase& test : kCases) {
        Play(test);
        const std::string got = test.check == Update ? RunUpdate(test) : test.check == Catalog ? RefreshCatalog(test)
                                                                                               : MakeMutex();
        ResetSystemCalls();
        DeleteProductKey();
        EXPECT_EQ(got, test.expected) << "case " << &test - kCases;
    }
}
