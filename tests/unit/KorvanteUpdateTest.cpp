// PrepareUpdate and RunUpdate: the product's command, run hidden and waited
// for, with the outcome recorded in its key and left in the engine buffer.
#include "tests/unit/KorvanteFixture.h"
#include <thread>

namespace {

class KorvanteUpdateTest : public KorvanteTest {
protected:
    // Sets the entry's command (when given), runs it and returns the engine buffer's outcome.
    std::string Run(const char* entry, const char* command)
    {
        char engine[260] = "", a[260] = "", b[260] = "";
        if (command)
            SetEntryValue(entry, "UpdateCommand", command);
        m_result = RunUpdate(entry, engine, a, b, 0);
        return engine;
    }
    int m_result = -1;
};

int g_ticks = 0;

// A thread timer reaches its procedure only through a message loop; the third
// tick asks the program to end.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (++g_ticks == 3)
        ::PostQuitMessage(7);
}

} // namespace

TEST_F(KorvanteUpdateTest, PrepareUpdateFillsTheJobBuffersWithinTheirSize)
{
    SetEntryValue("Alpha", "UpdateCommand", "cmd.exe /c exit 0");
    SetEntryValue("Alpha", "WorkingDirectory", "C:\\windows");
    char jobs[3][260];
    memset(jobs, 'x', sizeof jobs);
    EXPECT_EQ(PrepareUpdate("Alpha", jobs[0], jobs[1]), 1);
    EXPECT_EQ(std::string(jobs[0]) + "|" + jobs[1], "cmd.exe /c exit 0|C:\\windows");
    // The longest command fills the buffer with its terminator; a longer one is no
    // command, and nothing is written past the buffer.
    SetEntryValue("Alpha", "UpdateCommand", std::string(259, 'c'));
    EXPECT_EQ(PrepareUpdate("Alpha", jobs[1], nullptr), 1);
    EXPECT_EQ(std::string(jobs[1]), std::string(259, 'c'));
    SetEntryValue("Alpha", "UpdateCommand", std::string(260, 'c'));
    EXPECT_EQ(PrepareUpdate("Alpha", jobs[1], nullptr), 0);
    EXPECT_EQ(std::string(jobs[1]) + jobs[2][0], "x");
}

TEST_F(KorvanteUpdateTest, RunUpdateRecordsHowTheCommandEnded)
{
    const std::string dir = ProgramDir(), before = Text(Now());
    SetEntryValue("Alpha", "WorkingDirectory", dir);
    EXPECT_EQ(Run("Alpha", "cmd.exe /c echo here> korvante-cwd.txt"), "exit 0");
    EXPECT_EQ(m_result, 1);
    EXPECT_EQ(ReadFileText(dir + "korvante-cwd.txt"), "here\r\n");
    ::DeleteFileA((dir + "korvante-cwd.txt").c_str());
    EXPECT_GE(ReadEntryString("Alpha", "LastRun"), before);
    // A failure says which try it was; with no time to come back to, it is the only one.
    for (const auto& [command, outcome] : {std::make_pair("cmd.exe /c exit 3", "exit 3 (try 1 of 3)"),
                                           {"C:\\no\\such\\updater.exe", "failed to start (try 1 of 3)"},
                                           {"", "no command"}}) {
        EXPECT_EQ(Run("Alpha", command), outcome);
        EXPECT_EQ(ReadEntryString("Alpha", "LastOutcome") + " " + std::to_string(m_result), std::string(outcome) + " 0");
    }
    EXPECT_EQ(Run("Ghost", nullptr) + ReadEntryString("Ghost", "LastOutcome"), "no entry");
    // A command that overruns its time is ended.
    const DWORD seconds = 1, start = ::GetTickCount();
    SetEntryValue("Alpha", "UpdateTimeoutSeconds", seconds);
    EXPECT_EQ(Run("Alpha", "ping.exe -n 30 127.0.0.1"), "timed out (try 1 of 3)");
    EXPECT_LT(::GetTickCount() - start, 10000u);
}

