// The system-menu mode of NT 3.x and Win32s: a minimized window whose caption is
// the status and whose system menu carries the agent menu.
#include "support/MenuFixture.h"
#include "ui/AgentMenu.h"
#include "framework/WinApp.h"
#include <algorithm>
#include <functional>

namespace {

const std::vector<std::string> kAgentRows = {"Schedule Update >", "Suspend Agent 3200", "Activate Agent 4800", "---",
                                             "Close 1600"};

// Watches the agent window's system commands on this thread: which of them went
// on to default processing (the CBT hook runs there, before the system acts),
// and the WM_COMMANDs sent to the window. Moves, sizes and menus that default
// processing would start are refused, so that nothing modal can block a test.
class SysCommandWatch {
public:
    explicit SysCommandWatch(HWND window) : m_window(window)
    {
        Active() = this;
        m_cbt = ::SetWindowsHookExA(WH_CBT, &SysCommandWatch::Cbt, nullptr, ::GetCurrentThreadId());
        m_sent = ::SetWindowsHookExA(WH_CALLWNDPROC, &SysCommandWatch::Sent, nullptr, ::GetCurrentThreadId());
    }
    ~SysCommandWatch()
    {
        ::UnhookWindowsHookEx(m_cbt);
        ::UnhookWindowsHookEx(m_sent);
        Active() = nullptr;
    }
    SysCommandWatch(const SysCommandWatch&) = delete;
    SysCommandWatch& operator=(const SysCommandWatch&) = delete;

    std::vector<WPARAM> defaultProcessed;   // WM_SYSCOMMAND wParams, as received
    std::vector<LPARAM> commandLParams;     // of the WM_COMMANDs sent to the window

private:
    static SysCommandWatch*& Active()
    {
        static SysCommandWatch* active = nullptr;
        return active;
    }

