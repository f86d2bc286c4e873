// The real agent as NT 3.51 shows it: a minimized window whose caption is the
// status and whose system menu carries the agent's commands, driven from
// outside as a user would.
//
// Under Wine another process can neither get the agent's system menu
// (GetSystemMenu answers null) nor read the menu of its open popup, so the menu
// is checked through what its rows do: it is opened with Alt+Space
// (WM_SYSCOMMAND SC_KEYMENU) and walked with keys sent to the agent's thread.
#include "support/E2EFixture.h"

namespace {

class SystemMenuE2ETest : public E2ETest {
protected:
    // Starts the agent with Wine reporting this Windows version, and waits until
    // its start-up activation has run.
    void StartAgent(const char* version)
    {
        SetAgentWindowsVersion(version);
        ASSERT_TRUE(agent.Start(folder));
        ASSERT_NE(nullptr, agent.WaitForMarker(kStartMs));
        ASSERT_TRUE(WaitUntil([&] { return Journaled(folder, "GetNextTime"); }, kStartMs));
        window = agent.AgentWindow();
        ASSERT_NE(nullptr, window);
        thread = ::GetWindowThreadProcessId(window, nullptr);
    }

    std::string Caption() const
    {
        char text[128] = "";
        ::GetWindowTextA(window, text, sizeof text);
        return text;
    }

    ::testing::AssertionResult CaptionBecomes(const std::string& expected) const
    {
        if (WaitUntil([&] { return Caption() == expected; }, kStartMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the caption reads \"" << Caption() << "\", not \"" << expected << "\"";
    }

    ::testing::AssertionResult ShownMinimized() const
    {
        if (!::IsWindowVisible(window))
            return ::testing::AssertionFailure() << "the window is hidden";
        if (!::IsIconic(window))
            return ::testing::AssertionFailure() << "the window is not minimized";
        return ::testing::AssertionSuccess();
    }

    // The library's time searches so far.
    size_t Searches() const
    {
        size_t count = 0;
        for (const std::string& line : folder.JournalLines())
            count += line.rfind("GetNextTime", 0) == 0;
        return count;
    }

    void SysCommand(WPARAM id) const { ::PostMessageA(window, WM_SYSCOMMAND, id, 0); }

    // Opens the system menu as Alt+Space does and presses the keys in it once it
    // shows; false when it never showed.
    bool ChooseFromSystemMenu(const std::vector<UINT>& keys) const
    {
        ::PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
        if (!WaitUntil([&] { return OpenPopup() != nullptr; }, kStartMs))
            return false;
        for (UINT key : keys) {
            if (key == VK_RETURN)
                ::PostThreadMessageA(thread, WM_CHAR, '\r', 0);
            else
                ::PostThreadMessageA(thread, WM_KEYDOWN, key, 0);
        }
        return true;
    }

    // A menu popup of the agent's thread on screen, or null.
    HWND OpenPopup() const
    {
        PopupSearch search{thread, nullptr};
        ::EnumWindows(&SystemMenuE2ETest::MatchPopup, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    ::testing::AssertionResult Ends()
    {
        if (!agent.WaitForExit(kStartMs))
            return ::testing::AssertionFailure() << "the agent is still running";
        if (agent.ExitCode() != 0)
            return ::testing::AssertionFailure() << "the agent ended with " << agent.ExitCode();
        if (FindMarker())
            return ::testing::AssertionFailure() << "a marker window is left";
        return ::testing::AssertionSuccess();
    }

    AgentFolder folder;
    AgentProcess agent;
    HWND window = nullptr;
    DWORD thread = 0;

private:
    struct PopupSearch {
        DWORD thread;
        HWND found;
    };

    static BOOL CALLBACK MatchPopup(HWND candidate, LPARAM param)
    {
        auto search = reinterpret_cast<PopupSearch*>(param);
        char className[16] = "";
        ::GetClassNameA(candidate, className, sizeof className);
        if (::GetWindowThreadProcessId(candidate, nullptr) == search->thread && lstrcmpA(className, "#32768") == 0 &&
            ::IsWindowVisible(candidate)) {
            search->found = candidate;
            return FALSE;
        }
        return TRUE;
    }
};

constexpr UINT Down = VK_DOWN, Right = VK_RIGHT, Enter = VK_RETURN;
constexpr WPARAM kSuspend = 3200, kActivate = 4800, kClose = 1600;

} // namespace

// Restore requests, a double click on the icon among them, never open the
// window; Suspend and Activate show in the caption; Close ends the agent.
TEST_F(SystemMenuE2ETest, Nt351CaptionFollowsTheSystemCommands)
{
    StartAgent("nt351");
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }, kStartMs));
    EXPECT_TRUE(ShownMinimized());
    EXPECT_EQ("No Update.", Caption());

    SysCommand(SC_RESTORE);
    SysCommand(SC_RESTORE | 2);
    // Handled in order: once the caption shows Suspended the restores are done.
    SysCommand(kSuspend);
    EXPECT_TRUE(CaptionBecomes("Tesvo: Suspended"));
    EXPECT_TRUE(ShownMinimized());

    SysCommand(kActivate);
    EXPECT_TRUE(CaptionBecomes("No Update."));
    EXPECT_TRUE(ShownMinimized());

    SysCommand(kClose);
    EXPECT_TRUE(Ends());
}

// Alt+Space opens the menu on Schedule Update; Right opens that on its top
// product; Suspend is the second row and Close the fourth that takes a key.
TEST_F(SystemMenuE2ETest, Nt351SystemMenuCarriesTheAgentCommands)
{
    RegisterProducts({"Alpha", "Beta", "Gamma"});
    StartAgent("nt351");
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }, kStartMs));

    ASSERT_TRUE(ChooseFromSystemMenu({Down, Enter}));
    EXPECT_TRUE(CaptionBecomes("Tesvo: Suspended"));
    EXPECT_TRUE(ShownMinimized());

    // The top product is the one enumerated first; the library has no schedule
    // for it yet, so no editor opens.
    ASSERT_TRUE(ChooseFromSystemMenu({Right, Enter}));
    EXPECT_TRUE(WaitUntil([&] { return Journaled(folder, "EditSchedule \"Alpha\""); }, kStartMs));
    EXPECT_TRUE(WaitUntil([&] { return OpenPopup() == nullptr; }, kStartMs));

    ASSERT_TRUE(ChooseFromSystemMenu({Down, Down, Down, Enter}));
    EXPECT_TRUE(Ends());
}

// With the notification icon the window is never seen: system commands that
// reach it anyway leave it hidden and its caption alone.
TEST_F(SystemMenuE2ETest, DefaultVersionKeepsTheWindowHidden)
{
    StartAgent("");
    if (HasFatalFailure())
        return;
    const std::string caption = Caption();
    // Start-up may still be asking the library; let it finish before counting.
    PumpMessages(1000);
    const size_t searches = Searches();

    SysCommand(SC_RESTORE);
    SysCommand(kSuspend);
    SysCommand(kActivate);
    // Activate asks the library for the times again: by then all three are done.
    ASSERT_TRUE(WaitUntil([&] { return Searches() > searches; }, kStartMs));
    PumpMessages(500);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_FALSE(::IsIconic(window));
    EXPECT_EQ(caption, Caption());

    SysCommand(kClose);
    EXPECT_TRUE(Ends());
}
