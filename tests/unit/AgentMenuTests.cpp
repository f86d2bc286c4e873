// The agent menu at the notification icon, played by a user: what the popup
// shows in each state, and what each choice does to the agent.
#include "support/MenuFixture.h"
#include "ui/AgentMenu.h"
#include <functional>

namespace {

// What a popup closed without a choice leaves for the agent window.
const std::vector<std::string> kNoChoice = {"WM_USER 0"};
const std::vector<std::string> kEightProducts = {"A 528", "B 512", "C 496", "D 480", "E 464",
                                                 "F 448", "G 432", "H 416", "&Default 400"};

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

TEST_F(TrayMenuTest, OnlyARightButtonPressOpensTheMenu)
{
    ASSERT_TRUE(agent.Start());
    ForgetCalls();
    for (LPARAM mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MOUSEMOVE}) {
        MenuDriver user;
        EXPECT_TRUE(IconEvent(mouse).empty()) << "mouse message " << mouse;
        EXPECT_FALSE(user.opened) << "mouse message " << mouse;
    }
    EXPECT_TRUE(Calls().empty());
    MenuDriver user;
    IconEvent(WM_RBUTTONDOWN);
    EXPECT_TRUE(user.opened);
}

// Every press builds the menu afresh from the registry and the agent's state
// of that moment, right-aligned at the cursor with the agent in front.
TEST_F(TrayMenuTest, EachPressShowsTheProductsAndStateOfThatMoment)
{
    ASSERT_TRUE(agent.Start());
    const POINT at{::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 4};
    struct Row {
        const char* step;
        std::function<void()> act;
        std::vector<std::string> schedule;
        std::string grayed;
    };
    const Row rows[] = {
        {"no products", [] {}, {"&Default 400"}, "Activate Agent 4800"},
        {"three, the last enumerated nearest Default", [] { RegisterProducts({"Gamma", "Alpha", "Beta"}); },
         {"Alpha 448", "Beta 432", "Gamma 416", "&Default 400"}, "Activate Agent 4800"},
        {"suspended", [&] { agent.Command(ID_SUSPEND_AGENT); }, {"Alpha 448", "Beta 432", "Gamma 416", "&Default 400"},
         "Suspend Agent 3200"},
        {"eight, active again", [&] {
             agent.Command(ID_ACTIVATE_AGENT);
             DeleteProductKey();
             RegisterProducts({"A", "B", "C", "D", "E", "F", "G", "H"});
         }, kEightProducts, "Activate Agent 4800"},
        {"the product key gone", [] { DeleteProductKey(); }, {"&Default 400"}, "Activate Agent 4800"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step);
        row.act();
        ::SetCursorPos(at.x, at.y);
        MenuDriver user;
        EXPECT_TRUE(SameSequence(kNoChoice, IconEvent()));
        ASSERT_TRUE(user.opened);
        EXPECT_TRUE(SameSequence(kAgentRows, Labels(user.items)));
        ASSERT_FALSE(user.items.empty());
        EXPECT_TRUE(SameSequence(row.schedule, Labels(user.items[0].sub)));
        EXPECT_EQ(std::vector<std::string>{row.grayed}, Grayed(user.items));
        EXPECT_TRUE(Grayed(user.items[0].sub).empty());
        EXPECT_EQ(at.x, user.rect.right);
        EXPECT_EQ(at.y, user.rect.top);
        EXPECT_EQ(agent.m_hWnd, user.foreground);
        EXPECT_FALSE(::IsMenu(user.menu)) << "the popup's menu outlived it";
    }
}

namespace {

struct Choice {
    const char* name;
    std::vector<UINT> keys;
    int click;                         // position of a right-button release, or -1
    std::vector<std::string> posted;   // what the popup left for the agent window
    const char* edit;                  // the library edit it made, or null
    bool activeAfter;
    bool closes;
};

class TrayChoiceTest : public TrayMenuTest, public ::testing::WithParamInterface<Choice> {};

} // namespace

// The popup opens with nothing selected; Down selects its first row and Right
// opens Schedule Update on its top product. A command reaches the agent once,
// before the WM_USER that follows every popup. Of eight products the top two
// (528 and 512) do nothing.
TEST_P(TrayChoiceTest, SendsTheChosenCommandOnce)
{
    const Choice& choice = GetParam();
    RegisterProducts({"A", "B", "C", "D", "E", "F", "G", "H"});
    ASSERT_TRUE(agent.Start());
    ForgetCalls();

    MenuDriver user(choice.keys, choice.click);
    EXPECT_TRUE(SameSequence(choice.posted, IconEvent()));
    ASSERT_TRUE(user.opened);
    EXPECT_FALSE(user.stuck);
    EXPECT_EQ(choice.edit ? std::vector<std::string>{choice.edit} : std::vector<std::string>{}, Edits());
    EXPECT_TRUE(Outcome(choice.activeAfter, choice.closes));
}

