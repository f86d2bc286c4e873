// The agent menu at the notification icon, played by a user: what the popup
// shows, where, and what each choice does to the agent.
#include "support/MenuFixture.h"
#include "ui/AgentMenu.h"

namespace {

const std::vector<std::string> kAgentRows = {"Schedule Update >", "Suspend Agent 3200", "Activate Agent 4800", "---",
                                             "Close 1600"};

class TrayMenuTest : public MenuTest {
protected:
    // The shell's report of a mouse event on the icon; returns what reached the
    // agent window once the handler was done.
    std::vector<std::string> IconEvent(LPARAM mouse = WM_RBUTTONDOWN)
    {
        agent.SendMessage(kTrayCallbackMessage, kTrayIconId, mouse);
        return DispatchPosted(agent.m_hWnd);
    }
};

} // namespace

TEST(AgentMenuResource, HoldsTheUpdatePopupAllEnabledNoneChecked)
{
    HMENU menu = ::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_AGENT_MENU));
    ASSERT_NE(nullptr, menu);
    const std::vector<MenuEntry> bar = ReadMenu(menu);
    ::DestroyMenu(menu);

    ASSERT_EQ(std::vector<std::string>{"Update >"}, Labels(bar));
    const std::vector<MenuEntry>& update = bar[0].sub;
    EXPECT_EQ(kAgentRows, Labels(update));
    ASSERT_FALSE(update.empty());
    EXPECT_EQ(std::vector<std::string>{"&Default 400"}, Labels(update[0].sub));
    for (const std::vector<MenuEntry>* level : {&bar, &update, &update[0].sub}) {
        EXPECT_TRUE(Grayed(*level).empty());
        EXPECT_TRUE(Checked(*level).empty());
    }
}

TEST_F(TrayMenuTest, OnlyARightButtonPressOpensTheMenu)
{
    ASSERT_TRUE(agent.Start());
    ForgetCalls();
    for (LPARAM mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MOUSEMOVE,
                         WM_MBUTTONDOWN}) {
        SCOPED_TRACE("mouse message " + std::to_string(mouse));
        auto user = MenuDriver::Cancel();
        EXPECT_TRUE(IconEvent(mouse).empty());
        EXPECT_FALSE(user.opened);
    }
    EXPECT_TRUE(Calls().empty());

    auto user = MenuDriver::Cancel();
    IconEvent(WM_RBUTTONDOWN);
    EXPECT_TRUE(user.opened);
}

TEST_F(TrayMenuTest, ListsTheProductsLastEnumeratedNearestDefault)
{
    RegisterProducts({"Gamma", "Alpha", "Beta"});
    ASSERT_EQ((std::vector<std::string>{"Alpha", "Beta", "Gamma"}), RegisteredProducts());
    ASSERT_TRUE(agent.Start());

    auto user = MenuDriver::Cancel();
    IconEvent();
    ASSERT_TRUE(user.opened);
    EXPECT_EQ(kAgentRows, Labels(user.items));
    ASSERT_FALSE(user.items.empty());
    EXPECT_EQ((std::vector<std::string>{"Alpha 448", "Beta 432", "Gamma 416", "&Default 400"}),
              Labels(user.items[0].sub));
    EXPECT_EQ(std::vector<std::string>{"Activate Agent 4800"}, Grayed(user.items));
    EXPECT_TRUE(Grayed(user.items[0].sub).empty());
    EXPECT_TRUE(Checked(user.items).empty());
    EXPECT_TRUE(Checked(user.items[0].sub).empty());
}

TEST_F(TrayMenuTest, PopsUpRightAlignedAtTheCursorWithTheAgentInFront)
{
    ASSERT_TRUE(agent.Start());
    const POINT at{::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 4};
    ::SetCursorPos(at.x, at.y);
    auto user = MenuDriver::Cancel();
    IconEvent();
    ASSERT_TRUE(user.opened);
    EXPECT_EQ(at.x, user.rect.right);
    EXPECT_EQ(at.y, user.rect.top);
    EXPECT_EQ(agent.m_hWnd, user.foreground);
}

namespace {

struct Choice {
    const char* name;
    std::vector<UINT> keys;
    std::vector<std::string> posted;   // what the popup left for the agent window
    const char* edit;                  // the library edit it made, or null
    bool activeAfter;
    bool closes;
};

class TrayChoiceTest : public TrayMenuTest, public ::testing::WithParamInterface<Choice> {};

} // namespace

