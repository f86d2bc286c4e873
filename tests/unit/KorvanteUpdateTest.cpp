// PrepareUpdate and RunUpdate: the product's command, run hidden and waited
// for, with the outcome recorded in its key and left in the engine buffer.
#include "tests/unit/KorvanteFixture.h"

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
    // A command that fills the buffer with its terminator is no command (one byte
    // stays back for a stored string without one), and nothing is written past it.
    SetEntryValue("Alpha", "UpdateCommand", std::string(259, 'c'));
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
    for (const auto& [command, outcome] : {std::make_pair("cmd.exe /c exit 3", "exit 3"),
                                           {"C:\\no\\such\\updater.exe", "failed to start"}, {"", "no command"}}) {
        EXPECT_EQ(Run("Alpha", command), outcome);
        EXPECT_EQ(ReadEntryString("Alpha", "LastOutcome") + " " + std::to_string(m_result), std::string(outcome) + " 0");
    }
    EXPECT_EQ(Run("Ghost", nullptr) + ReadEntryString("Ghost", "LastOutcome"), "no entry");
    // A command that overruns its time is ended.
    const DWORD seconds = 1, start = ::GetTickCount();
    SetEntryValue("Alpha", "UpdateTimeoutSeconds", seconds);
    EXPECT_EQ(Run("Alpha", "ping.exe -n 30 127.0.0.1"), "timed out");
    EXPECT_LT(::GetTickCount() - start, 10000u);
}

TEST_F(KorvanteUpdateTest, RunUpdateClearsTheTimeOfAOneOffOnly)
{
    const double later = Now() + kHour;
    Schedule("Once", 3, 600, 0, later);
    Schedule("Daily", 1, 600, 0, later);
    Run("Once", "cmd.exe /c exit 0"), Run("Daily", "cmd.exe /c exit 0");
    EXPECT_EQ(NextText("Once") + "|" + NextText("Daily"), "none|" + Text(later));
}

TEST_F(KorvanteUpdateTest, RunUpdateDispatchesMessagesWhileItWaitsAndGivesAQuitBack)
{
    g_ticks = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, Tick);
    const DWORD start = ::GetTickCount();
    // The quit ends the wait; the update itself goes on as its own process.
    EXPECT_EQ(Run("Alpha", "ping.exe -n 20 127.0.0.1"), "left running");
    ::KillTimer(nullptr, timer);
    EXPECT_LT(::GetTickCount() - start, 10000u);
    EXPECT_EQ(3, g_ticks);
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
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
        {"\"" + tool + "\" /c exit 4", "exit 4"},
        {tool + " /c exit 4", "unquoted path"},
        {"cmd /c exit 6", "exit 6"},
        {"korvante-planted /c exit 5", "failed to start"},
        {".\\korvante-planted.exe /c exit 5", "failed to start"},
        {"\"" + tool + " /c exit 4", "failed to start"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(Run("Alpha", test[0].c_str()), test[1]) << test[0];
    for (const std::string& file : {tool, base + "My.exe", planted})
        ::DeleteFileA(file.c_str());
    ::RemoveDirectoryA((base + "My Tool").c_str());
    ::RemoveDirectoryA(base.c_str());
}