// Closing in the middle of a run: the update being waited for goes on as its
// own process, the quit that ended the wait is handed back, and the agent closes
// the bracket at once. Started again, it finds the products the run did not reach
// still due, and not the one left running.
TEST_F(KorvanteUpdateTest, AClosedRunLeavesWhatItDidNotReachDue)
{
    const double past = Now() - 3 * kMinute;
    Schedule("First", 3, 600, 0, past);
    Schedule("Daily", 1, 600, 0, past);
    Schedule("Once", 3, 600, 0, past);
    SetEntryValue("First", "UpdateCommand", "ping.exe -n 20 127.0.0.1");
    g_ticks = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, Tick);
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(RunDue({"First", "Daily", "Once"}), " First");
    ::KillTimer(nullptr, timer);
    EXPECT_LT(::GetTickCount() - start, 10000u);
    EXPECT_EQ(3, g_ticks) << "messages are dispatched while the update runs";
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
    EXPECT_EQ(ReadEntryString("First", "LastOutcome"), "left running");

    Reload();
    int dailyDue = 0, onceDue = 0;
    EXPECT_EQ(NextText("First") + "|" + NextText("Daily", &dailyDue) + "|" + NextText("Once", &onceDue),
              "none|" + Text(past) + "|" + Text(past));
    EXPECT_EQ(dailyDue + onceDue, 2);
    EXPECT_EQ(RunDue({"First", "Daily", "Once"}), " Daily Once");
    ExpectNothingPast({"First", "Daily", "Once"});
}

// A failed update is tried again after 15 minutes, then after an hour: three
// tries at most, and never later than the product's next occurrence. Success, or
// that occurrence, starts the count anew. Each retry's time is played as come.
TEST_F(KorvanteUpdateTest, AFailedUpdateIsTriedAgainThreeTimesAtMost)
{
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    const int minute = local.wHour * 60 + local.wMinute, later = (minute + 720) % 1440, soon = (minute + 6) % 1440;
    const double past = Now() - 3 * kMinute;
    Schedule("Flaky", 1, later, 0, past);
    Schedule("Broken", 3, 600, 0, past);
    Schedule("Soon", 1, soon, 0, past);
    SetEntryValue("Broken", "UpdateCommand", "cmd /c exit 2");
    SetEntryValue("Soon", "UpdateCommand", "cmd /c exit 1");
    const std::string soonNext = Text(NextScheduledTime(1, 0, soon).m_dt);
    // The minutes from now to the entry's next time; -1 for none.
    const auto minutesAhead = [&](const char* name) {
        COleDateTime next;
        GetNextTime(name, &next);
        return next.m_dt == 0.0 ? -1.0 : (next.m_dt - Now()) * 1440;
    };
    const struct {
        const char *flakyCommand, *ran, *flaky, *broken;
        double flakyMinutes, brokenMinutes;
    } runs[] = {
        {"cmd /c exit 1", " Flaky Broken Soon", "exit 1 (try 1 of 3)", "exit 2 (try 1 of 3)", 15, 15},
        {"cmd /c exit 0", " Flaky Broken", "exit 0 (try 2 of 3)", "exit 2 (try 2 of 3)", 720, 60},
        {"cmd /c exit 1", " Flaky Broken", "exit 1 (try 1 of 3)", "exit 2 (try 3 of 3)", 15, -1},
    };
    for (const auto& run : runs) {
        SetEntryValue("Flaky", "UpdateCommand", run.flakyCommand);
        EXPECT_EQ(RunDue({"Flaky", "Broken", "Soon"}), run.ran);
        EXPECT_EQ(ReadEntryString("Flaky", "LastOutcome") + "|" + ReadEntryString("Broken", "LastOutcome"),
                  std::string(run.flaky) + "|" + run.broken);
        EXPECT_NEAR(minutesAhead("Flaky"), run.flakyMinutes, 1.1) << run.flaky;
        EXPECT_NEAR(minutesAhead("Broken"), run.brokenMinutes, 0.2) << run.broken;
        // The next time comes: it is made this second, and one more passes.
        for (const char* name : {"Flaky", "Broken"})
            SetEntryValue(name, "NextTime", Text(Now()));
        ::Sleep(1100);
    }
    EXPECT_EQ(ReadEntryString("Soon", "LastOutcome") + " " + NextText("Soon"), "exit 1 (try 1 of 3) " + soonNext);
}

