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
        // Ours beside the program, never Wine's own. Wine takes WINEDLLOVERRIDES
        // from the environment it started with only, so the override goes where
        // Wine keeps it per program; the fixture removes it with the version.
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Tesvo.exe\\DllOverrides",
                                                   0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
        ::RegSetValueExA(key, "shell32", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7);
        ::RegCloseKey(key);
    }

    void TearDown() override
    {
        if (agent.Running()) {
            ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
            agent.WaitForExit(kStartMs);
        }
        E2ETest::TearDown();
    }

    void StartAgent(const char* version)
    {
        window = StartActivated(agent, folder, version);
        ASSERT_NE(nullptr, window);
        const std::string loaded = folder.Path() + "shell32.loaded";
        EXPECT_TRUE(WaitUntil([&] { return ::GetFileAttributesA(loaded.c_str()) != INVALID_FILE_ATTRIBUTES; },
                              kStartMs))
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

    AgentFolder folder;
    AgentProcess agent;
    HWND window = nullptr;
};

} // namespace

// System-menu mode, on a product key a standard user may only read: the
// minimized window carries the status and its commands work, the product is
// seen and updated with a plain system command, and registering the catalog
// changes nothing. (Windows 95 has no registry security to test this with.)
TEST_F(ShellWithoutIconTest, Nt351RunsItsSystemMenuAndUpdatesFromAReadOnlyKey)
{
    SetEntrySchedule("Alpha", {kEveryHours, 24, 0, SecondsFromNow(-3600), "cmd /c echo updated"});
    WriteFileText(folder.Catalog(), "Gamma\n");
    ProductKeyAccess readOnly("D:P(A;;KR;;;WD)");
    ASSERT_TRUE(readOnly.Applied());
    StartAgent("nt351");
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(WaitUntil([&] { return ReadEntryString("Alpha", "LastOutcome") == "exit 0"; }, kStartMs));
    EXPECT_TRUE(WaitUntil([&] { return Journaled(folder, "EndBatch"); }, kStartMs));
    EXPECT_EQ(RegisteredProducts(), std::vector<std::string>{"Alpha"});
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

// Icon mode with no icon call: the agent starts, runs a due product and ends
// cleanly, never seen.
TEST_F(ShellWithoutIconTest, Win95RunsWithoutIcon)
{
    SetEntrySchedule("Alpha", {kEveryHours, 24, 0, SecondsFromNow(-3600), nullptr});
    StartAgent("win95");
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(WaitUntil([&] { return Journaled(folder, "EndBatch"); }, kStartMs));
    EXPECT_TRUE(Journaled(folder, "RunUpdate \"Alpha\""));
    PumpMessages(1000);
    EXPECT_FALSE(::IsWindowVisible(window));
    ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(agent.WaitForExit(kStartMs));
    EXPECT_EQ(0u, agent.ExitCode());
    EXPECT_EQ(nullptr, FindMarker());
}
