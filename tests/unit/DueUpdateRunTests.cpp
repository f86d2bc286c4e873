// The due-update run through the scripted library: which calls, in which order,
// with which buffers, and what the default-entry flag does to the catalog.
#include "support/AgentFixture.h"
#include "app/resource.h"
#include "engine/Korvante.h"

namespace {

const std::vector<std::string> kRunCalls = {"BeginBatch", "EndBatch", "PrepareProduct", "GetDueTime",
                                            "GetSchedule", "NextScheduledTime", "SetNextTime",
                                            "PrepareUpdate", "RunUpdate", "RefreshCatalog"};

} // namespace

TEST_F(AgentTest, StartUpUpdatesPassedProductsInListOrderWithEmptiedBuffers)
{
    // Enumerated Alpha, Beta, Gamma: the list, and so the run, goes Gamma, Beta, Alpha.
    RegisterProducts({"Alpha", "Beta", "Gamma"});
    const double past = SecondsFromNow(-3600);
    for (const char* name : {"Alpha", "Gamma"}) {
        g_fakeEngine.entries[name] = FakeEntry{past, 0, past, 1, 1, 840, 0};
    }
    // Beta: due, but its due-time query answers 0, so its schedule is not advanced.
    g_fakeEngine.entries["Beta"] = FakeEntry{0.0, 0, past, 0, 1, 0, 0};
    g_fakeEngine.nextScheduled = SecondsFromNow(86400);

    ASSERT_TRUE(agent.Start());
    const std::string catalog = "RefreshCatalog 0 " + catalogPath;
    const std::vector<std::string> expected = {
        "BeginBatch",
        "PrepareProduct Gamma", "GetDueTime Gamma", "GetSchedule Gamma", "NextScheduledTime 1 0 840",
        "SetNextTime Gamma", "PrepareUpdate Gamma [] []", "RunUpdate Gamma A:Gamma B:Gamma 0",
        "PrepareProduct Beta", "GetDueTime Beta", "GetSchedule Beta",
        "PrepareUpdate Beta [] []", "RunUpdate Beta A:Beta B:Beta 0",
        "PrepareProduct Alpha", "GetDueTime Alpha", "GetSchedule Alpha", "NextScheduledTime 1 0 840",
        "SetNextTime Alpha", "PrepareUpdate Alpha [] []", "RunUpdate Alpha A:Alpha B:Alpha 0",
        catalog, "EndBatch",
        // The default entry: kind 0 with no time counts as passed, so it moves on.
        "GetSchedule ", "NextScheduledTime 0 0 0", "SetNextTime "};
    EXPECT_EQ(expected, g_fakeEngine.CallsStartingWith(kRunCalls));
}

TEST_F(AgentTest, ProductsNotYetDueAreLeftAlone)
{
    RegisterProducts({"Alpha"});
    g_fakeEngine.entries["Alpha"] = FakeEntry{0.0, 0, SecondsFromNow(3600), 1, 1, 0, 0};
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    ASSERT_TRUE(agent.Start());
    agent.SendMessage(WM_TIMER, 0, 0);
    EXPECT_FALSE(Called("PrepareUpdate Alpha [] []"));
    EXPECT_TRUE(Called("GetDueTime Alpha"));
}

TEST_F(AgentTest, TheDefaultEntryOfTheNotAdvancedKindNeverMoves)
{
    // No time at all: any present time is later, so only the kind holds it back.
    g_fakeEngine.entries[""] = FakeEntry{0.0, 0, 0.0, 0, kKindNotAdvanced, 5, 6};
    ASSERT_TRUE(agent.Start());
    agent.SendMessage(WM_TIMER, 0, 0);
    EXPECT_TRUE(Called("GetSchedule "));
    EXPECT_FALSE(Called("SetNextTime "));

    // Any other kind moves on once its time has passed, with b before a.
    g_fakeEngine.entries[""].kind = 2;
    g_fakeEngine.nextScheduled = SecondsFromNow(86400);
    agent.SendMessage(WM_TIMER, 0, 0);
    EXPECT_TRUE(Called("NextScheduledTime 2 6 5"));
    EXPECT_TRUE(Called("SetNextTime "));
}

TEST_F(AgentTest, TheCatalogWaitsWhileTheDefaultEntryAnswersNonzero)
{
    g_fakeEngine.entries[""] = FakeEntry{SecondsFromNow(3600), 1, 0.0, 0, 1, 0, 0};
    WriteFileText(catalogPath, "Delta\nEcho\n");
    ASSERT_TRUE(agent.Start());
    // Activate imported at once: the bracket closes before the names are registered.
    const std::vector<std::string> activation = {"GetNextTime ", "PrepareDefault ", "BeginBatch",
                                                 "RefreshCatalog 0 " + catalogPath, "EndBatch"};
    EXPECT_EQ(activation, Calls());
    EXPECT_EQ((std::vector<std::string>{"Delta", "Echo"}), RegisteredProducts());

    // The first run follows an activation that cleared the flag: it refreshes.
    // The earliest-time search after it sets the flag again, so the next run skips.
    const std::string refresh = "RefreshCatalog 0 " + catalogPath;
    auto runRefreshes = [&] {
        ForgetCalls();
        agent.SendMessage(WM_TIMER, 0, 0);
        return Called(refresh);
    };
    EXPECT_TRUE(runRefreshes());
    EXPECT_FALSE(runRefreshes());

    // Once the answer is 0, the run after the next search refreshes again.
    g_fakeEngine.entries[""].nextResult = 0;
    EXPECT_FALSE(runRefreshes());
    EXPECT_TRUE(runRefreshes());
}

