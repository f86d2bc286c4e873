// The agent menu at the notification icon, played by a user: what the popup
// shows in each state, and what each choice sends to the agent.
#include "tests/support/MenuFixture.h"
#include "ui/AgentMenu.h"
#include <functional>

namespace {

// What a popup closed without a choice leaves for the agent window.
const std::vector<std::string> kNoChoice = {"WM_USER 0"};

class TrayMenuTest : public MenuTest {
protected:
    // The shell's report of a mouse event on the icon; returns what reached the agent window.
    std::vector<std::string> IconEvent(LPARAM mouse = WM_RBUTTONDOWN)
    {
        agent.SendMessage(kTrayCallbackMessage, kTrayIconId, mouse);
        return DispatchPosted(agent.m_hWnd);
    }
};

} // namespace

// Every press builds the menu afresh from the registry and the agent's state
// of that moment, right-aligned at the cursor with the agent in front. The
// agent window itself stays hidden, whatever the state.
TEST_F(TrayMenuTest, EachPressShowsTheProductsAndStateOfThatMoment)
{
    ASSERT_TRUE(agent.Start());
    const POINT at{::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 4};
    const std::vector<std::string> three = {"Alpha 448", "Beta 432", "Gamma 416", "&Default 400"};
    struct Row {
        const char* step;
        std::function<void()> act;
        std::vector<std::string> products;
        bool active;
    };
    const Row rows[] = {
        {"no products", [] {}, {"&Default 400"}, true},
        // The last enumerated sits nearest Default.
        {"three", [] { RegisterProducts({"Gamma", "Alpha", "Beta"}); }, three, true},
        {"suspended", [&] { agent.Command(ID_SUSPEND_AGENT); }, three, false},
        {"eight, active again", [&] {
             agent.Command(ID_ACTIVATE_AGENT);
             DeleteProductKey();
             RegisterProducts({"A", "B", "C", "D", "E", "F", "G", "H"});
         }, {"A 528", "B 512", "C 496", "D 480", "E 464", "F 448", "G 432", "H 416", "&Default 400"}, true},
        {"the product key gone", [] { DeleteProductKey(); }, {"&Default 400"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step);
        row.act();
        ::SetCursorPos(at.x, at.y);
        MenuDriver user;
        EXPECT_TRUE(SameSequence(kNoChoice, IconEvent()));
        ASSERT_TRUE(user.opened);
        EXPECT_TRUE(ShowsAgentMenu(user.items, row.products, row.active));
        EXPECT_EQ(at.x, user.rect.right);
        EXPECT_EQ(at.y, user.rect.top);
        EXPECT_EQ(agent.m_hWnd, user.foreground);
        EXPECT_FALSE(::IsWindowVisible(agent.m_hWnd));
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
    LPARAM mouse = WM_RBUTTONDOWN;     // what the shell reports; only a right-button press opens the menu
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
    EXPECT_TRUE(SameSequence(choice.posted, IconEvent(choice.mouse)));
    EXPECT_EQ(!choice.posted.empty(), user.opened);
    EXPECT_FALSE(user.stuck);
    EXPECT_TRUE(Edited(choice.edit));
    EXPECT_TRUE(Outcome(choice.activeAfter, choice.closes));
}

INSTANTIATE_TEST_SUITE_P(
    Items, TrayChoiceTest,
    ::testing::Values(
        Choice{"TopProduct", {Down, Right, Enter}, -1, {"WM_COMMAND 528", "WM_USER 0"}, nullptr, true, false},
        Choice{"HeadProduct", {Down, Right, Down, Down, Down, Down, Down, Down, Down, Enter}, -1,
               {"WM_COMMAND 416", "WM_USER 0"}, "EditSchedule H", true, false},
        Choice{"Default", {Down, Right, Up, Enter}, -1, {"WM_COMMAND 400", "WM_USER 0"}, "EditSchedule ", true, false},
        Choice{"Suspend", {Down, Down, Enter}, -1, {"WM_COMMAND 3200", "WM_USER 0"}, nullptr, false, false},
        Choice{"SuspendByRightButton", {}, 1, {"WM_COMMAND 3200", "WM_USER 0"}, nullptr, false, false},
        Choice{"Close", {Down, Down, Down, Down, Enter}, -1, {"WM_COMMAND 1600", "WM_USER 0"}, nullptr, true, true},
        // Activate is grayed while active: Enter on it sends nothing.
        Choice{"GrayedActivate", {Down, Down, Down, Enter, Esc, Esc}, -1, kNoChoice, nullptr, true, false},
        Choice{"RightButtonRelease", {}, -1, {}, nullptr, true, false, WM_RBUTTONUP},
        Choice{"LeftButtonPress", {}, -1, {}, nullptr, true, false, WM_LBUTTONDOWN},
        Choice{"LeftDoubleClick", {}, -1, {}, nullptr, true, false, WM_LBUTTONDBLCLK}),
    [](const ::testing::TestParamInfo<Choice>& info) { return std::string(info.param.name); });

// The numbering over more products than any menu shows: the first six count up
// from 416 by 16, and none reaches an agent command or a system command, nor a
// number the system menu would cut to another.
TEST(ProductCommands, StayClearOfAgentAndSystemCommandsHoweverLongTheList)
{
    std::vector<UINT> ids;
    for (UINT id = ID_SCHEDULE_DEFAULT, k = 1; k <= 5000; ++k) {
        const UINT next = NextProductCommand(id);
        // Rising until the last usable number, then staying there.
        ASSERT_TRUE(next > id || next == 0xEFF0) << "product " << k << " gets " << next << " after " << id;
        ASSERT_TRUE(next != ID_CLOSE_AGENT && next != ID_SUSPEND_AGENT && next != ID_ACTIVATE_AGENT && next < 0xF000 &&
                    next % 16 == 0) << "product " << k << " gets " << next;
        ids.push_back(id = next);
    }
    EXPECT_EQ((std::vector<UINT>{416, 432, 448, 464, 480, 496}), std::vector<UINT>(ids.begin(), ids.begin() + 6));
}
