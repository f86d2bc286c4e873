// The system-menu mode of NT 3.x and Win32s: a minimized window whose caption is
// the status and whose system menu carries the agent menu.
#include "tests/support/MenuFixture.h"
#include "ui/AgentMenu.h"
#include <algorithm>
#include <functional>

namespace {

const WPARAM kRefused[] = {SC_MOVE, SC_SIZE, SC_KEYMENU, SC_MOUSEMENU};

// The agent window's system commands that went on to default processing (the
// CBT hook runs there, before the system acts); the moves, sizes and menus it
// would start are refused, so that nothing modal blocks a test.
std::vector<WPARAM> g_handedOn;
LRESULT CALLBACK RecordHandedOn(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_SYSCOMMAND) {
        g_handedOn.push_back(wParam);
        if (std::count(std::begin(kRefused), std::end(kRefused), wParam & 0xFFF0))
            return 1;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class SystemMenuTest : public MenuTest {
protected:
    bool StartInSystemMenuMode()
    {
        agent.forcedSysMenuMode = TRUE;
        return agent.Start();
    }

    std::vector<MenuEntry> SystemMenu() { return ReadMenu(::GetSystemMenu(agent.m_hWnd, FALSE)); }

    std::string Caption()
    {
        char text[128] = "";
        ::GetWindowTextA(agent.m_hWnd, text, sizeof text);
        return text;
    }

    // Minimized and seen, as the agent always is in this mode.
    bool ShownMinimized() { return ::IsWindowVisible(agent.m_hWnd) && ::IsIconic(agent.m_hWnd); }
};

} // namespace

// Start-up, Suspend and Activate (as commands and from the system menu) and
// status refreshes: caption, the agent menu above what is left of the standard
// menu, the big icon and the icon drawn minimized. Every step rebuilds the menu.
TEST_F(SystemMenuTest, TheStateShowsInCaptionMenuAndIcons)
{
    RegisterProducts({"Alpha"});
    ASSERT_TRUE(StartInSystemMenuMode());
    // The standard menu without the items a minimized agent has no use for and
    // the one separator that went with them.
    ::GetSystemMenu(agent.m_hWnd, TRUE);
    std::vector<std::string> rest;
    const UINT removed[] = {SC_SIZE, SC_RESTORE, SC_MINIMIZE, SC_CLOSE, SC_MAXIMIZE};
    for (const MenuEntry& item : SystemMenu())
        if (!std::count(std::begin(removed), std::end(removed), item.id))
            rest.push_back(item.label);
    ASSERT_NE(rest.end(), std::find(rest.begin(), rest.end(), "---"));
    rest.erase(std::find(rest.begin(), rest.end(), "---"));
    const std::vector<std::string> one = {"Alpha 416", "&Default 400"}, two = {"Alpha 432", "Beta 416", "&Default 400"};
    const char* const later = "Update At: 12/06/30 14:05:00";
    struct Step {
        const char* name;
        std::function<void()> act;
        const char* caption;
        bool active;
        std::vector<std::string> products;
    };
    const Step steps[] = {
        {"start, rebuilt twice", [&] { agent.RebuildSystemMenu(); agent.RebuildSystemMenu(); }, "No Update.", true,
         one},
        {"suspend", [&] { agent.Command(ID_SUSPEND_AGENT); }, "Tesvo: Suspended", false, one},
        {"time change while suspended, a product added", [&] {
             RegisterProducts({"Beta"});
             g_fakeEngine.entries["Beta"].nextTime = COleDateTime(2030, 12, 6, 14, 5, 0).m_dt;
             agent.SendMessage(WM_TIMECHANGE);
         }, "Tesvo: Suspended", false, two},
        {"activate", [&] { agent.Command(ID_ACTIVATE_AGENT); }, later, true, two},
        {"suspend from the system menu", [&] { agent.SendMessage(WM_SYSCOMMAND, ID_SUSPEND_AGENT); },
         "Tesvo: Suspended", false, two},
        {"activate from the system menu", [&] { agent.SendMessage(WM_SYSCOMMAND, ID_ACTIVATE_AGENT); }, later, true,
         two},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        agent.Pump();
        EXPECT_EQ(step.caption, Caption());
        const std::vector<MenuEntry> items = SystemMenu();
        EXPECT_TRUE(ShowsAgentMenu(items, step.products, step.active));
        const std::vector<std::string> labels = Labels(items);
        EXPECT_TRUE(SameSequence(rest, {labels.begin() + std::min<size_t>(5, labels.size()), labels.end()}));
        const HICON icon = AgentIcon(step.active ? IDI_ACTIVE : IDI_SUSPENDED);
        EXPECT_EQ(icon, reinterpret_cast<HICON>(agent.SendMessage(WM_GETICON, ICON_BIG)));
        EXPECT_EQ(icon, reinterpret_cast<HICON>(agent.SendMessage(WM_QUERYDRAGICON)));
        EXPECT_TRUE(ShownMinimized());
    }
}

namespace {

struct SysCommand {
    const char* name;
    WPARAM id;              // as WM_SYSCOMMAND brings it, low bits and all
    const char* edit;       // the library edit it makes, or null
    bool handedOn;          // it goes on to default processing
    bool activeAfter;
    bool closes;
};

class SysCommandTest : public SystemMenuTest, public ::testing::WithParamInterface<SysCommand> {};

} // namespace

// The agent's commands and product items are carried out, then handed on to
// default processing like any other system command. Restore and size requests
// (a double click on the minimized window, say) are dropped whole.
TEST_P(SysCommandTest, IsCarriedOutThenHandedOn)
{
    const SysCommand& command = GetParam();
    RegisterProducts({"Alpha", "Beta", "Gamma"});
    ASSERT_TRUE(StartInSystemMenuMode());
    ForgetCalls();
    g_handedOn.clear();
    HHOOK hook = ::SetWindowsHookExA(WH_CBT, &RecordHandedOn, nullptr, ::GetCurrentThreadId());
    agent.SendMessage(WM_SYSCOMMAND, command.id, MAKELPARAM(10, 20));
    if (!command.closes) {
        agent.Pump();   // a restore would show only once its messages are handled
        EXPECT_TRUE(ShownMinimized());
    }
    ::UnhookWindowsHookEx(hook);
    EXPECT_TRUE(Edited(command.edit));
    EXPECT_EQ(command.handedOn ? std::vector<WPARAM>{command.id} : std::vector<WPARAM>{}, g_handedOn);
    EXPECT_TRUE(Outcome(command.activeAfter, command.closes));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SysCommandTest,
    ::testing::Values(SysCommand{"DefaultWithLowBits", ID_SCHEDULE_DEFAULT | 3, "EditSchedule ", true, true, false},
                      SysCommand{"HeadProduct", 416, "EditSchedule Gamma", true, true, false},
                      SysCommand{"TopProductWithLowBits", 448 | 7, "EditSchedule Alpha", true, true, false},
                      SysCommand{"SeventhProduct", 512, nullptr, true, true, false},
                      SysCommand{"Suspend", ID_SUSPEND_AGENT | 2, nullptr, true, false, false},
                      SysCommand{"Close", ID_CLOSE_AGENT, nullptr, true, true, true},
                      SysCommand{"Move", SC_MOVE, nullptr, true, true, false},
                      SysCommand{"RestoreWithLowBits", SC_RESTORE | 2, nullptr, false, true, false},
                      SysCommand{"SizeFromACorner", SC_SIZE | WMSZ_BOTTOMRIGHT, nullptr, false, true, false}),
    [](const ::testing::TestParamInfo<SysCommand>& info) { return std::string(info.param.name); });

// Where the minimized window draws its icon: centred, the half pixel truncated
// toward zero, so a client area narrower than the icon gives -15, not -16.
TEST(CenteredIcon, TruncatesTowardZero)
{
    struct Row {
        int client, icon, expected;
    };
    for (const Row& row : {Row{35, 32, 2}, Row{33, 32, 1}, Row{31, 32, 0}, Row{2, 32, -14}, Row{0, 32, -15},
                           Row{0, 16, -7}}) {
        SCOPED_TRACE("client " + std::to_string(row.client) + ", icon " + std::to_string(row.icon));
        EXPECT_EQ(row.expected, CenteredIconPosition(row.client, 100, row.icon, 100).x);
        EXPECT_EQ(row.expected, CenteredIconPosition(100, row.client, 100, row.icon).y);
    }
}
