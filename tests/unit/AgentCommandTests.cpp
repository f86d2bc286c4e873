// Commands from the menus: which product a schedule command edits, what
// Activate imports, and the keys and identifiers that must do nothing.
#include "support/AgentFixture.h"
#include "app/resource.h"

namespace {

class ScheduleCommandTest : public AgentTest {
protected:
    void SetUp() override
    {
        AgentTest::SetUp();
        // Enumerated A to H, so the list runs H, G, F, ... A.
        RegisterProducts({"A", "B", "C", "D", "E", "F", "G", "H"});
        ASSERT_TRUE(agent.Start());
        ForgetCalls();
    }

    // What one command edits: the EditSchedule line, or "" when nothing was edited.
    std::string Edited(UINT id)
    {
        ForgetCalls();
        agent.Command(id);
        for (const std::string& call : Calls())
            if (call.rfind("EditSchedule", 0) == 0)
                return call;
        return "";
    }
};

} // namespace

TEST_F(ScheduleCommandTest, ProductCommandsCountFromTheHeadOfAFreshList)
{
    EXPECT_EQ("EditSchedule H", Edited(416));
    EXPECT_EQ("EditSchedule G", Edited(432));
    EXPECT_EQ("EditSchedule C", Edited(496));
    EXPECT_EQ("EditSchedule H", Edited(401));
    EXPECT_EQ("EditSchedule ", Edited(ID_SCHEDULE_DEFAULT));
    // Only six products are reachable: items further up do nothing.
    EXPECT_EQ("", Edited(512));
    EXPECT_EQ("", Edited(528));
    EXPECT_EQ("", Edited(500));
}

TEST_F(ScheduleCommandTest, AnEditIsFollowedByAFreshTimeSearch)
{
    agent.Command(448);
    const std::vector<std::string> expected = {"EditSchedule F", "GetNextTime ", "GetNextTime H", "GetNextTime G",
                                               "GetNextTime F", "GetNextTime E", "GetNextTime D", "GetNextTime C",
                                               "GetNextTime B", "GetNextTime A"};
    EXPECT_EQ(expected, Calls());
}

TEST_F(AgentTest, ACommandPastTheEndOfTheListCallsNothing)
{
    RegisterProducts({"A", "B", "C"});
    ASSERT_TRUE(agent.Start());
    ForgetCalls();
    EXPECT_FALSE(agent.ScheduleProduct(464));
    EXPECT_FALSE(agent.ScheduleProduct(480));
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(agent.ScheduleProduct(448));
    EXPECT_TRUE(Called("EditSchedule A"));

    DeleteProductKey();
    ForgetCalls();
    EXPECT_FALSE(agent.ScheduleProduct(416));
    EXPECT_TRUE(Calls().empty());
}

TEST_F(AgentTest, OkCancelAndUnknownCommandsDoNothing)
{
    ASSERT_TRUE(agent.Start());
    ForgetCalls();
    for (UINT id : {UINT(IDOK), UINT(IDCANCEL), 0u, 399u, 5000u})
        agent.Command(id);
    agent.Pump();
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(::IsWindow(agent.m_hWnd));
    EXPECT_TRUE(agent.m_bActive);
}

TEST_F(AgentTest, ActivateImportsOnlyWhenTheDefaultEntryAnswered)
{
    WriteFileText(catalogPath, "Delta\n");
    ASSERT_TRUE(agent.Start());
    EXPECT_FALSE(Called("PrepareDefault "));
    EXPECT_TRUE(RegisteredProducts().empty());

    // The flag may come from an earlier search, here a time change.
    g_fakeEngine.entries[""].nextResult = 1;
    agent.SendMessage(WM_TIMECHANGE);
    g_fakeEngine.entries[""].nextResult = 0;
    ForgetCalls();
    agent.Command(ID_ACTIVATE_AGENT);
    EXPECT_TRUE(Called("PrepareDefault "));
    EXPECT_EQ((std::vector<std::string>{"Delta"}), RegisteredProducts());

    // Activate cleared it: the next activation imports nothing.
    ForgetCalls();
    agent.Command(ID_ACTIVATE_AGENT);
    EXPECT_FALSE(Called("PrepareDefault "));
}

TEST_F(AgentTest, CloseRemovesTheIconAndEndsTheLoop)
{
    ASSERT_TRUE(agent.Start());
    agent.Command(ID_CLOSE_AGENT);
    EXPECT_TRUE(agent.shownIcons.empty());
    MSG msg;
    EXPECT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}
