// Next and due times: what is stored and reported, and how a run moves passed
// times on so that the agent never arms its timer for a time in the past.
#include "tests/unit/KorvanteFixture.h"

TEST_F(KorvanteTest, NextTimeIsKeptAsTextInTheEntrysKey)
{
    RegisterProducts({"Alpha"});
    EXPECT_EQ(SetNextTime("Alpha", COleDateTime(2031, 2, 3, 4, 5, 6)), 1);
    EXPECT_EQ(ReadEntryString("Alpha", "NextTime"), "2031-02-03 04:05:06");
    EXPECT_EQ(SetNextTime("Alpha", COleDateTime(0.0)), 1);
    EXPECT_EQ(ReadEntryString("Alpha", "NextTime"), "");
    SetEntryValue("Alpha", "NextTime", "2031-02-03 04:05");
    EXPECT_EQ(NextText("Alpha"), "2031-02-03 04:05:00");
    for (const char* bad : {"2031-02-30 04:05:00", "2100-02-29 04:05", "2031-02-03 24:00", "tomorrow", ""}) {
        SetEntryValue("Alpha", "NextTime", bad);
        EXPECT_EQ(NextText("Alpha"), "none") << bad;
    }
    // The last second's half rounds up into year 10000, which has no text.
    EXPECT_EQ(SetNextTime("Alpha", COleDateTime(COleDateTime(9999, 12, 31, 23, 59, 59).m_dt + 0.5 / 86400)), 0);
    EXPECT_EQ(ReadEntryString("Alpha", "NextTime"), "");
    // Only the default entry's key is made by a write.
    EXPECT_EQ(SetNextTime("Ghost", COleDateTime(2031, 2, 3, 4, 5, 6)), 0);
    DeleteProductKey();
    EXPECT_EQ(SetNextTime("", COleDateTime(2031, 2, 3, 4, 5, 6)), 1);
    EXPECT_EQ(NextText("") + "|" + ReadEntryString("Ghost", "NextTime"), "2031-02-03 04:05:06|");
}

TEST_F(KorvanteTest, ATimeDueThisVerySecondIsReportedOneSecondLater)
{
    RegisterProducts({"Alpha"});
    // The agent sees a time as come only once now is strictly later.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const double now = Now();
        SetEntryValue("Alpha", "NextTime", Text(now));
        int result = -1;
        const std::string reported = NextText("Alpha", &result);
        if (Now() == now) {
            EXPECT_EQ(reported + " " + std::to_string(result), Text(now + 1.0 / 86400) + " 0");
            return;
        }
    }
}

TEST_F(KorvanteTest, BadNamesAndPointersGetSafeResults)
{
    Schedule("Alpha", 2, 840, 5, 0.0);
    int x = 7, kind = 0, a = 0, b = 0;
    EXPECT_EQ(GetSchedule("Alpha", &x, nullptr, &kind, &a, &b), 1);
    EXPECT_EQ(std::to_string(x) + " " + std::to_string(kind) + " " + std::to_string(a) + " " + std::to_string(b),
              "0 2 840 5");
    EXPECT_EQ(GetNextTime("Alpha", nullptr), 0);
    // No key name is 256 characters long; a longer name must not reach a path buffer.
    const std::string longName(256, 'n'), longerName(400, 'n');
    for (const char* name :
         {static_cast<const char*>(nullptr), longName.c_str(), longerName.c_str(), "Alpha\\Beta", "Ghost"}) {
        char buffer[260] = "old", jobA[260] = "old", jobB[260] = "old";
        EXPECT_EQ(NextText(name), "none");
        EXPECT_EQ(SetNextTime(name, COleDateTime(2031, 1, 1, 0, 0, 0)), 0);
        EXPECT_EQ(GetSchedule(name, nullptr, nullptr, &kind, nullptr, nullptr) + kind, 0);
        EXPECT_EQ(PrepareProduct(name, buffer) + PrepareDefault(name, buffer), 0);
        EXPECT_EQ(PrepareUpdate(name, jobA, jobB) + RunUpdate(name, buffer, jobA, jobB, 0), 0);
        EXPECT_EQ(std::string(jobA) + jobB, "");
    }
}

