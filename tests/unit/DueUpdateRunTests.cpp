// The due-update run through the scripted library: which calls, in which order,
// with which buffers, and what the default-entry flag does to the catalog.
#include "support/AgentFixture.h"
#include "app/resource.h"
#include "engine/Korvante.h"
#include <functional>

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

namespace {

// Something that reaches the agent from a message loop inside a library call,
// in the middle of a run, and what the agent has done once things settle.
struct NestedEvent {
    const char* name;
    std::function<void(TestAgent&)> send;
    std::vector<std::string> calls;   // brackets, updates, catalog refreshes and edits
    const char* tip;                  // the icon's tip at the end; null: no icon
    bool quits;                       // the agent asked every message loop to end
};

class NestedEventTest : public AgentTest, public ::testing::WithParamInterface<NestedEvent> {};

const std::vector<std::string> kOneRun = {"BeginBatch", "RunUpdate Beta", "RunUpdate Alpha", "RefreshCatalog",
                                          "EndBatch"};
const std::vector<std::string> kCutShort = {"BeginBatch", "RunUpdate Beta", "EndBatch"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// "RunUpdate Beta ..." as "RunUpdate Beta"; any other call by its name alone.
std::string Named(const std::string& call)
{
    const size_t space = call.find(' ');
    return call.substr(0, call.rfind("RunUpdate", 0) == 0 ? call.find(' ', space + 1) : space);
}

} // namespace

TEST_P(NestedEventTest, NeverStartsARunInsideARunAndHandlesWhatCameOnceAfterIt)
{
    RegisterProducts({"Alpha", "Beta"});
    g_fakeEngine.entries["Alpha"] = FakeEntry{0.0, 0, SecondsFromNow(-60), 0, 1, 0, 0};
    g_fakeEngine.entries["Beta"] = FakeEntry{0.0, 0, SecondsFromNow(-60), 0, 1, 0, 0};
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    ASSERT_TRUE(agent.Start());
    ForgetCalls();
    const HWND marker = agent.m_hMarkerWnd;

    bool sent = false;
    g_fakeEngine.onCall = [&](const std::string& call) {
        if (!sent && call.rfind("RunUpdate Beta", 0) == 0) {
            sent = true;
            GetParam().send(agent);
        }
    };
    agent.SendMessage(WM_TIMER, 0, 0);
    MSG msg;
    EXPECT_EQ(GetParam().quits, ::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE);
    agent.Pump(300);

    std::vector<std::string> calls;
    for (const std::string& call :
         g_fakeEngine.CallsStartingWith({"BeginBatch", "EndBatch", "RunUpdate", "RefreshCatalog", "EditSchedule"}))
        calls.push_back(Named(call));
    EXPECT_EQ(GetParam().calls, calls);
    if (GetParam().tip)
        EXPECT_EQ(GetParam().tip, agent.shownIcons[kTrayIconId].tip);
    else
        EXPECT_TRUE(agent.shownIcons.empty());
    EXPECT_FALSE(::KillTimer(agent.m_hWnd, kScheduleTimerId));
    // The marker goes with the agent window, so it can never reach a dead agent.
    agent.Destroy();
    EXPECT_FALSE(::IsWindow(marker));
}

INSTANTIATE_TEST_SUITE_P(
    DuringAnUpdate, NestedEventTest,
    ::testing::Values(
        NestedEvent{"Timer", [](TestAgent& a) { a.SendMessage(WM_TIMER, 0, 0); }, kOneRun + kOneRun, "No Update.",
                    false},
        NestedEvent{"TimeChange", [](TestAgent& a) { a.SendMessage(WM_TIMECHANGE); }, kOneRun, "No Update.", false},
        NestedEvent{"Suspend", [](TestAgent& a) { a.Command(ID_SUSPEND_AGENT); }, kOneRun, "Tesvo: Suspended", false},
        NestedEvent{"Schedule", [](TestAgent& a) { a.Command(ID_SCHEDULE_DEFAULT); },
                    kOneRun + std::vector<std::string>{"EditSchedule"}, "No Update.", false},
        NestedEvent{"Close", [](TestAgent& a) { a.Command(ID_CLOSE_AGENT); }, kCutShort, nullptr, true},
        NestedEvent{"MarkerClosed", [](TestAgent& a) { ::SendMessageA(a.m_hMarkerWnd, WM_CLOSE, 0, 0); }, kCutShort,
                    "No Update.", true}),
    [](const ::testing::TestParamInfo<NestedEvent>& info) { return std::string(info.param.name); });

TEST_F(AgentTest, ATimeAFewSecondsAheadGivesExactlyOneRun)
{
    RegisterProducts({"Alpha"});
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    ASSERT_TRUE(agent.Start());
    // A strict library: it answers the stored whole second exactly, and the time
    // moves on only when the agent sets it.
    const double due = SecondsFromNow(3);
    g_fakeEngine.entries["Alpha"] = FakeEntry{due, 0, due, 1, 1, 0, 0};
    g_fakeEngine.nextScheduled = SecondsFromNow(86400);
    agent.SendMessage(WM_TIMECHANGE);
    EXPECT_FALSE(Called("BeginBatch"));
    EXPECT_TRUE(WaitUntil([&] { return Called("RunUpdate Alpha A:Alpha B:Alpha 0"); }, 6000));
    EXPECT_GT(Now(), due);
    agent.Pump(1500);
    EXPECT_EQ(1u, g_fakeEngine.CallsStartingWith({"BeginBatch"}).size());
}

TEST_F(AgentTest, ATimeThatStaysPastIsRunAgainAfterASecondNotAtOnce)
{
    RegisterProducts({"Alpha"});
    // The library does not move it: the due-time query says "do not advance".
    const double past = SecondsFromNow(-60);
    g_fakeEngine.entries["Alpha"] = FakeEntry{past, 0, past, 0, 1, 0, 0};
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    auto runs = [] { return g_fakeEngine.CallsStartingWith({"BeginBatch"}).size(); };
    ASSERT_TRUE(agent.Start());
    ASSERT_TRUE(WaitUntil([&] { return runs() == 1; }, 2000));
    agent.Pump(600);
    EXPECT_EQ(1u, runs());
    EXPECT_TRUE(WaitUntil([&] { return runs() == 2; }, 2000));
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

TEST_F(AgentTest, ATimeChangeOrAResumeRecomputesWithoutRunningAnything)
{
    RegisterProducts({"Alpha"});
    g_fakeEngine.entries["Alpha"].nextTime = SecondsFromNow(3600);
    ASSERT_TRUE(agent.Start());
    const std::vector<std::string> recomputed = {"GetNextTime ", "GetNextTime Alpha"};
    const struct {
        UINT message;
        WPARAM event;
        bool recomputes;
    } cases[] = {{WM_TIMECHANGE, 0, true},
                 {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, true},
                 {WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, true},
                 {WM_POWERBROADCAST, PBT_APMSUSPEND, false}};
    for (const auto& c : cases) {
        ForgetCalls();
        agent.SendMessage(c.message, c.event);
        agent.Pump();
        EXPECT_EQ(c.recomputes ? recomputed : std::vector<std::string>{}, Calls()) << c.message << " " << c.event;
    }
}
