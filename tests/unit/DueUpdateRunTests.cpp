// The due-update run through the scripted library: which calls, in which order,
// with which buffers, when it runs, and what the default-entry flag does to the catalog.
#include "tests/support/AgentFixture.h"
#include "tests/support/SameSequence.h"
#include "app/resource.h"
#include "engine/Korvante.h"
#include <functional>

namespace {

using Lines = std::vector<std::string>;

const Lines kRunCalls = {"BeginBatch", "EndBatch", "PrepareProduct", "GetDueTime", "GetSchedule",
                         "NextScheduledTime", "SetNextTime", "PrepareUpdate", "RunUpdate", "RefreshCatalog"};

// Listed Gamma, Delta, Beta, Alpha: Gamma and Alpha passed and advanced, Delta
// due this very second, so not yet passed, Beta passed but its due-time query
// answered "do not advance".
Lines StartUpRun(const std::string& catalog)
{
    return {"BeginBatch",
            "PrepareProduct Gamma", "GetDueTime Gamma", "GetSchedule Gamma", "NextScheduledTime 1 0 840",
            "SetNextTime Gamma", "PrepareUpdate Gamma [] []", "RunUpdate Gamma A:Gamma B:Gamma 0",
            "PrepareProduct Delta", "GetDueTime Delta",
            "PrepareProduct Beta", "GetDueTime Beta", "GetSchedule Beta",
            "PrepareUpdate Beta [] []", "RunUpdate Beta A:Beta B:Beta 0",
            "PrepareProduct Alpha", "GetDueTime Alpha", "GetSchedule Alpha", "NextScheduledTime 1 0 840",
            "SetNextTime Alpha", "PrepareUpdate Alpha [] []", "RunUpdate Alpha A:Alpha B:Alpha 0",
            "RefreshCatalog 0 " + catalog, "EndBatch",
            // The default entry: kind 0 with no time counts as passed, so it moves on.
            "GetSchedule ", "NextScheduledTime 0 0 0", "SetNextTime "};
}

const Lines kDefaultMovedOn = {"NextScheduledTime 2 6 5", "SetNextTime "};

} // namespace

TEST_F(AgentTest, StartUpUpdatesPassedProductsInListOrderWithEmptiedBuffers)
{
    RegisterProducts({"Alpha", "Beta", "Delta", "Gamma"});
    const double past = SecondsFromNow(-3600);
    g_fakeEngine.entries["Alpha"] = g_fakeEngine.entries["Gamma"] = FakeEntry{past, 0, past, 1, 1, 840, 0};
    g_fakeEngine.entries["Beta"] = FakeEntry{0.0, 0, past, 0, 1, 0, 0};
    g_fakeEngine.entries["Delta"] = FakeEntry{0.0, 0, 0.0, 1, 1, 0, 0};
    g_fakeEngine.onCall = [](const std::string& call) {
        if (call == "GetDueTime Delta")
            g_fakeEngine.entries["Delta"].dueTime = Now();
    };
    g_fakeEngine.nextScheduled = SecondsFromNow(86400);
    ASSERT_TRUE(agent.Start());
    EXPECT_TRUE(SameSequence(StartUpRun(catalogPath), g_fakeEngine.CallsStartingWith(kRunCalls)));
}

TEST_F(AgentTest, TheDefaultEntryMovesOnOnceItsTimeHasPassedUnlessItsKindIsNotAdvanced)
{
    ASSERT_TRUE(agent.Start());
    g_fakeEngine.nextScheduled = SecondsFromNow(86400);
    const struct { int kind; double next; bool movesOn; } cases[] = {
        {kKindNotAdvanced, 0.0, false}, {2, SecondsFromNow(3600), false}, {2, 0.0, true}};
    for (const auto& c : cases) {
        g_fakeEngine.entries[""] = FakeEntry{c.next, 0, 0.0, 0, c.kind, 5, 6};
        ForgetCalls();
        agent.SendMessage(WM_TIMER, 0, 0);
        EXPECT_TRUE(SameSequence(c.movesOn ? kDefaultMovedOn : Lines{},
                                 g_fakeEngine.CallsStartingWith({"NextScheduledTime", "SetNextTime"})))
            << c.kind << " " << c.next;
    }
}