// The popup opens with nothing selected; Down selects its first row and Right
// opens Schedule Update on its first product. A command reaches the agent once,
// before the WM_USER that follows every popup.
TEST_P(TrayChoiceTest, SendsTheChosenCommandOnce)
{
    const Choice& choice = GetParam();
    RegisterProducts({"Alpha", "Beta", "Gamma"});
    ASSERT_TRUE(agent.Start());
    ForgetCalls();

    auto user = MenuDriver::Keys(choice.keys);
    EXPECT_EQ(choice.posted, IconEvent());
    ASSERT_TRUE(user.opened);
    EXPECT_FALSE(user.stuck);
    EXPECT_EQ(choice.edit ? std::vector<std::string>{choice.edit} : std::vector<std::string>{}, Edits());
    if (choice.closes)
        EXPECT_TRUE(Closed());
    else
        EXPECT_TRUE(CarriesOn(choice.activeAfter));
}

INSTANTIATE_TEST_SUITE_P(
    Items, TrayChoiceTest,
    ::testing::Values(
        Choice{"TopProduct", {Down, Right, Enter}, {"WM_COMMAND 448", "WM_USER 0"}, "EditSchedule Alpha", true, false},
        Choice{"HeadProduct", {Down, Right, Down, Down, Enter}, {"WM_COMMAND 416", "WM_USER 0"}, "EditSchedule Gamma",
               true, false},
        Choice{"Default", {Down, Right, Down, Down, Down, Enter}, {"WM_COMMAND 400", "WM_USER 0"}, "EditSchedule ",
               true, false},
        Choice{"Suspend", {Down, Down, Enter}, {"WM_COMMAND 3200", "WM_USER 0"}, nullptr, false, false},
        Choice{"Close", {Down, Down, Down, Down, Enter}, {"WM_COMMAND 1600", "WM_USER 0"}, nullptr, true, true},
        // Activate is grayed while active: Enter on it sends nothing.
        Choice{"GrayedActivate", {Down, Down, Down, Enter, Esc, Esc}, {"WM_USER 0"}, nullptr, true, false},
        Choice{"EscapeOutOfTheSubmenu", {Down, Right, Esc, Esc}, {"WM_USER 0"}, nullptr, true, false}),
    [](const ::testing::TestParamInfo<Choice>& info) { return std::string(info.param.name); });

TEST_F(TrayMenuTest, ClosingWithoutAChoiceSendsNoCommand)
{
    RegisterProducts({"Alpha"});
    ASSERT_TRUE(agent.Start());
    ForgetCalls();
    auto user = MenuDriver::Cancel();
    EXPECT_EQ(std::vector<std::string>{"WM_USER 0"}, IconEvent());
    EXPECT_TRUE(user.opened);
    EXPECT_TRUE(Edits().empty());
    EXPECT_TRUE(CarriesOn(TRUE));
}

TEST_F(TrayMenuTest, ARightButtonReleaseOverAnItemChoosesIt)
{
    ASSERT_TRUE(agent.Start());
    auto user = MenuDriver::RightClick(1);
    EXPECT_EQ((std::vector<std::string>{"WM_COMMAND 3200", "WM_USER 0"}), IconEvent());
    ASSERT_TRUE(user.opened);
    EXPECT_FALSE(user.stuck);
    EXPECT_TRUE(CarriesOn(FALSE));
}

// Each press builds the menu afresh: from the registry as it is now and the
// agent's state, and the previous menu is gone.
TEST_F(TrayMenuTest, EveryPressShowsTheRegistryAndStateOfThatMoment)
{
    RegisterProducts({"Alpha"});
    ASSERT_TRUE(agent.Start());

    HMENU previous = nullptr;
    auto open = [&] {
        auto user = MenuDriver::Cancel();
        IconEvent();
        EXPECT_TRUE(user.opened);
        EXPECT_FALSE(::IsMenu(user.menu));
        EXPECT_NE(previous, user.menu);
        previous = user.menu;
        return user.items;
    };

    std::vector<MenuEntry> items = open();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ((std::vector<std::string>{"Alpha 416", "&Default 400"}), Labels(items[0].sub));
    EXPECT_EQ(std::vector<std::string>{"Activate Agent 4800"}, Grayed(items));

    agent.Command(ID_SUSPEND_AGENT);
    RegisterProducts({"Beta"});
    items = open();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ((std::vector<std::string>{"Alpha 432", "Beta 416", "&Default 400"}), Labels(items[0].sub));
    EXPECT_EQ(std::vector<std::string>{"Suspend Agent 3200"}, Grayed(items));

    agent.Command(ID_ACTIVATE_AGENT);
    DeleteProductKey();
    items = open();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(std::vector<std::string>{"&Default 400"}, Labels(items[0].sub));
    EXPECT_EQ(std::vector<std::string>{"Activate Agent 4800"}, Grayed(items));
}

