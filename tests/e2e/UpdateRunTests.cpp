// Due-update runs of the real agent through the stand-in library, read back
// from the library's call journal and the registry.
#include "support/E2EFixture.h"
#include "FakeTray.h"
#include <shellapi.h>
#include <cstdio>
#include <algorithm>

namespace {

// Schedule kinds of the stand-in library.
constexpr DWORD kOnce = 3;         // never advanced
constexpr DWORD kEveryHours = 4;   // every a hours

// Journal lines whose operation is one of ops, in order.
std::vector<std::string> Ops(const AgentFolder& folder, const std::vector<std::string>& ops)
{
    std::vector<std::string> kept;
    for (const std::string& line : folder.JournalLines()) {
        const std::string op = line.substr(0, line.find(' '));
        if (std::find(ops.begin(), ops.end(), op) != ops.end())
            kept.push_back(line);
    }
    return kept;
}

class RunningAgentTest : public E2ETest {
protected:
    // Starts the agent and waits until its start-up activation has shown a status.
    void StartAgent()
    {
        ASSERT_TRUE(agent.Start(folder));
        ASSERT_NE(nullptr, agent.WaitForMarker(kStartMs));
        window = agent.AgentWindow();
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(WaitUntil([&] { return Journaled(folder, "GetNextTime"); }, kStartMs));
        PumpMessages(500);
    }

    void TearDown() override
    {
        if (agent.Running()) {
            ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
            agent.WaitForExit(kStartMs);
        }
        E2ETest::TearDown();
    }

    // Waits until the journal has not grown for a second.
    void WaitForQuiet()
    {
        size_t lines = folder.JournalLines().size();
        DWORD still = ::GetTickCount();
        WaitUntil([&] {
            const size_t now = folder.JournalLines().size();
            if (now != lines) {
                lines = now;
                still = ::GetTickCount();
            }
            return ::GetTickCount() - still > 1000;
        }, kStartMs);
    }

    bool WaitForLine(const std::string& prefix, DWORD ms = kStartMs)
    {
        return WaitUntil([&] { return Journaled(folder, prefix); }, ms);
    }

    AgentFolder folder;
    AgentProcess agent;
    HWND window = nullptr;
};

} // namespace

TEST_F(RunningAgentTest, PassedProductsAreUpdatedAtStartUpInListOrderWithEmptyBuffers)
{
    const double hourAgo = SecondsFromNow(-3600);
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        SetEntrySchedule(name, {kEveryHours, 24, 0, hourAgo, nullptr});
    SetEntrySchedule("", {kOnce, 0, 0, 0.0, nullptr});
    StartAgent();
    ASSERT_TRUE(WaitForLine("EndBatch"));

    // Enumerated Alpha, Beta, Gamma: the list, and so the run, goes Gamma, Beta, Alpha.
    const std::vector<std::string> expected = {
        "BeginBatch",
        "PrepareUpdate \"Gamma\" A=\"\" B=\"\"", "RunUpdate \"Gamma\"",
        "PrepareUpdate \"Beta\" A=\"\" B=\"\"", "RunUpdate \"Beta\"",
        "PrepareUpdate \"Alpha\" A=\"\" B=\"\"", "RunUpdate \"Alpha\"",
        "RefreshCatalog \"" + folder.Catalog() + "\"", "EndBatch"};
    EXPECT_EQ(expected, Ops(folder, {"BeginBatch", "PrepareUpdate", "RunUpdate", "RefreshCatalog", "EndBatch"}));
    // Each was advanced a day on, and recorded that it had no command to run.
    for (const char* name : {"Alpha", "Beta", "Gamma"}) {
        EXPECT_EQ("no command", ReadEntryString(name, "LastOutcome")) << name;
        EXPECT_GT(ReadEntryString(name, "NextTime"), TimeText(SecondsFromNow(23 * 3600))) << name;
    }
}

TEST_F(RunningAgentTest, AOnceProductIsUpdatedButNotAdvancedAndTheDefaultOfThatKindNeverMoves)
{
    SetEntrySchedule("Solo", {kOnce, 600, 0, SecondsFromNow(-60), nullptr});
    SetEntrySchedule("", {kOnce, 600, 0, SecondsFromNow(-60), nullptr});
    StartAgent();
    ASSERT_TRUE(WaitForLine("RunUpdate \"Solo\""));
    ASSERT_TRUE(WaitForLine("GetSchedule \"\""));
    PumpMessages(500);
    const std::vector<std::string> notExpected = {};
    EXPECT_EQ(notExpected, Ops(folder, {"NextScheduledTime", "SetNextTime"}));
    EXPECT_EQ("no command", ReadEntryString("Solo", "LastOutcome"));
}