namespace {

HWND g_menuOwner = nullptr;
bool g_menuShown = false;

// Opens a menu from inside the update's wait, as the tray icon's right click
// does, and keeps it open until it is closed.
void CALLBACK OpenMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    const HMENU menu = ::CreatePopupMenu();
    ::AppendMenuA(menu, MF_STRING, 1, "Close");
    ::SetForegroundWindow(g_menuOwner);
    g_menuShown = true;
    ::TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, g_menuOwner, nullptr);
    ::DestroyMenu(menu);
}

} // namespace

// The tray menu left open while an update overruns its time: the update is
// ended at its time, not when the user closes the menu (here after 8 s).
TEST_F(KorvanteUpdateTest, AnUpdateEndsAtItsTimeWhileAMenuIsOpen)
{
    g_menuOwner = ::CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    g_menuShown = false;
    const HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread user([done] {
        if (::WaitForSingleObject(done, 8000) == WAIT_TIMEOUT)
            ::PostMessageA(g_menuOwner, WM_CANCELMODE, 0, 0);
    });
    SetEntryValue("Alpha", "UpdateTimeoutSeconds", 1);
    const UINT_PTR opener = ::SetTimer(nullptr, 0, 200, OpenMenu);
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(Run("Alpha", "ping.exe -n 30 127.0.0.1"), "timed out (try 1 of 3)");
    EXPECT_LT(::GetTickCount() - start, 5000u);
    EXPECT_TRUE(g_menuShown);
    ::SetEvent(done);
    user.join();
    ::KillTimer(nullptr, opener);
    ::DestroyWindow(g_menuOwner);
    ::CloseHandle(done);
}

