// The system-menu mode of NT 3.x and Win32s: a minimized window whose caption is
// the status and whose system menu carries the agent menu.
#include "support/MenuFixture.h"
#include "ui/AgentMenu.h"
#include "framework/WinApp.h"
#include <algorithm>
#include <functional>

namespace {

// Records the agent window's system commands that went on to default
// processing (the CBT hook runs there, before the system acts) and refuses the
// moves, sizes and menus that it would start, so nothing modal blocks a test.
class DefaultProcessingWatch {
public:
    DefaultProcessingWatch()
    {
        Active() = this;
        m_hook = ::SetWindowsHookExA(WH_CBT, &DefaultProcessingWatch::Cbt, nullptr, ::GetCurrentThreadId());
    }
    ~DefaultProcessingWatch()
    {
        ::UnhookWindowsHookEx(m_hook);
        Active() = nullptr;
    }
    DefaultProcessingWatch(const DefaultProcessingWatch&) = delete;
    DefaultProcessingWatch& operator=(const DefaultProcessingWatch&) = delete;

    std::vector<WPARAM> handedOn;   // WM_SYSCOMMAND wParams, as received

private:
    static DefaultProcessingWatch*& Active()
    {
        static DefaultProcessingWatch* active = nullptr;
        return active;
    }
    static LRESULT CALLBACK Cbt(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_SYSCOMMAND && Active()) {
            Active()->handedOn.push_back(wParam);
            const WPARAM command = wParam & 0xFFF0;
            if (command == SC_MOVE || command == SC_SIZE || command == SC_KEYMENU || command == SC_MOUSEMENU)
                return 1;
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK m_hook;
};

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
    ::testing::AssertionResult ShownMinimized()
    {
        if (!::IsWindowVisible(agent.m_hWnd))
            return ::testing::AssertionFailure() << "the window is hidden";
        if (!::IsIconic(agent.m_hWnd))
            return ::testing::AssertionFailure() << "the window is not minimized";
        return ::testing::AssertionSuccess();
    }
};

// What is left of a standard system menu once the agent has taken out the
// items a minimized agent has no use for, and the one separator that went too.
std::vector<std::string> WhatIsLeft(const std::vector<MenuEntry>& standard)
{
    std::vector<MenuEntry> left;
    bool separatorDropped = false;
    for (const MenuEntry& item : standard) {
        const UINT removed[] = {SC_SIZE, SC_RESTORE, SC_MINIMIZE, SC_CLOSE, SC_MAXIMIZE};
        if (std::find(std::begin(removed), std::end(removed), item.id) != std::end(removed))
            continue;
        if (item.separator && !separatorDropped)
            separatorDropped = true;
        else
            left.push_back(item);
    }
    std::vector<std::string> rows = kAgentRows, labels = Labels(left);
    rows.insert(rows.end(), labels.begin(), labels.end());
    return rows;
}

} // namespace

// The agent's rows on top of what is left of the window's own standard menu;
// rebuilding again gives the same menu.
TEST_F(SystemMenuTest, PutsTheAgentMenuAboveWhatIsLeftOfTheStandardMenu)
{
    RegisterProducts({"Gamma", "Alpha", "Beta"});
    ASSERT_TRUE(StartInSystemMenuMode());
    ::GetSystemMenu(agent.m_hWnd, TRUE);
    const std::vector<MenuEntry> standard = SystemMenu();
    agent.RebuildSystemMenu();
    agent.RebuildSystemMenu();

    const std::vector<MenuEntry> items = SystemMenu();
    EXPECT_TRUE(SameSequence(WhatIsLeft(standard), Labels(items)));
    ASSERT_FALSE(items.empty());
    EXPECT_TRUE(SameSequence({"Alpha 448", "Beta 432", "Gamma 416", "&Default 400"}, Labels(items[0].sub)));
}

