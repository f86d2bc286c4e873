// The real agent as NT 3.51 shows it: a minimized window whose caption is the
// status and whose system menu carries the agent's commands, walked from
// outside as a user would. Everything else of this mode is proven in-process.
//
// Under Wine another process can neither get the agent's system menu
// (GetSystemMenu answers null) nor read the menu of its open popup, so the menu
// is checked through what its rows do: it is opened with Alt+Space
// (WM_SYSCOMMAND SC_KEYMENU) and walked with keys sent to the agent's thread.
#include "support/E2EFixture.h"

namespace {

constexpr UINT Down = VK_DOWN, Right = VK_RIGHT, Enter = VK_RETURN;

struct PopupSearch {
    DWORD thread;
    HWND found;
};

BOOL CALLBACK MatchPopup(HWND candidate, LPARAM param)
{
    auto search = reinterpret_cast<PopupSearch*>(param);
    char className[16] = "";
    ::GetClassNameA(candidate, className, sizeof className);
    if (::GetWindowThreadProcessId(candidate, nullptr) != search->thread || lstrcmpA(className, "#32768") != 0 ||
        !::IsWindowVisible(candidate))
        return TRUE;
    search->found = candidate;
    return FALSE;
}

class SystemMenuE2ETest : public E2ETest {};

} // namespace

// Alt+Space opens the menu on Schedule Update; Right opens that on its top
// product; Suspend is the second row and Close the fourth that takes a key.
// Restore requests never open the window.
TEST_F(SystemMenuE2ETest, Nt351SystemMenuCarriesTheAgentCommands)
{
    AgentFolder folder;
    AgentProcess agent;
    RegisterProducts({"Alpha", "Beta", "Gamma"});
    SetAgentWindowsVersion("nt351");
    ASSERT_TRUE(agent.Start(folder));
    ASSERT_NE(nullptr, agent.WaitForMarker(kStartMs));
    const HWND window = agent.AgentWindow();
    ASSERT_NE(nullptr, window);
    const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    auto caption = [&] {
        char text[128] = "";
        ::GetWindowTextA(window, text, sizeof text);
        return std::string(text);
    };
    auto openPopup = [&] {
        PopupSearch search{thread, nullptr};
        ::EnumWindows(&MatchPopup, reinterpret_cast<LPARAM>(&search));
        return search.found;
    };
    // Opens the system menu as Alt+Space does and presses the keys once it shows.
    auto choose = [&](const std::vector<UINT>& keys) {
        ::PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
        if (!WaitUntil([&] { return openPopup() != nullptr; }, kStartMs))
            return false;
        for (UINT key : keys)
            ::PostThreadMessageA(thread, key == Enter ? WM_CHAR : WM_KEYDOWN, key == Enter ? '\r' : key, 0);
        return true;
    };
    auto shownMinimized = [&] { return ::IsWindowVisible(window) && ::IsIconic(window); };

    ASSERT_TRUE(WaitUntil([&] { return caption() == "No Update." && shownMinimized(); }, kStartMs)) << caption();
    ::PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    ::PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE | 2, 0);

    ASSERT_TRUE(choose({Down, Enter}));
    EXPECT_TRUE(WaitUntil([&] { return caption() == "Tesvo: Suspended"; }, kStartMs)) << caption();
    EXPECT_TRUE(shownMinimized());

    // The top product is the one enumerated first; the library has no schedule
    // for it yet, so no editor opens.
    ASSERT_TRUE(choose({Right, Enter}));
    EXPECT_TRUE(WaitUntil([&] { return Journaled(folder, "EditSchedule \"Alpha\""); }, kStartMs));
    EXPECT_TRUE(WaitUntil([&] { return openPopup() == nullptr; }, kStartMs));

    ASSERT_TRUE(choose({Down, Down, Down, Enter}));
    ASSERT_TRUE(agent.WaitForExit(kStartMs)) << "the agent is still running";
    EXPECT_EQ(0u, agent.ExitCode());
    EXPECT_EQ(nullptr, FindMarker());
}