INSTANTIATE_TEST_SUITE_P(
    Items, TrayChoiceTest,
    ::testing::Values(
        Choice{"TopProduct", {Down, Right, Enter}, -1, {"WM_COMMAND 528", "WM_USER 0"}, nullptr, true, false},
        Choice{"ThirdProduct", {Down, Right, Down, Down, Enter}, -1, {"WM_COMMAND 496", "WM_USER 0"}, "EditSchedule C",
               true, false},
        Choice{"HeadProduct", {Down, Right, Down, Down, Down, Down, Down, Down, Down, Enter}, -1,
               {"WM_COMMAND 416", "WM_USER 0"}, "EditSchedule H", true, false},
        Choice{"Default", {Down, Right, Up, Enter}, -1, {"WM_COMMAND 400", "WM_USER 0"}, "EditSchedule ", true, false},
        Choice{"Suspend", {Down, Down, Enter}, -1, {"WM_COMMAND 3200", "WM_USER 0"}, nullptr, false, false},
        Choice{"SuspendByRightButton", {}, 1, {"WM_COMMAND 3200", "WM_USER 0"}, nullptr, false, false},
        Choice{"Close", {Down, Down, Down, Down, Enter}, -1, {"WM_COMMAND 1600", "WM_USER 0"}, nullptr, true, true},
        // Activate is grayed while active: Enter on it sends nothing.
        Choice{"GrayedActivate", {Down, Down, Down, Enter, Esc, Esc}, -1, kNoChoice, nullptr, true, false},
        Choice{"EscapeOutOfTheSubmenu", {Down, Right, Esc, Esc}, -1, kNoChoice, nullptr, true, false},
        Choice{"ClosedWithoutAChoice", {}, -1, kNoChoice, nullptr, true, false}),
    [](const ::testing::TestParamInfo<Choice>& info) { return std::string(info.param.name); });

// The numbering over more products than any menu shows: the first six count up
// from 416 by 16, and none reaches an agent or system command.
TEST(ProductCommands, StayClearOfAgentAndSystemCommandsHoweverLongTheList)
{
    std::vector<MenuEntry> items;
    UINT id = ID_SCHEDULE_DEFAULT;
    for (int k = 1; k <= 5000; ++k) {
        const UINT next = NextProductCommand(id);
        // Rising until the last usable number, then staying there.
        ASSERT_TRUE(next > id || next == 0xEFF0) << "product " << k << " gets " << next << " after " << id;
        items.push_back(MenuEntry{id = next, "product " + std::to_string(k)});
    }
    EXPECT_EQ((std::vector<std::string>{"product 1 416", "product 2 432", "product 3 448", "product 4 464",
                                        "product 5 480", "product 6 496"}),
              Labels(std::vector<MenuEntry>(items.begin(), items.begin() + 6)));
    EXPECT_TRUE(ProductCommandsAreClear(items));
}

// A long list once handed its 75th, 175th and 275th products the numbers of
// Close, Suspend and Activate. The popup's items now stay clear of them, and
// choosing those products leaves the agent as it was.
TEST_F(TrayMenuTest, ALongProductListNeverClosesSuspendsOrActivates)
{
    constexpr int kProducts = 300;
    std::vector<std::string> names;   // the registry enumerates them in this order
    for (int i = 1; i <= kProducts; ++i)
        names.push_back("P" + std::to_string(1000 + i));
    RegisterProducts(names);
    ASSERT_TRUE(agent.Start());
    MenuDriver user;
    IconEvent();
    ASSERT_TRUE(user.opened);
    ASSERT_FALSE(user.items.empty());
    const std::vector<MenuEntry>& schedule = user.items[0].sub;
    ASSERT_EQ(static_cast<size_t>(kProducts + 1), schedule.size());
    EXPECT_TRUE(ProductCommandsAreClear(schedule));
    ForgetCalls();
    for (int product : {75, 175, 275}) {
        // The head sits right above Default, so product k is n - k rows from the top.
        agent.Command(schedule[kProducts - product].id);
        EXPECT_TRUE(Outcome(TRUE)) << "product " << product;
    }
    EXPECT_TRUE(Edits().empty());
}