TEST_F(AgentTest, TheCatalogWaitsWhileTheDefaultEntryAnswersNonzero)
{
    // No time, so every timer runs, but a nonzero answer.
    g_fakeEngine.entries[""] = FakeEntry{0.0, 1, 0.0, 0, 1, 0, 0};
    WriteFileText(catalogPath, "Delta\nEcho\n");
    ASSERT_TRUE(agent.Start());
    // Activate imported at once: the bracket closes before the names are registered.
    const std::string refresh = "RefreshCatalog 0 " + catalogPath;
    EXPECT_TRUE(SameSequence({"GetNextTime ", "PrepareDefault ", "BeginBatch", refresh, "EndBatch"}, Calls()));
    EXPECT_EQ((Lines{"Delta", "Echo"}), RegisteredProducts());

    // The first run follows an activation that cleared the flag: it refreshes and
    // registers, keeping names the catalog no longer lists. The earliest-time
    // search after it sets the flag again, so the next run skips.
    auto runRefreshes = [&] {
        ForgetCalls();
        agent.SendMessage(WM_TIMER, 0, 0);
        return Called(refresh);
    };
    WriteFileText(catalogPath, "Zulu\n");
    EXPECT_TRUE(runRefreshes());
    EXPECT_EQ((Lines{"Delta", "Echo", "Zulu"}), RegisteredProducts());
    EXPECT_FALSE(runRefreshes());

    // Once the answer is 0, the run after the next search refreshes again.
    g_fakeEngine.entries[""].nextResult = 0;
    EXPECT_FALSE(runRefreshes());
    EXPECT_TRUE(runRefreshes());
}

namespace {

// Something that reaches the agent from a message loop inside a library call,
// in the middle of a run, and what the agent has done once things settle.
struct NestedEvent {
    const char* name;
    std::function<void(TestAgent&)> send;
    Lines calls;        // brackets, updates, catalog refreshes and edits
    const char* tip;    // the icon's tip at the end; null: no icon
    bool quits;         // the agent asked every message loop to end
};

class NestedEventTest : public AgentTest, public ::testing::WithParamInterface<NestedEvent> {};

const Lines kOneRun = {"BeginBatch", "RunUpdate Beta", "RunUpdate Alpha", "RefreshCatalog", "EndBatch"};
const Lines kCutShort = {"BeginBatch", "RunUpdate Beta", "EndBatch"};

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// "RunUpdate Beta ..." as "RunUpdate Beta"; any other call by its name alone.
std::string Named(const std::string& call)
{
    return call.substr(0, call.find(' ', call.rfind("RunUpdate", 0) ? 0 : 10));
}

} // namespace

TEST_P(NestedEventTest, NeverStartsARunInsideARunAndHandlesWhatCameOnceAfterIt)
{
    RegisterProducts({"Alpha", "Beta"});
    g_fakeEngine.entries["Alpha"] = g_fakeEngine.entries["Beta"] = FakeEntry{0.0, 0, SecondsFromNow(-60), 0, 1, 0, 0};
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

    Lines calls;
    for (const std::string& call :
         g_fakeEngine.CallsStartingWith({"BeginBatch", "EndBatch", "RunUpdate", "RefreshCatalog", "EditSchedule"}))
        calls.push_back(Named(call));
    EXPECT_TRUE(SameSequence(GetParam().calls, calls));
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
        // The run once more that the timer asks for waits for Activate too.
        NestedEvent{"SuspendThenTimer", [](TestAgent& a) { a.Command(ID_SUSPEND_AGENT); a.SendMessage(WM_TIMER); },
                    kOneRun, "Tesvo: Suspended", false},
        NestedEvent{"Schedule", [](TestAgent& a) { a.Command(ID_SCHEDULE_DEFAULT); }, kOneRun + Lines{"EditSchedule"},
                    "No Update.", false},
        NestedEvent{"Close", [](TestAgent& a) { a.Command(ID_CLOSE_AGENT); }, kCutShort, nullptr, true},
        NestedEvent{"MarkerClosed", [](TestAgent& a) { ::SendMessageA(a.m_hMarkerWnd, WM_CLOSE, 0, 0); }, kCutShort,
                    "No Update.", true}),
    [](const ::testing::TestParamInfo<NestedEvent>& info) { return std::string(info.param.name); });