// Start-up, Suspend and Activate (as commands and from the system menu) and
// status refreshes: caption, enabled item, products, the big icon and the icon
// drawn for the minimized window, which stays minimized throughout.
TEST_F(SystemMenuTest, TheStateShowsInCaptionItemsAndIcons)
{
    RegisterProducts({"Alpha"});
    ASSERT_TRUE(StartInSystemMenuMode());
    const std::vector<std::string> one = {"Alpha 416", "&Default 400"}, two = {"Alpha 432", "Beta 416", "&Default 400"};
    struct Step {
        const char* name;
        std::function<void()> act;
        const char* caption;
        const char* grayed;
        UINT icon;
        std::vector<std::string> schedule;
    };
    const Step steps[] = {
        {"start", [] {}, "No Update.", "Activate Agent 4800", IDI_ACTIVE, one},
        {"suspend", [&] { agent.Command(ID_SUSPEND_AGENT); }, "Tesvo: Suspended", "Suspend Agent 3200", IDI_SUSPENDED, one},
        {"time change while suspended, a product added", [&] {
             RegisterProducts({"Beta"});
             g_fakeEngine.entries["Beta"].nextTime = COleDateTime(2030, 12, 6, 14, 5, 0).m_dt;
             agent.SendMessage(WM_TIMECHANGE);
         }, "Update At: 12/06/30 14:05:00", "Suspend Agent 3200", IDI_SUSPENDED, two},
        {"activate", [&] { agent.Command(ID_ACTIVATE_AGENT); }, "Update At: 12/06/30 14:05:00", "Activate Agent 4800",
         IDI_ACTIVE, two},
        {"suspend from the system menu", [&] { agent.SendMessage(WM_SYSCOMMAND, ID_SUSPEND_AGENT); },
         "Tesvo: Suspended", "Suspend Agent 3200", IDI_SUSPENDED, two},
        {"activate from the system menu", [&] { agent.SendMessage(WM_SYSCOMMAND, ID_ACTIVATE_AGENT); },
         "Update At: 12/06/30 14:05:00", "Activate Agent 4800", IDI_ACTIVE, two},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        agent.Pump();
        EXPECT_EQ(step.caption, Caption());
        std::vector<MenuEntry> items = SystemMenu();
        ASSERT_GT(items.size(), kAgentRows.size());
        EXPECT_TRUE(SameSequence(kAgentRows, Labels({items.begin(), items.begin() + kAgentRows.size()})));
        EXPECT_EQ(std::vector<std::string>{step.grayed}, Grayed({items.begin(), items.begin() + kAgentRows.size()}));
        EXPECT_TRUE(SameSequence(step.schedule, Labels(items[0].sub)));
        EXPECT_EQ(AgentIcon(step.icon), reinterpret_cast<HICON>(agent.SendMessage(WM_GETICON, ICON_BIG)));
        EXPECT_EQ(AgentIcon(step.icon), reinterpret_cast<HICON>(agent.SendMessage(WM_QUERYDRAGICON)));
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
    DefaultProcessingWatch watch;

    agent.SendMessage(WM_SYSCOMMAND, command.id, MAKELPARAM(10, 20));
    if (!command.closes)
        agent.Pump();   // a restore would show only once its messages are handled

    EXPECT_EQ(command.edit ? std::vector<std::string>{command.edit} : std::vector<std::string>{}, Edits());
    EXPECT_EQ(command.handedOn ? std::vector<WPARAM>{command.id} : std::vector<WPARAM>{}, watch.handedOn);
    EXPECT_TRUE(Outcome(command.activeAfter, command.closes));
    if (!command.closes)
        EXPECT_TRUE(ShownMinimized());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SysCommandTest,
    ::testing::Values(SysCommand{"Default", ID_SCHEDULE_DEFAULT, "EditSchedule ", true, true, false},
                      SysCommand{"DefaultWithLowBits", ID_SCHEDULE_DEFAULT | 3, "EditSchedule ", true, true, false},
                      SysCommand{"HeadProduct", 416, "EditSchedule Gamma", true, true, false},
                      SysCommand{"TopProductWithLowBits", 448 | 7, "EditSchedule Alpha", true, true, false},
                      SysCommand{"SeventhProduct", 512, nullptr, true, true, false},
                      SysCommand{"Suspend", ID_SUSPEND_AGENT | 2, nullptr, true, false, false},
                      SysCommand{"Close", ID_CLOSE_AGENT, nullptr, true, true, true},
                      SysCommand{"Move", SC_MOVE, nullptr, true, true, false},
                      SysCommand{"KeyMenu", SC_KEYMENU, nullptr, true, true, false},
                      SysCommand{"Restore", SC_RESTORE, nullptr, false, true, false},
                      SysCommand{"RestoreWithLowBits", SC_RESTORE | 2, nullptr, false, true, false},
                      SysCommand{"SizeFromACorner", SC_SIZE | WMSZ_BOTTOMRIGHT, nullptr, false, true, false}),
    [](const ::testing::TestParamInfo<SysCommand>& info) { return std::string(info.param.name); });

// Without the agent menu resource the rebuild has nothing to copy: it stops,
// the window stays as it was, and a later rebuild works again.
TEST_F(SystemMenuTest, WithoutTheAgentMenuTheRebuildStopsSafely)
{
    RegisterProducts({"Alpha"});
    ASSERT_TRUE(StartInSystemMenuMode());
    {
        // Resources from a module that has no menu 350.
        CWinApp elsewhere;
        elsewhere.m_hInstance = ::GetModuleHandleA("kernel32.dll");
        agent.m_menu.DestroyMenu();
        agent.RebuildSystemMenu();
        EXPECT_EQ(nullptr, agent.m_menu.m_hMenu);
        for (const MenuEntry& item : SystemMenu())
            EXPECT_TRUE(item.sub.empty() && item.id != ID_SUSPEND_AGENT) << item.text;
        EXPECT_TRUE(ShownMinimized());
    }
    agent.RebuildSystemMenu();
    const std::vector<MenuEntry> items = SystemMenu();
    ASSERT_FALSE(items.empty());
    EXPECT_TRUE(SameSequence({"Alpha 416", "&Default 400"}, Labels(items[0].sub)));
}

// With the notification icon the window itself is never touched: hidden, its
// caption and system menu as created.
TEST_F(SystemMenuTest, TheIconModeLeavesTheWindowAlone)
{
    RegisterProducts({"Alpha"});
    agent.forcedSysMenuMode = FALSE;
    ASSERT_TRUE(agent.Start());
    const std::string caption = Caption();
    const std::vector<std::string> standard = Labels(SystemMenu());
    for (UINT id : {ID_SUSPEND_AGENT, ID_ACTIVATE_AGENT}) {
        agent.Command(id);
        agent.SendMessage(WM_TIMECHANGE);
        agent.Pump();
        EXPECT_FALSE(::IsWindowVisible(agent.m_hWnd));
        EXPECT_FALSE(::IsIconic(agent.m_hWnd));
        EXPECT_EQ(caption, Caption());
        EXPECT_TRUE(SameSequence(standard, Labels(SystemMenu())));
    }
}

// Where the minimized window draws its icon: centred, the half pixel truncated
// toward zero, so a client area narrower than the icon gives -15, not -16.
TEST(CenteredIcon, TruncatesTowardZero)
{
    struct Row {
        int client, icon, expected;
    };
    for (const Row& row : {Row{36, 32, 2}, Row{35, 32, 2}, Row{33, 32, 1}, Row{32, 32, 0}, Row{31, 32, 0},
                           Row{2, 32, -14}, Row{0, 32, -15}, Row{20, 16, 2}, Row{0, 16, -7}}) {
        SCOPED_TRACE("client " + std::to_string(row.client) + ", icon " + std::to_string(row.icon));
        EXPECT_EQ(row.expected, CenteredIconPosition(row.client, 100, row.icon, 100).x);
        EXPECT_EQ(row.expected, CenteredIconPosition(100, row.client, 100, row.icon).y);
    }
}