// One run, then the times the agent arms its timer with: none in the past. An
// entry without a time, a key or a schedule that moves on is never due again.
TEST_F(KorvanteTest, AfterARunNoEntryReportsATimeInThePast)
{
    const double past = Now() - 3 * kMinute, later = Now() + kHour;
    Schedule("", 1, 600, 0, past);
    Schedule("Weekly", 2, 600, 3, past);
    Schedule("Hourly", 4, 2, 0, past);
    Schedule("Once", 3, 600, 0, past);
    Schedule("None", 0, 0, 0, past);
    Schedule("Later", 1, 600, 0, later);
    Schedule("NoTime", 1, 600, 0, 0.0);
    // A time that has come waits for a run, which passes it only once it ends.
    int result = 0;
    EXPECT_EQ(NextText("", &result), Text(past));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(RunDue({"Weekly", "Hourly", "Once", "None", "Later", "NoTime", "Ghost"}), " Weekly Hourly Once None");
    ExpectNothingPast({"", "Weekly", "Hourly", "Once", "None", "Later", "NoTime", "Ghost"});
    EXPECT_EQ(NextText("Once") + NextText("None") + NextText("NoTime"), "nonenonenone");
    EXPECT_EQ(NextText(""), Text(NextScheduledTime(1, 0, 600).m_dt));
    COleDateTime hourly;
    GetNextTime("Hourly", &hourly);
    EXPECT_NEAR(hourly.m_dt, Now() + 2 * kHour, 2.0 / 86400);
    EXPECT_EQ(ReadEntryString("Hourly", "NextTime"), NextText("Hourly")) << "a moved time is stored";
    EXPECT_EQ(NextText("Later"), Text(later));
    EXPECT_EQ(ReadEntryString("Weekly", "LastOutcome") + ReadEntryString("Later", "LastOutcome"), "no command");
}

// The agent's start-up: it imports the catalog in a bracket of its own, right
// after PrepareDefault, then its first run updates whatever was due. The import
// is no run and passes no time; a bracket opened after another call is a run.
TEST_F(KorvanteTest, TheStartUpImportLeavesDueProductsToTheRunAfterIt)
{
    const double past = Now() - 3 * kMinute;
    Schedule("", 3, 600, 0, past);
    Schedule("Solo", 3, 600, 0, past);
    Schedule("Daily", 1, 600, 0, past);
    char engine[260] = "";
    PrepareDefault("", engine);
    BeginBatch();
    RefreshCatalog(0, engine, (ProgramDir() + "korvante-catalog.cfg").c_str());
    EndBatch();
    EXPECT_EQ(ReadEntryString("", "LastBatch"), "") << "the import is no run";
    EXPECT_EQ(NextText("Solo"), Text(past)) << "the import passes no time";

    EXPECT_EQ(RunDue({"Solo", "Daily"}), " Solo Daily");
    EXPECT_EQ(ReadEntryString("Solo", "LastOutcome") + "|" + ReadEntryString("Daily", "LastOutcome"),
              "no command|no command");
    ExpectNothingPast({"", "Solo", "Daily"});
}

// A clock set back after a run, or the autumn hour that comes round twice,
// leaves the last run's mark ahead of now. Such a mark passes nothing: what is
// due runs, and the mark is the run's own start after it.
TEST_F(KorvanteTest, AMarkAheadOfTheClockPassesNothing)
{
    for (const double ahead : {365.0, 50 * kMinute}) {
        DeleteProductKey();
        Reload();
        const double past = Now() - kMinute;
        Schedule("Daily", 1, 600, 0, past);
        Schedule("Once", 3, 600, 0, past);
        SetEntryValue("", "LastBatch", Text(Now() + ahead));
        SetEntryValue("Daily", "LastRun", Text(Now() + ahead));
        EXPECT_EQ(RunDue({"Daily", "Once"}), " Daily Once") << Text(Now() + ahead);
        EXPECT_LE(ReadEntryString("", "LastBatch"), Text(Now()));
        EXPECT_LE(ReadEntryString("Daily", "LastRun"), Text(Now()));
    }
}