TEST_F(AgentTest, ARunRegistersTheCatalogAndKeepsProductsItNoLongerLists)
{
    RegisterProducts({"Old"});
    WriteFileText(catalogPath, "Zulu\nYankee\n");
    ASSERT_TRUE(agent.Start());
    agent.SendMessage(WM_TIMER, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"Old", "Yankee", "Zulu"}), RegisteredProducts());
}

TEST_F(AgentTest, ATimerRunInsideALibraryCallFinishesBothRunsCleanly)
{
    RegisterProducts({"Alpha", "Beta"});
    g_fakeEngine.entries["Alpha"] = FakeEntry{0.0, 0, SecondsFromNow(-60), 0, 1, 0, 0};
    g_fakeEngine.entries["Beta"] = FakeEntry{0.0, 0, SecondsFromNow(-60), 0, 1, 0, 0};
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    ASSERT_TRUE(agent.Start());
    ForgetCalls();

    // The library runs a message loop inside its first update, which hands the
    // agent a timer message: a whole run nests inside the outer one.
    bool nested = false;
    g_fakeEngine.onCall = [&](const std::string& call) {
        if (!nested && call.rfind("RunUpdate Beta", 0) == 0) {
            nested = true;
            ::SendMessageA(agent.m_hWnd, WM_TIMER, 0, 0);
        }
    };
    agent.SendMessage(WM_TIMER, 0, 0);

    const std::vector<std::string> expected = {
        "BeginBatch", "PrepareUpdate Beta [] []", "RunUpdate Beta A:Beta B:Beta 0",
        "BeginBatch", "PrepareUpdate Beta [] []", "RunUpdate Beta A:Beta B:Beta 0",
        "PrepareUpdate Alpha [] []", "RunUpdate Alpha A:Alpha B:Alpha 0",
        "RefreshCatalog 0 " + catalogPath, "EndBatch",
        "PrepareUpdate Alpha [] []", "RunUpdate Alpha A:Alpha B:Alpha 0",
        "RefreshCatalog 0 " + catalogPath, "EndBatch"};
    EXPECT_EQ(expected, g_fakeEngine.CallsStartingWith({"BeginBatch", "EndBatch", "PrepareUpdate",
                                                        "RunUpdate", "RefreshCatalog"}));
    EXPECT_EQ(1u, agent.shownIcons.size());
    EXPECT_TRUE(::IsWindow(agent.m_hWnd));
}

TEST_F(AgentTest, TheTimerFiresForATimeAFewSecondsAhead)
{
    RegisterProducts({"Alpha"});
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    ASSERT_TRUE(agent.Start());
    g_fakeEngine.entries["Alpha"] = FakeEntry{SecondsFromNow(2), 0, SecondsFromNow(2), 0, 1, 0, 0};
    agent.SendMessage(WM_TIMECHANGE);
    EXPECT_FALSE(Called("BeginBatch"));
    // Once run, the product reports no time, so nothing is armed again.
    g_fakeEngine.onCall = [&](const std::string& call) {
        if (call.rfind("RunUpdate Alpha", 0) == 0)
            g_fakeEngine.entries["Alpha"] = FakeEntry{0.0, 0, SecondsFromNow(86400), 0, 0, 0, 0};
    };
    EXPECT_TRUE(WaitUntil([&] { return Called("RunUpdate Alpha A:Alpha B:Alpha 0"); }, 6000));
}

TEST_F(AgentTest, SuspendStopsTheTimerButATimeChangeArmsItAgain)
{
    RegisterProducts({"Alpha"});
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    ASSERT_TRUE(agent.Start());
    g_fakeEngine.entries["Alpha"] = FakeEntry{SecondsFromNow(2), 0, SecondsFromNow(2), 0, 1, 0, 0};
    agent.SendMessage(WM_TIMECHANGE);
    agent.Command(ID_SUSPEND_AGENT);
    agent.Pump(3500);
    EXPECT_FALSE(Called("BeginBatch"));

    // Still suspended, but the time is recomputed, has passed, and runs at once.
    agent.SendMessage(WM_TIMECHANGE);
    g_fakeEngine.entries["Alpha"].nextTime = 0.0;
    EXPECT_TRUE(WaitUntil([&] { return Called("RunUpdate Alpha A:Alpha B:Alpha 0"); }, 2000));
    EXPECT_FALSE(agent.m_bActive);
}

TEST_F(AgentTest, ATimeChangeRecomputesWithoutRunningAnything)
{
    RegisterProducts({"Alpha"});
    g_fakeEngine.entries["Alpha"].nextTime = SecondsFromNow(3600);
    ASSERT_TRUE(agent.Start());
    ForgetCalls();
    agent.SendMessage(WM_TIMECHANGE);
    agent.Pump();
    EXPECT_EQ((std::vector<std::string>{"GetNextTime ", "GetNextTime Alpha"}), Calls());
}