// Windows would read an unquoted path with blanks as the shortest program it
// finds (here My.exe) and look for a bare name in the current directory first;
// the library runs only the program the command names, and refuses the rest.
TEST_F(KorvanteUpdateTest, CommandsRunOnlyTheProgramTheyName)
{
    char system[MAX_PATH], current[MAX_PATH], temp[MAX_PATH];
    ::GetSystemDirectoryA(system, sizeof system);
    ::GetCurrentDirectoryA(sizeof current, current);
    ::GetTempPathA(sizeof temp, temp);
    const std::string shell = std::string(system) + "\\cmd.exe", base = std::string(temp) + "korvante-runs\\";
    const std::string tool = base + "My Tool\\update.exe", planted = std::string(current) + "\\korvante-planted.exe";
    ::CreateDirectoryA(base.c_str(), nullptr);
    ::CreateDirectoryA((base + "My Tool").c_str(), nullptr);
    for (const std::string& copy : {tool, base + "My.exe", planted})
        ASSERT_TRUE(::CopyFileA(shell.c_str(), copy.c_str(), FALSE)) << copy;

    const std::string cases[][2] = {
        {"\"" + tool + "\" /c exit 4", "exit 4 (try 1 of 3)"},
        {tool + " /c exit 4", "unquoted path"},
        {"cmd /c exit 6", "exit 6 (try 1 of 3)"},
        {"korvante-planted /c exit 5", "failed to start (try 1 of 3)"},
        {".\\korvante-planted.exe /c exit 5", "failed to start (try 1 of 3)"},
        {"\"" + tool + " /c exit 4", "failed to start (try 1 of 3)"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(Run("Alpha", test[0].c_str()), test[1]) << test[0];
    for (const std::string& file : {tool, base + "My.exe", planted})
        ::DeleteFileA(file.c_str());
    ::RemoveDirectoryA((base + "My Tool").c_str());
    ::RemoveDirectoryA(base.c_str());
}

namespace {

// The update lock held by a thread of its own, as another session's update
// holds it, until released or for at most ms.
class LockHolder {
public:
    explicit LockHolder(DWORD ms) : m_ms(ms)
    {
        m_thread = ::CreateThread(nullptr, 0, Hold, this, 0, nullptr);
        ::WaitForSingleObject(m_held, 5000);
    }
    ~LockHolder()
    {
        ::SetEvent(m_release);
        ::WaitForSingleObject(m_thread, 10000);
        for (HANDLE handle : {m_thread, m_held, m_release})
            ::CloseHandle(handle);
    }

private:
    static DWORD WINAPI Hold(void* context)
    {
        auto* self = static_cast<LockHolder*>(context);
        const HANDLE lock = ::CreateMutexA(nullptr, FALSE, "Global\\TesvoUpdateRun");
        ::WaitForSingleObject(lock, INFINITE);
        ::SetEvent(self->m_held);
        ::WaitForSingleObject(self->m_release, self->m_ms);
        ::ReleaseMutex(lock);
        ::CloseHandle(lock);
        return 0;
    }
    DWORD m_ms;
    HANDLE m_held = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE m_release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE m_thread = nullptr;
};

} // namespace

// Another session's update holds the lock: the run waits as long as the
// product's time-out and a margin (here 1 s and 1 s), or until a close, and the
// product stays due, as a new start of the agent finds it.
TEST_F(KorvanteUpdateTest, AProductThatFindsNoLockStaysDue)
{
    const struct { bool quit; const char* outcome; } cases[] = {
        {false, "update lock unavailable"}, {true, "closing"}};
    for (const auto& c : cases) {
        const double past = Now() - 3 * kMinute;
        Schedule("Daily", 1, 600, 0, past);
        SetEntryValue("Daily", "UpdateCommand", "cmd.exe /c exit 0");
        SetEntryValue("Daily", "UpdateTimeoutSeconds", 1);
        {
            LockHolder holder(8000);
            if (c.quit)
                ::PostQuitMessage(0);
            const DWORD start = ::GetTickCount();
            EXPECT_EQ(RunDue({"Daily"}), " Daily");
            EXPECT_LT(::GetTickCount() - start, 5000u) << c.outcome;
        }
        MSG quit;
        EXPECT_EQ(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE, c.quit);
        Reload();
        int due = 0;
        EXPECT_EQ(NextText("Daily", &due), Text(past)) << c.outcome;
        EXPECT_EQ(due, 1) << c.outcome;
        EXPECT_EQ(ReadEntryString("Daily", "LastOutcome") + "|" + ReadEntryString("Daily", "LastRun"),
                  std::string(c.outcome) + "|");
    }
}

// Two sessions saw the same due time. A's update fails and stores its retry;
// B's late move and run, made with the time it saw, pass nothing and run nothing.
TEST_F(KorvanteUpdateTest, ALateCallOfAnotherSessionKeepsTheRetry)
{
    const std::string counter = ProgramDir() + "korvante-runs.txt", copy = ProgramDir() + "korvante-b.dll";
    ::DeleteFileA(counter.c_str());
    ASSERT_TRUE(::CopyFileA((ProgramDir() + "korvante.dll").c_str(), copy.c_str(), FALSE));
    const HMODULE b = ::LoadLibraryA(copy.c_str());
    ASSERT_NE(b, nullptr);
    const auto call = [b](int ordinal) { return reinterpret_cast<void (*)()>(::GetProcAddress(b, MAKEINTRESOURCEA(ordinal))); };
    const auto bDue = reinterpret_cast<decltype(&::GetDueTime)>(call(13));
    const auto bSet = reinterpret_cast<decltype(&::SetNextTime)>(call(16));
    const auto bRun = reinterpret_cast<decltype(&::RunUpdate)>(call(5));
    Schedule("Flaky", 1, 600, 0, Now() - 3 * kMinute);
    SetEntryValue("Flaky", "UpdateCommand", "cmd.exe /c echo run>> \"" + counter + "\" & exit 1");

    COleDateTime seen;
    EXPECT_EQ(bDue("Flaky", &seen), 1);
    EXPECT_EQ(RunDue({"Flaky"}), " Flaky");
    char engine[260] = "";
    bSet("Flaky", NextScheduledTime(1, 0, 600));
    EXPECT_EQ(bRun("Flaky", engine, nullptr, nullptr, 0), 0);
    EXPECT_STREQ(engine, "already run");
    COleDateTime retry;
    GetNextTime("Flaky", &retry);
    EXPECT_NEAR((retry.m_dt - Now()) * 1440, 15, 1.1) << "the retry stands";
    EXPECT_EQ(ReadEntryString("Flaky", "LastOutcome"), "exit 1 (try 1 of 3)");
    EXPECT_EQ(CountLines(counter, "run"), 1u);
    ::FreeLibrary(b);
    ::DeleteFileA(copy.c_str());
    ::DeleteFileA(counter.c_str());
}