// Only the first six products can be scheduled from the menu; the others are
// shown all the same, and choosing one does nothing.
TEST_F(TrayMenuTest, EightProductsAreAllShownAndTheTopTwoDoNothing)
{
    RegisterProducts({"A", "B", "C", "D", "E", "F", "G", "H"});
    ASSERT_TRUE(agent.Start());

    struct Row {
        int position;
        std::string label;
        const char* edit;
    };
    for (const Row& row : {Row{0, "A 528", nullptr}, Row{1, "B 512", nullptr}, Row{2, "C 496", "EditSchedule C"}}) {
        SCOPED_TRACE(row.label);
        ForgetCalls();
        auto user = MenuDriver::Keys(std::vector<UINT>{Down, Right} + Repeat(Down, row.position) + std::vector<UINT>{Enter});
        const std::vector<std::string> posted = IconEvent();
        ASSERT_TRUE(user.opened);
        ASSERT_FALSE(user.items.empty());
        EXPECT_EQ((std::vector<std::string>{"A 528", "B 512", "C 496", "D 480", "E 464", "F 448", "G 432", "H 416",
                                            "&Default 400"}),
                  Labels(user.items[0].sub));
        EXPECT_EQ((std::vector<std::string>{"WM_COMMAND " + row.label.substr(2), "WM_USER 0"}), posted);
        EXPECT_EQ(row.edit ? std::vector<std::string>{row.edit} : std::vector<std::string>{}, Edits());
        EXPECT_TRUE(CarriesOn(TRUE));
    }
}

// A long product list once handed the 75th, 175th and 275th products the
// numbers of Close, Suspend and Activate. No product carries them now, and
// choosing those products leaves the agent as it was.
TEST_F(TrayMenuTest, ProductsPastTheSixthNeverCloseSuspendOrActivate)
{
    constexpr int kProducts = 300;
    RegisterProducts(NumberedProducts(kProducts));
    ASSERT_TRUE(agent.Start());

    struct Row {
        int product;       // k, counted from the head of the list
        BOOL suspended;    // the agent's state when it is chosen
    };
    for (const Row& row : {Row{75, FALSE}, Row{175, FALSE}, Row{275, TRUE}, Row{7, TRUE}}) {
        SCOPED_TRACE("product " + std::to_string(row.product));
        agent.Command(row.suspended ? ID_SUSPEND_AGENT : ID_ACTIVATE_AGENT);
        ForgetCalls();
        // The head sits right above Default, so product k is the (n - k)-th row from the top.
        const int position = kProducts - row.product;
        auto user = MenuDriver::Keys(std::vector<UINT>{Down, Right} + Repeat(Down, position) + std::vector<UINT>{Enter});
        const std::vector<std::string> posted = IconEvent();
        ASSERT_TRUE(user.opened);
        ASSERT_FALSE(user.items.empty());
        const std::vector<MenuEntry>& schedule = user.items[0].sub;
        ASSERT_EQ(static_cast<size_t>(kProducts + 1), schedule.size());
        EXPECT_TRUE(ProductCommandsAreClear(schedule));
        ASSERT_EQ(2u, posted.size());
        EXPECT_EQ("WM_COMMAND " + std::to_string(schedule[position].id), posted[0]);
        EXPECT_TRUE(Edits().empty());
        EXPECT_TRUE(CarriesOn(!row.suspended));
    }
}

// The numbering itself, over more products than any menu shows: the first six
// count up from 416 by 16, and none reaches an agent or system command.
TEST(ProductCommands, StayClearOfAgentAndSystemCommandsHoweverLongTheList)
{
    std::vector<UINT> commands;
    UINT id = ID_SCHEDULE_DEFAULT;
    for (int k = 1; k <= 5000; ++k)
        commands.push_back(id = NextProductCommand(id));

    EXPECT_EQ((std::vector<UINT>{416, 432, 448, 464, 480, 496}), std::vector<UINT>(commands.begin(), commands.begin() + 6));
    for (size_t k = 0; k < commands.size(); ++k) {
        const UINT command = commands[k];
        ASSERT_TRUE(command != ID_CLOSE_AGENT && command != ID_SUSPEND_AGENT && command != ID_ACTIVATE_AGENT)
            << "product " << k + 1 << " gets " << command;
        ASSERT_LT(command, 0xF000u) << "product " << k + 1;
        ASSERT_EQ(0u, command % 16) << "product " << k + 1;
        // Rising until the last usable number, then staying there.
        if (k > 0) {
            ASSERT_TRUE(command > commands[k - 1] || (command == commands[k - 1] && command == commands.back()))
                << "product " << k + 1 << " gets " << command << " after " << commands[k - 1];
        }
    }
}