TEST_F(RunningAgentTest, AnImportAndAScheduleCommandCallTheLibraryInOrder)
{
    // The default entry's time has come: the start-up activation imports first.
    SetEntrySchedule("", {kOnce, 0, 0, SecondsFromNow(-60), nullptr});
    const std::string source = folder.Path() + "source.cfg";
    WriteFileText(source, "Kilo\r\nLima\r\n");
    SetCatalogSource(source);
    StartAgent();
    ASSERT_TRUE(WaitForLine("EndBatch"));
    const std::vector<std::string> import = {"GetNextTime \"\"", "PrepareDefault \"\"", "BeginBatch",
                                             "RefreshCatalog \"" + folder.Catalog() + "\"", "EndBatch"};
    std::vector<std::string> lines = folder.JournalLines();
    lines.resize(std::min(lines.size(), import.size()));
    EXPECT_EQ(import, lines);
    EXPECT_EQ((std::vector<std::string>{"Kilo", "Lima"}), RegisteredProducts());

    // Schedule of the product at the head of the list (Lima): the library's dialog
    // opens; cancelling it is followed by a fresh search over every entry.
    WaitForQuiet();
    const size_t before = folder.JournalLines().size();
    ::PostMessageA(window, WM_COMMAND, 416, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = ::FindWindowA(nullptr, "Update Schedule")) != nullptr; }, kStartMs));
    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return folder.JournalLines().size() >= before + 4; }, kStartMs));
    lines = folder.JournalLines();
    const std::vector<std::string> schedule = {"EditSchedule \"Lima\"", "GetNextTime \"\"",
                                               "GetNextTime \"Lima\"", "GetNextTime \"Kilo\""};
    EXPECT_EQ(schedule, std::vector<std::string>(lines.begin() + before, lines.begin() + before + 4));
}

TEST_F(RunningAgentTest, ARunRegistersTheRefreshedCatalogAndKeepsUnlistedProducts)
{
    RegisterProducts({"Old"});
    const std::string source = folder.Path() + "source.cfg";
    WriteFileText(source, "New One\nNew Two\n");
    SetCatalogSource(source);
    StartAgent();
    ::PostMessageA(window, WM_TIMER, 0, 0);
    ASSERT_TRUE(WaitForLine("EndBatch"));
    PumpMessages(500);
    EXPECT_EQ((std::vector<std::string>{"New One", "New Two", "Old"}), RegisteredProducts());
    EXPECT_EQ("New One\nNew Two\n", ReadFileText(folder.Catalog()));
}

TEST_F(RunningAgentTest, SuspendHoldsTheTimerUntilATimeChangeArmsItAgain)
{
    RegisterProducts({"Soon"});
    StartAgent();
    // Suspended, the timer is gone: nothing runs when the time comes...
    SetEntrySchedule("Soon", {kOnce, 0, 0, SecondsFromNow(3), nullptr});
    ::PostMessageA(window, WM_TIMECHANGE, 0, 0);
    ::PostMessageA(window, WM_COMMAND, 3200, 0);
    PumpMessages(6000);
    EXPECT_TRUE(Ops(folder, {"RunUpdate"}).empty());
    // ...until a time change arms it again, suspended or not.
    ::PostMessageA(window, WM_TIMECHANGE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return Ops(folder, {"RunUpdate"}).size() == 1; }, 20000));
}

namespace {

// A product's time with the strict library, and the runs it may cause in ten seconds.
struct StrictCase {
    const char* name;
    double dueSeconds;   // from the moment the agent learns of it
    DWORD kind;          // kOnce: the library is told not to move the time on
    size_t fewestRuns, mostRuns;
};

class StrictLibraryTest : public RunningAgentTest, public ::testing::WithParamInterface<StrictCase> {};

} // namespace