TEST_F(AgentTest, RecomputingTheScheduleRunsNothingAndWhileSuspendedNothingSetsTheTimerOrRuns)
{
    RegisterProducts({"Alpha"});
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    ASSERT_TRUE(agent.Start());
    // Each asks for the times again (but a timer while suspended, and sleep) and
    // runs nothing: the timer is set again only while active, so a time passed
    // meanwhile is left for Activate.
    const struct { const char* name; UINT message; WPARAM event; const char* area; bool recomputes; } events[] = {
        {"early timer", WM_TIMER, kScheduleTimerId, nullptr, true}, {"time change", WM_TIMECHANGE, 0, nullptr, true},
        {"resume", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, nullptr, true},
        {"resume by the user", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, nullptr, true},
        {"mains or battery", WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, nullptr, true},
        {"sleep", WM_POWERBROADCAST, PBT_APMSUSPEND, nullptr, false},
        {"policy refresh", WM_SETTINGCHANGE, 0, "Policy", true},
        {"another setting", WM_SETTINGCHANGE, 0, "intl", false}, {"no setting named", WM_SETTINGCHANGE, 0, nullptr, false},
        {"schedule", WM_COMMAND, ID_SCHEDULE_DEFAULT, nullptr, true}};
    const struct { bool active; double seconds; } states[] = {{true, 3600}, {false, 3600}, {false, -60}};
    for (const auto& state : states) {
        agent.Command(state.active ? ID_ACTIVATE_AGENT : ID_SUSPEND_AGENT);
        const double when = SecondsFromNow(state.seconds);
        g_fakeEngine.entries["Alpha"] = FakeEntry{when, 0, when, 0, 1, 0, 0};
        for (const auto& e : events) {
            SCOPED_TRACE(std::string(e.name) + (state.active ? " active " : " suspended ") + std::to_string(when));
            ::KillTimer(agent.m_hWnd, kScheduleTimerId);
            ForgetCalls();
            agent.SendMessage(e.message, e.event, reinterpret_cast<LPARAM>(e.area));
            agent.Pump();
            const bool asks = e.recomputes && (state.active || e.message != WM_TIMER);
            EXPECT_TRUE(SameSequence(asks ? Lines{"GetNextTime ", "GetNextTime Alpha"} : Lines{},
                                     g_fakeEngine.CallsStartingWith({"GetNextTime", "BeginBatch"})));
            EXPECT_EQ(state.active && e.recomputes, ::KillTimer(agent.m_hWnd, kScheduleTimerId) != FALSE);
        }
    }
    agent.Command(ID_ACTIVATE_AGENT);
    agent.Pump();
    EXPECT_TRUE(Called("RunUpdate Alpha A:Alpha B:Alpha 0"));
}

TEST_F(AgentTest, ATimeHoursAheadIsWaitedForAnHourAtATimeAndRunOnceWhenDue)
{
    RegisterProducts({"Alpha"});
    g_fakeEngine.entries[""].kind = kKindNotAdvanced;
    agent.clockStart = COleDateTime(2026, 12, 7, 9, 0, 0).m_dt;
    const double due = agent.clockStart + 3.0 / 24;
    g_fakeEngine.entries["Alpha"] = FakeEntry{due, 0, due, 1, 1, 0, 0};
    // The library keeps the time passed after the update: runs are then spaced out.
    g_fakeEngine.nextScheduled = due;
    ASSERT_TRUE(agent.Start());
    // The wait the agent asked for, then whether the wake-up after it ran; an early
    // wake-up asks for the times only, and waits again.
    const struct { UINT waitMs; bool runs; } wakeUps[] = {
        {3601010, false}, {3601000, false}, {3599000, true}, {1000, true}, {2000, true}};
    for (const auto& w : wakeUps) {
        ASSERT_EQ(std::vector<UINT>{w.waitMs}, agent.timerDelays);
        agent.clockMs += w.waitMs;
        agent.timerDelays.clear();
        ForgetCalls();
        agent.SendMessage(WM_TIMER, kScheduleTimerId, 0);
        if (w.runs)
            EXPECT_EQ(1u, g_fakeEngine.CallsStartingWith({"RunUpdate Alpha"}).size()) << agent.clockMs;
        else
            EXPECT_TRUE(SameSequence({"GetNextTime ", "GetNextTime Alpha"}, Calls())) << agent.clockMs;
    }
    EXPECT_EQ(std::vector<UINT>{4000}, agent.timerDelays);
}
