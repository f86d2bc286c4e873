// The real agent with a shell library that lacks the notification-icon call, as
// on NT 3.x and Win32s: it loads all the same and does everything but the icon.
// (Wine would stub a missing import instead of refusing to load, so only running
// the agent shows it.)
#include "support/E2EFixture.h"

namespace {

constexpr DWORD kEveryHours = 4;   // the stand-in library's kind: every a hours

class ShellWithoutIconTest : public E2ETest {
protected:
    void SetUp() override
    {
        E2ETest::SetUp();
        ASSERT_TRUE(::CopyFileA((ProgramDir() + "..\\noshell\\shell32.dll").c_str(),
                                (folder.Path() + "shell32.dll").c_str(), FALSE));
        // Ours beside the program, never Wine's own.
        ::SetEnvironmentVariableA("WINEDLLOVERRIDES", "shell32=n");
    }

    void TearDown() override
    {
        ::SetEnvironmentVariableA("WINEDLLOVERRIDES", nullptr);
        if (agent.Running()) {
            ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
            agent.WaitForExit(kStartMs);
        }
        E2ETest::TearDown();
    }

    void StartAgent(const char* version)
    {
        SetAgentWindowsVersion(version);
        ASSERT_TRUE(agent.Start(folder));
        ASSERT_NE(nullptr, agent.WaitForMarker(kStartMs));
        ASSERT_TRUE(WaitUntil([&] { return Journaled(folder, "GetNextTime"); }, kStartMs));
        window = agent.AgentWindow();
        ASSERT_NE(nullptr, window);
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((folder.Path() + "shell32.loaded").c_str()))
            << "the agent did not load the shell library beside it";
    }

    std::string Caption() const
    {
        char text[128] = "";
        ::GetWindowTextA(window, text, sizeof text);
        return text;
    }

    bool CaptionStartsWith(const std::string& prefix) const
    {
        return WaitUntil([&] { return Caption().rfind(prefix, 0) == 0; }, kStartMs);
    }

    void SysCommand(WPARAM id) const { ::PostMessageA(window, WM_SYSCOMMAND, id, 0); }

    void CloseAndExpectClean()
    {
        ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(agent.WaitForExit(kStartMs));
        EXPECT_EQ(0u, agent.ExitCode());
        EXPECT_EQ(nullptr, FindMarker());
    }

    AgentFolder folder;
    AgentProcess agent;
    HWND window = nullptr;
};

} // namespace

// System-menu mode: the minimized window carries the status, its commands work,
// and a due product is updated with a plain system command.
TEST_F(ShellWithoutIconTest, Nt351RunsItsSystemMenuAndUpdates)
{
    SetEntrySchedule("Alpha", {kEveryHours, 24, 0, SecondsFromNow(-3600), "cmd /c echo updated"});
    StartAgent("nt351");
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(WaitUntil([&] { return ReadEntryString("Alpha", "LastOutcome") == "exit 0"; }, kStartMs));
    EXPECT_TRUE(CaptionStartsWith("Update At: "));
    EXPECT_TRUE(::IsIconic(window));

    SysCommand(3200);
    EXPECT_TRUE(CaptionStartsWith("Tesvo: Suspended"));
    SysCommand(4800);
    EXPECT_TRUE(CaptionStartsWith("Update At: "));
    SysCommand(1600);
    ASSERT_TRUE(agent.WaitForExit(kStartMs));
    EXPECT_EQ(0u, agent.ExitCode());
}

// Icon mode with no icon call, on a product key a standard user may only read:
// the products are still seen and run, registering the catalog changes nothing,
// and the agent ends cleanly.
TEST_F(ShellWithoutIconTest, Win95RunsWithoutIconOnAReadOnlyProductKey)
{
    SetEntrySchedule("Alpha", {kEveryHours, 24, 0, SecondsFromNow(-3600), nullptr});
    WriteFileText(folder.Catalog(), "Gamma\n");
    ProductKeyAccess readOnly("D:P(A;;KR;;;WD)");
    ASSERT_TRUE(readOnly.Applied());
    StartAgent("win95");
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(WaitUntil([&] { return Journaled(folder, "RunUpdate \"Alpha\""); }, kStartMs));
    EXPECT_TRUE(WaitUntil([&] { return Journaled(folder, "EndBatch"); }, kStartMs));
    PumpMessages(1000);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(RegisteredProducts(), std::vector<std::string>{"Alpha"});
    CloseAndExpectClean();
}
