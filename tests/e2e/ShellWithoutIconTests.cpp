// The real agent with a shell library lacking the notification-icon call, as on
// NT 3.x, Win32s and a bare Windows 95: it loads all the same and does all but
// the icon (Wine would stub a missing import, so only running the agent shows
// it). On NT 3.51 its system menu is walked as a user would: Wine lets another
// process neither get that menu nor read its open popup, so the menu is opened
// with Alt+Space and walked with keys sent to the agent's thread.
#include "tests/support/E2EFixture.h"

namespace {

constexpr UINT Down = VK_DOWN, Right = VK_RIGHT, Enter = VK_RETURN;

class ShellWithoutIconTest : public E2ETest {
protected:
    void SetUp() override
    {
        E2ETest::SetUp();
        ASSERT_TRUE(agent.CopyIn("..\\noshell\\shell32.dll", "shell32.dll"));
        // Ours beside the program, never Wine's own. Wine takes WINEDLLOVERRIDES
        // from the environment it started with only, so the override goes where
        // Wine keeps it per program; the fixture removes it with the version.
        ASSERT_TRUE(SetUserValue(std::string(kAppDefaults) + "\\DllOverrides", "shell32", "native"));
    }

    void StartWithoutIcon(const char* version)
    {
        ASSERT_TRUE(StartAgent(version));
        const std::string loaded = agent.Path() + "shell32.loaded";
        ASSERT_TRUE(WaitUntil([&] { return ::GetFileAttributesA(loaded.c_str()) != INVALID_FILE_ATTRIBUTES; },
                              kStartMs))
            << "the agent did not load the shell library beside it";
        ASSERT_TRUE(WaitForLine("EndBatch"));
    }

    bool CaptionBecomes(const std::string& prefix) const
    {
        return WaitUntil([&] { return Caption().rfind(prefix, 0) == 0; }, kStartMs);
    }

    bool ShownMinimized() const { return ::IsWindowVisible(window) && ::IsIconic(window); }

    // Opens the system menu as Alt+Space does and presses the keys once it shows.
    bool Choose(const std::vector<UINT>& keys) const
    {
        ::PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
        if (!WaitUntil([&] { return OpenPopup() != nullptr; }, kStartMs))
            return false;
        const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
        for (UINT key : keys)
            ::PostThreadMessageA(thread, key == Enter ? WM_CHAR : WM_KEYDOWN, key == Enter ? '\r' : key, 0);
        return true;
    }

    HWND OpenPopup() const { return FindProcessWindow(agent.ProcessId(), "#32768", true); }
};

} // namespace

// System-menu mode on a product key a standard user may only read: the due
// product is updated and registering the catalog changes nothing; the
// minimized window carries the status; restore requests never open it.
// Alt+Space opens the menu on Schedule Update, whose first row is the top
// product; Suspend is the second row and Close the fourth that takes a key.
TEST_F(ShellWithoutIconTest, Nt351UpdatesFromAReadOnlyKeyAndItsSystemMenuCarriesTheAgentCommands)
{
    SetEntrySchedule("Alpha", kEveryHours, -3600, "cmd /c echo updated");
    WriteFileText(agent.Catalog(), "Gamma\n");
    ProductKeyAccess readOnly("D:P(A;;KR;;;WD)");
    ASSERT_TRUE(readOnly.Applied());
    StartWithoutIcon("nt351");
    EXPECT_TRUE(WaitUntil([&] { return ReadEntryString("Alpha", "LastOutcome") == "exit 0"; }, kStartMs));
    EXPECT_EQ(RegisteredProducts(), std::vector<std::string>{"Alpha"});
    EXPECT_TRUE(CaptionBecomes("Update At: ")) << Caption();
    ::PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    ::PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE | 2, 0);

    ASSERT_TRUE(Choose({Down, Enter}));
    EXPECT_TRUE(CaptionBecomes("Tesvo: Suspended")) << Caption();
    EXPECT_TRUE(ShownMinimized());
    ::PostMessageA(window, WM_SYSCOMMAND, 4800, 0);
    EXPECT_TRUE(CaptionBecomes("Update At: ")) << Caption();

    // The library's editor opens for the top product; cancelling it closes the menu.
    ASSERT_TRUE(Choose({Right, Enter}));
    EXPECT_TRUE(WaitForLine("EditSchedule \"Alpha\""));
    HWND editor = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (editor = ::FindWindowA(nullptr, "Update Schedule")) != nullptr; }, kStartMs));
    ::PostMessageA(editor, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return OpenPopup() == nullptr; }, kStartMs));

    ASSERT_TRUE(Choose({Down, Down, Down, Enter}));
    EXPECT_TRUE(agent.WaitForExit(kStartMs)) << "the agent is still running";
    EXPECT_EQ(0u, agent.ExitCode());
    EXPECT_EQ(nullptr, FindMarker());
}

// Icon mode with no icon call: the agent runs a due product and ends cleanly, never seen.
TEST_F(ShellWithoutIconTest, Win95RunsWithoutIcon)
{
    SetEntrySchedule("Alpha", kEveryHours, -3600);
    StartWithoutIcon("win95");
    EXPECT_EQ(1u, Ops({"RunUpdate"}).size());
    PumpMessages(1000);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_TRUE(CloseAgent());
}
