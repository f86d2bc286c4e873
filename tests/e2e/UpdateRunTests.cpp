// Due-update runs of the real agent through a real library, read back from the
// library's call journal and the registry: a full start-up run, the timer's run
// count with the strict library, and closing in the middle of an update.
#include "tests/support/E2EFixture.h"
#include "bench/startup/FakeTray.h"
#include <shellapi.h>

namespace {

// Alpha, Beta and Gamma are enumerated in that order, so the list, and the
// run, go the other way, each with empty buffers; the catalog's refresh follows.
const std::vector<std::string> kStartUpRun = {
    "BeginBatch",
    "PrepareUpdate \"Gamma\" A=\"\" B=\"\"", "RunUpdate \"Gamma\"",
    "PrepareUpdate \"Beta\" A=\"\" B=\"\"", "RunUpdate \"Beta\"",
    "PrepareUpdate \"Alpha\" A=\"\" B=\"\"", "RunUpdate \"Alpha\"",
    "RefreshCatalog", "EndBatch"};
const std::vector<std::string> kRunOps = {"BeginBatch", "PrepareUpdate", "RunUpdate", "RefreshCatalog", "EndBatch"};

} // namespace

// Passed products are updated and advanced a day, and the catalog refreshed from
// its source is registered without dropping a product it no longer lists.
TEST_F(E2ETest, StartUpUpdatesPassedProductsAndRegistersTheRefreshedCatalog)
{
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        SetEntrySchedule(name, kEveryHours, -3600);
    SetEntrySchedule("", kOnce, 86400);
    const std::string source = agent.Path() + "source.cfg";
    WriteFileText(source, "Kilo\r\nLima\r\n");
    SetEntryValue("", "CatalogSource", source);
    ASSERT_TRUE(StartAgent());
    ASSERT_TRUE(WaitForLine("EndBatch"));
    PumpMessages(500);

    std::vector<std::string> expected = kStartUpRun;
    expected[7] += " \"" + agent.Catalog() + "\"";
    EXPECT_EQ(expected, Ops(kRunOps));
    for (const char* name : {"Alpha", "Beta", "Gamma"}) {
        EXPECT_EQ("no command", ReadEntryString(name, "LastOutcome")) << name;
        EXPECT_GT(ReadEntryString(name, "NextTime"), LocalTimeText(23 * 3600)) << name;
    }
    EXPECT_EQ((std::vector<std::string>{"Alpha", "Beta", "Gamma", "Kilo", "Lima"}), RegisteredProducts());
    EXPECT_EQ("Kilo\r\nLima\r\n", ReadFileText(agent.Catalog()));
}

// With the strict library only the timer brings a run: a time three seconds
// ahead gives one, a time that stays past runs a second, then two, then four
// seconds apart. Between runs the agent answers a close at once.
TEST_F(E2ETest, TheTimerRunsAsOftenAsTheTimeAsksAndTheAgentAnswersCloseAtOnce)
{
    ASSERT_TRUE(agent.CopyIn("strict_korvante.dll", "korvante.dll"));
    SetEntrySchedule("", kOnce, 86400);
    ASSERT_TRUE(StartAgent());
    const auto runsIn10s = [&](const char* name, DWORD kind, double dueSeconds) {
        const size_t before = Ops({"BeginBatch"}).size();
        SetEntrySchedule(name, kind, dueSeconds);
        ::PostMessageA(window, WM_TIMECHANGE, 0, 0);
        PumpMessages(10000);
        return Ops({"BeginBatch"}).size() - before;
    };
    EXPECT_EQ(1u, runsIn10s("DueAhead", kEveryHours, 3));
    const size_t runs = runsIn10s("StaysPast", kOnce, -60);
    EXPECT_GE(runs, 3u);
    EXPECT_LE(runs, 5u);

    DWORD_PTR answer = 0;
    EXPECT_TRUE(::SendMessageTimeoutA(FindMarker(), WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &answer));
    EXPECT_TRUE(agent.WaitForExit(kStartMs));
}

// In the middle of an update the agent still answers: a restarted shell gets the
// icon back, and a close ends the agent within seconds, taking its icon along.
TEST_F(E2ETest, ClosingDuringAnUpdateEndsTheAgentWithinSecondsAndTakesItsIcon)
{
    FakeTray tray;
    if (!tray.IsTheTray())
        GTEST_SKIP() << "another notification area is in the way";
    // Created in this order, the list runs Zulu, then Alpha.
    SetEntrySchedule("", kOnce, 86400);
    SetEntrySchedule("Alpha", kEveryHours, -60);
    SetEntrySchedule("Zulu", kEveryHours, -60, "ping.exe -n 21 127.0.0.1");
    ASSERT_TRUE(StartAgent());
    ASSERT_TRUE(WaitForLine("RunUpdate \"Zulu\""));

    const size_t seen = tray.Events().size();
    ::PostMessageA(HWND_BROADCAST, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return tray.FindAdd(agent.ProcessId(), seen) >= 0; }, 5000));

    ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(agent.WaitForExit(10000));
    const std::vector<std::string> expected = {"BeginBatch", "RunUpdate \"Zulu\"", "EndBatch"};
    EXPECT_EQ(expected, Ops({"BeginBatch", "RunUpdate", "RefreshCatalog", "EndBatch"}));
    EXPECT_EQ("left running", ReadEntryString("Zulu", "LastOutcome"));
    DWORD last = 0;
    for (const TrayEvent& event : tray.Events())
        if (event.processId == agent.ProcessId())
            last = event.message;
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), last);
}