    static LRESULT CALLBACK Cbt(int code, WPARAM wParam, LPARAM lParam)
    {
        SysCommandWatch* self = Active();
        if (self && code == HCBT_SYSCOMMAND) {
            self->defaultProcessed.push_back(wParam);
            switch (wParam & 0xFFF0) {
            case SC_MOVE:
            case SC_SIZE:
            case SC_KEYMENU:
            case SC_MOUSEMENU:
                return 1;
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static LRESULT CALLBACK Sent(int code, WPARAM wParam, LPARAM lParam)
    {
        SysCommandWatch* self = Active();
        const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (self && code == HC_ACTION && call->hwnd == self->m_window && call->message == WM_COMMAND)
            self->commandLParams.push_back(call->lParam);
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    HWND m_window;
    HHOOK m_cbt;
    HHOOK m_sent;
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

    HICON BigIcon() { return reinterpret_cast<HICON>(agent.SendMessage(WM_GETICON, ICON_BIG)); }
    HICON DragIcon() { return reinterpret_cast<HICON>(agent.SendMessage(WM_QUERYDRAGICON)); }

    // Minimized and seen, as the agent always is in this mode.
    ::testing::AssertionResult ShownMinimized()
    {
        if (!::IsWindowVisible(agent.m_hWnd))
            return ::testing::AssertionFailure() << "the window is hidden";
        if (!::IsIconic(agent.m_hWnd))
            return ::testing::AssertionFailure() << "the window is not minimized";
        return ::testing::AssertionSuccess();
    }

    // The grayed items among the agent's own rows at the top of the system menu.
    std::vector<std::string> GrayedAgentRows()
    {
        std::vector<MenuEntry> items = SystemMenu();
        items.resize(std::min<size_t>(items.size(), kAgentRows.size()));
        return Grayed(items);
    }
};

// What is left of a standard system menu once the agent has taken out the items
// a minimized agent has no use for, and the one separator that went with them.
std::vector<std::string> WhatIsLeft(const std::vector<MenuEntry>& standard)
{
    std::vector<std::string> left;
    bool separatorDropped = false;
    for (const MenuEntry& item : standard) {
        if (item.id == SC_SIZE || item.id == SC_RESTORE || item.id == SC_MINIMIZE || item.id == SC_CLOSE ||
            item.id == SC_MAXIMIZE)
            continue;
        if (item.separator && !separatorDropped) {
            separatorDropped = true;
            continue;
        }
        left.push_back(Label(item));
    }
    return left;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The numbers in "WM_COMMAND 432"-like lines, less the popup's WM_USER. A command
// from a submenu of the system menu arrives as WM_COMMAND under Wine and as
// WM_SYSCOMMAND elsewhere; the agent takes both, so only the number counts.
std::vector<UINT> CommandNumbers(const std::vector<std::string>& posted)
{
    std::vector<UINT> numbers;
    for (const std::string& line : posted)
        if (line.rfind("WM_USER", 0) != 0)
            numbers.push_back(std::stoul(line.substr(line.find(' ') + 1)));
    return numbers;
}

} // namespace

TEST_F(SystemMenuTest, StartsMinimizedWithTheStatusAsItsCaption)
{
    ASSERT_TRUE(StartInSystemMenuMode());
    EXPECT_TRUE(ShownMinimized());
    EXPECT_EQ("No Update.", Caption());
    agent.Destroy();

    g_fakeEngine.entries[""].nextTime = COleDateTime(2030, 12, 6, 14, 5, 0).m_dt;
    ASSERT_TRUE(StartInSystemMenuMode());
    EXPECT_TRUE(ShownMinimized());
    EXPECT_EQ("Update At: 12/06/30 14:05:00", Caption());
}

TEST_F(SystemMenuTest, PutsTheAgentMenuAboveWhatIsLeftOfTheStandardMenu)
{
    RegisterProducts({"Gamma", "Alpha", "Beta"});
    ASSERT_TRUE(StartInSystemMenuMode());
    // The standard menu of this very window, then the agent's again.
    ::GetSystemMenu(agent.m_hWnd, TRUE);
    const std::vector<MenuEntry> standard = SystemMenu();
    agent.RebuildSystemMenu();

    const std::vector<MenuEntry> items = SystemMenu();
    EXPECT_EQ(kAgentRows + WhatIsLeft(standard), Labels(items));
    ASSERT_GT(items.size(), kAgentRows.size());
    EXPECT_EQ(static_cast<UINT>(SC_MOVE), items[kAgentRows.size()].id);
    EXPECT_EQ((std::vector<std::string>{"Alpha 448", "Beta 432", "Gamma 416", "&Default 400"}), Labels(items[0].sub));
    EXPECT_EQ(std::vector<std::string>{"Activate Agent 4800"}, GrayedAgentRows());
    EXPECT_TRUE(Grayed(items[0].sub).empty());
    EXPECT_TRUE(Checked(items).empty());
    EXPECT_TRUE(Checked(items[0].sub).empty());
}

TEST_F(SystemMenuTest, RebuildingAgainGivesTheSameMenu)
{
    RegisterProducts({"Alpha", "Beta"});
    ASSERT_TRUE(StartInSystemMenuMode());
    const std::vector<MenuEntry> once = SystemMenu();
    agent.RebuildSystemMenu();
    agent.RebuildSystemMenu();
    const std::vector<MenuEntry> thrice = SystemMenu();
    EXPECT_EQ(Labels(once), Labels(thrice));
    ASSERT_FALSE(thrice.empty());
    EXPECT_EQ(Labels(once[0].sub), Labels(thrice[0].sub));
    EXPECT_EQ(Grayed(once), Grayed(thrice));
}

// Suspend and Activate swap the enabled item, the caption, the big icon and the
// icon drawn for the minimized window; a status refresh in between keeps them.
TEST_F(SystemMenuTest, TheStateShowsInItemsCaptionAndIcons)
{
    RegisterProducts({"Alpha"});
    ASSERT_TRUE(StartInSystemMenuMode());

    struct Step {
        const char* name;
        std::function<void()> act;
        const char* caption;
        const char* grayed;
        UINT icon;
    };
    const Step steps[] = {
        {"start", [] {}, "No Update.", "Activate Agent 4800", IDI_ACTIVE},
        {"suspend", [&] { agent.Command(ID_SUSPEND_AGENT); }, "Tesvo: Suspended", "Suspend Agent 3200", IDI_SUSPENDED},
        {"time change while suspended", [&] { agent.SendMessage(WM_TIMECHANGE); }, "No Update.", "Suspend Agent 3200",
         IDI_SUSPENDED},
        {"activate", [&] { agent.Command(ID_ACTIVATE_AGENT); }, "No Update.", "Activate Agent 4800", IDI_ACTIVE},
        {"suspend from the system menu", [&] { agent.SendMessage(WM_SYSCOMMAND, ID_SUSPEND_AGENT); },
         "Tesvo: Suspended", "Suspend Agent 3200", IDI_SUSPENDED},
        {"activate from the system menu", [&] { agent.SendMessage(WM_SYSCOMMAND, ID_ACTIVATE_AGENT); }, "No Update.",
         "Activate Agent 4800", IDI_ACTIVE},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        agent.Pump();
        EXPECT_EQ(step.caption, Caption());
        EXPECT_EQ(std::vector<std::string>{step.grayed}, GrayedAgentRows());
        EXPECT_EQ(AgentIcon(step.icon), BigIcon());
        EXPECT_EQ(AgentIcon(step.icon), DragIcon());
        EXPECT_TRUE(ShownMinimized());
    }
}

TEST_F(SystemMenuTest, EveryStatusRefreshRereadsTheProducts)
{
    RegisterProducts({"Alpha"});
    ASSERT_TRUE(StartInSystemMenuMode());
    RegisterProducts({"Beta"});
    g_fakeEngine.entries["Beta"].nextTime = COleDateTime(2030, 12, 6, 14, 5, 0).m_dt;
    agent.SendMessage(WM_TIMECHANGE);
    EXPECT_EQ("Update At: 12/06/30 14:05:00", Caption());
    const std::vector<MenuEntry> items = SystemMenu();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ((std::vector<std::string>{"Alpha 432", "Beta 416", "&Default 400"}), Labels(items[0].sub));
}

namespace {

struct SysCommand {
    const char* name;
    WPARAM id;              // as WM_SYSCOMMAND brings it, low bits and all
    const char* edit;       // the library edit it makes, or null
    bool activeAfter;
    bool closes;
};

class SysCommandTest : public SystemMenuTest, public ::testing::WithParamInterface<SysCommand> {};

} // namespace

// The agent's commands and product items are carried out, then handed on to
// default processing like any other system command, as a menu command would be
// sent: with no control handle.
TEST_P(SysCommandTest, IsCarriedOutThenHandedOn)
{
    const SysCommand& command = GetParam();
    RegisterProducts({"Alpha", "Beta", "Gamma"});
    ASSERT_TRUE(StartInSystemMenuMode());
    ForgetCalls();
    SysCommandWatch watch(agent.m_hWnd);

    agent.SendMessage(WM_SYSCOMMAND, command.id, MAKELPARAM(10, 20));

    EXPECT_EQ(command.edit ? std::vector<std::string>{command.edit} : std::vector<std::string>{}, Edits());
    EXPECT_EQ(std::vector<WPARAM>{command.id}, watch.defaultProcessed);
    for (LPARAM lParam : watch.commandLParams)
        EXPECT_EQ(0, lParam);
    if (command.closes) {
        EXPECT_TRUE(Closed());
    } else {
        EXPECT_TRUE(CarriesOn(command.activeAfter));
        EXPECT_TRUE(ShownMinimized());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SysCommandTest,
    ::testing::Values(SysCommand{"Default", ID_SCHEDULE_DEFAULT, "EditSchedule ", true, false},
                      SysCommand{"DefaultWithLowBits", ID_SCHEDULE_DEFAULT | 3, "EditSchedule ", true, false},
                      SysCommand{"HeadProduct", 416, "EditSchedule Gamma", true, false},
                      SysCommand{"TopProductWithLowBits", 448 | 7, "EditSchedule Alpha", true, false},
                      SysCommand{"SeventhProduct", 512, nullptr, true, false},
                      SysCommand{"Suspend", ID_SUSPEND_AGENT | 2, nullptr, false, false},
                      SysCommand{"Close", ID_CLOSE_AGENT, nullptr, true, true},
                      SysCommand{"Move", SC_MOVE, nullptr, true, false},
                      SysCommand{"KeyMenu", SC_KEYMENU, nullptr, true, false}),
    [](const ::testing::TestParamInfo<SysCommand>& info) { return std::string(info.param.name); });

// A restore or size request (a double click on the minimized window, say) is
// dropped whole: the window stays minimized and the system never sees it.
TEST_F(SystemMenuTest, RestoreAndSizeRequestsAreDropped)
{
    ASSERT_TRUE(StartInSystemMenuMode());
    ForgetCalls();
    for (WPARAM id : {WPARAM(SC_RESTORE), WPARAM(SC_RESTORE | 2), WPARAM(SC_SIZE), WPARAM(SC_SIZE | WMSZ_BOTTOMRIGHT)}) {
        SCOPED_TRACE("WM_SYSCOMMAND " + std::to_string(id));
        SysCommandWatch watch(agent.m_hWnd);
        agent.SendMessage(WM_SYSCOMMAND, id);
        agent.Pump();
        EXPECT_TRUE(watch.defaultProcessed.empty());
        EXPECT_TRUE(ShownMinimized());
    }
    EXPECT_TRUE(Calls().empty());
}

namespace {

struct SysMenuChoice {
    const char* name;
    std::vector<UINT> keys;
    std::vector<UINT> commands;   // the numbers the menu sent
    const char* edit;
    const char* caption;
    bool closes;
};

class SysMenuChoiceTest : public SystemMenuTest, public ::testing::WithParamInterface<SysMenuChoice> {};

} // namespace

// Alt+Space opens the system menu on its first row, Schedule Update; Right opens
// that on its first product.
TEST_P(SysMenuChoiceTest, ChoosingFromTheOpenSystemMenu)
{
    const SysMenuChoice& choice = GetParam();
    RegisterProducts({"Alpha", "Beta", "Gamma"});
    ASSERT_TRUE(StartInSystemMenuMode());
    ForgetCalls();

    auto user = MenuDriver::Keys(choice.keys);
    agent.SendMessage(WM_SYSCOMMAND, SC_KEYMENU, ' ');
    std::vector<std::string> posted;
    {
        // What the menu sent is carried out with moves and sizes refused: a wrong
        // row must fail the test, not leave it in a move loop.
        SysCommandWatch watch(agent.m_hWnd);
        posted = DispatchPosted(agent.m_hWnd);
    }
    ASSERT_TRUE(user.opened);
    EXPECT_FALSE(user.stuck);
    const std::vector<std::string> shown = Labels(user.items);
    EXPECT_EQ(kAgentRows, std::vector<std::string>(shown.begin(), shown.begin() + std::min(shown.size(), kAgentRows.size())));

    EXPECT_EQ(choice.commands, CommandNumbers(posted));
    EXPECT_EQ(choice.edit ? std::vector<std::string>{choice.edit} : std::vector<std::string>{}, Edits());
    if (choice.closes) {
        EXPECT_TRUE(Closed());
    } else {
        EXPECT_EQ(choice.caption, Caption());
        EXPECT_TRUE(ShownMinimized());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Items, SysMenuChoiceTest,
    ::testing::Values(
        SysMenuChoice{"Suspend", {Down, Enter}, {ID_SUSPEND_AGENT}, nullptr, "Tesvo: Suspended", false},
        SysMenuChoice{"SecondProduct", {Right, Down, Enter}, {432}, "EditSchedule Beta", "No Update.", false},
        SysMenuChoice{"Default", {Right, Down, Down, Down, Enter}, {ID_SCHEDULE_DEFAULT}, "EditSchedule ", "No Update.",
                      false},
        // Activate is grayed while active.
        SysMenuChoice{"GrayedActivate", {Down, Down, Enter, Esc, Esc}, {}, nullptr, "No Update.", false},
        SysMenuChoice{"Close", {Down, Down, Down, Enter}, {ID_CLOSE_AGENT}, nullptr, nullptr, true},
        SysMenuChoice{"Escape", {Esc, Esc}, {}, nullptr, "No Update.", false}),
    [](const ::testing::TestParamInfo<SysMenuChoice>& info) { return std::string(info.param.name); });

// A product list long enough to run past 0xF000 once gave products the numbers
// of Move, Close and the other system commands, so choosing one moved or closed
// the window. Every product now stays below them and away from the agent's own.
TEST_F(SystemMenuTest, ProductsNeverReachTheSystemCommands)
{
    // Product 3816 would have been SC_MOVE, 3821 SC_CLOSE, 3831 SC_KEYMENU.
    constexpr int kProducts = 3840;
    RegisterProducts(NumberedProducts(kProducts));
    ASSERT_TRUE(StartInSystemMenuMode());

    const std::vector<MenuEntry> items = SystemMenu();
    ASSERT_FALSE(items.empty());
    const std::vector<MenuEntry>& schedule = items[0].sub;
    ASSERT_EQ(static_cast<size_t>(kProducts + 1), schedule.size());
    EXPECT_TRUE(ProductCommandsAreClear(schedule));

    for (int product : {75, 175, 275, 3815, 3816, 3821, 3831, kProducts}) {
        const UINT id = schedule[kProducts - product].id;
        SCOPED_TRACE("product " + std::to_string(product) + ", command " + std::to_string(id));
        ForgetCalls();
        SysCommandWatch watch(agent.m_hWnd);
        agent.SendMessage(WM_SYSCOMMAND, id);
        // Wine sends a submenu's choice as WM_COMMAND.
        agent.Command(id);
        agent.Pump();
        EXPECT_TRUE(Edits().empty());
        EXPECT_TRUE(CarriesOn(TRUE));
        EXPECT_TRUE(ShownMinimized());
        for (WPARAM processed : watch.defaultProcessed)
            EXPECT_LT(processed, 0xF000u);
    }
}

// Without the agent menu resource the rebuild has nothing to copy: it stops, the
// window and what it owns stay as they were, and a later rebuild works again.
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
        // It stopped before the icon, which that module has none of either.
        EXPECT_EQ(AgentIcon(IDI_ACTIVE), BigIcon());
        const std::vector<MenuEntry> items = SystemMenu();
        EXPECT_TRUE(FindEntry(items, "Schedule Update").text.empty());
        EXPECT_TRUE(FindEntry(items, "Suspend Agent").text.empty());
        for (const MenuEntry& item : items)
            EXPECT_TRUE(item.sub.empty()) << item.text;
        EXPECT_TRUE(ShownMinimized());
    }
    agent.RebuildSystemMenu();
    const std::vector<MenuEntry> items = SystemMenu();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ("Schedule Update", items[0].text);
    EXPECT_EQ((std::vector<std::string>{"Alpha 416", "&Default 400"}), Labels(items[0].sub));
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
        EXPECT_EQ(standard, Labels(SystemMenu()));
    }
    EXPECT_TRUE(FindEntry(SystemMenu(), "Schedule Update").text.empty());
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
        const POINT across = CenteredIconPosition(row.client, 100, row.icon, 100);
        EXPECT_EQ(row.expected, across.x);
        const POINT down = CenteredIconPosition(100, row.client, 100, row.icon);
        EXPECT_EQ(row.expected, down.y);
    }
}