TEST_P(StrictLibraryTest, RunsAsOftenAsTheTimeAsksAndAnswersCloseAtOnce)
{
    folder.UseLibrary("strict_korvante.dll");
    SetEntrySchedule("", {kOnce, 0, 0, 0.0, nullptr});
    StartAgent();
    SetEntrySchedule("Product", {GetParam().kind, 0, 0, SecondsFromNow(GetParam().dueSeconds), nullptr});
    ::PostMessageA(window, WM_TIMECHANGE, 0, 0);
    PumpMessages(10000);
    const size_t runs = Ops(folder, {"BeginBatch"}).size();
    EXPECT_GE(runs, GetParam().fewestRuns);
    EXPECT_LE(runs, GetParam().mostRuns);

    DWORD_PTR answer = 0;
    EXPECT_TRUE(::SendMessageTimeoutA(FindMarker(), WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &answer));
    EXPECT_TRUE(WaitUntil([&] { return !agent.Running(); }, kStartMs));
}

// Due three seconds ahead: one run. A time that stays past: runs a second,
// then two, then four seconds apart.
INSTANTIATE_TEST_SUITE_P(OneProduct, StrictLibraryTest,
                         ::testing::Values(StrictCase{"DueAhead", 3, kEveryHours, 1, 1},
                                           StrictCase{"StaysPast", -60, kOnce, 3, 5}),
                         [](const ::testing::TestParamInfo<StrictCase>& info) { return std::string(info.param.name); });

TEST_F(RunningAgentTest, DuringAnUpdateTheAgentAnswersAndRunsOnceMoreForATimerAndATimeChange)
{
    SetEntrySchedule("", {kOnce, 0, 0, 0.0, nullptr});
    SetEntrySchedule("Slow", {kEveryHours, 24, 0, SecondsFromNow(-60), "ping.exe -n 6 127.0.0.1"});
    StartAgent();
    ASSERT_TRUE(WaitForLine("RunUpdate \"Slow\""));
    DWORD_PTR answer = 0;
    EXPECT_TRUE(::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &answer));
    ::PostMessageA(window, WM_TIMER, 0, 0);
    ::PostMessageA(window, WM_TIMECHANGE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return Ops(folder, {"EndBatch"}).size() >= 2; }, kStartMs));
    PumpMessages(2000);
    const std::vector<std::string> expected = {"BeginBatch", "RunUpdate \"Slow\"", "EndBatch", "BeginBatch",
                                               "EndBatch"};
    EXPECT_EQ(expected, Ops(folder, {"BeginBatch", "RunUpdate", "EndBatch"}));
}

TEST_F(RunningAgentTest, ClosingDuringAnUpdateEndsTheAgentWithinSecondsAndTakesItsIcon)
{
    FakeTray tray;
    if (!tray.IsTheTray())
        GTEST_SKIP() << "another notification area is in the way";
    // Created in this order, the list runs Zulu, then Alpha.
    SetEntrySchedule("", {kOnce, 0, 0, 0.0, nullptr});
    SetEntrySchedule("Alpha", {kEveryHours, 24, 0, SecondsFromNow(-60), nullptr});
    SetEntrySchedule("Zulu", {kEveryHours, 24, 0, SecondsFromNow(-60), "ping.exe -n 21 127.0.0.1"});
    StartAgent();
    ASSERT_TRUE(WaitForLine("RunUpdate \"Zulu\""));

    // A shell that starts again gets the icon back, even in the middle of an update.
    const size_t seen = tray.Events().size();
    ::PostMessageA(HWND_BROADCAST, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return tray.FindAdd(agent.ProcessId(), seen) >= 0; }, 5000));

    const DWORD start = ::GetTickCount();
    ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !agent.Running(); }, 10000));
    std::printf("closed %lu ms after WM_CLOSE\n", static_cast<unsigned long>(::GetTickCount() - start));
    const std::vector<std::string> expected = {"BeginBatch", "RunUpdate \"Zulu\"", "EndBatch"};
    EXPECT_EQ(expected, Ops(folder, {"BeginBatch", "RunUpdate", "RefreshCatalog", "EndBatch"}));
    EXPECT_EQ("left running", ReadEntryString("Zulu", "LastOutcome"));
    DWORD last = 0;
    for (const TrayEvent& event : tray.Events())
        if (event.processId == agent.ProcessId())
            last = event.message;
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), last);
}
