// The call journal: one line per call, in call order, with the arguments as
// they were on entry.
#include "KorvanteFixture.h"

TEST_F(KorvanteTest, JournalHasOneLinePerCall)
{
    const std::string journal = ProgramDir() + "korvante-journal.txt";
    ::DeleteFileA(journal.c_str());
    GetNextTime("", nullptr);
    EXPECT_EQ(::GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES) << "no journal unless asked";

    RegisterProducts({"Alpha"});
    WriteFileText(journal, "earlier\r\n");
    ::SetEnvironmentVariableA("KORVANTE_JOURNAL", journal.c_str());
    char engine[260] = "", jobA[260] = "old A", jobB[260];
    memset(jobB, 'b', sizeof jobB);   // no terminator: shown up to the buffer's size
    int kind;
    BeginBatch();
    PrepareDefault("", engine);
    PrepareProduct("Alpha", engine);
    GetDueTime("Alpha", nullptr);
    GetSchedule("Alpha", nullptr, nullptr, &kind, &kind, &kind);
    NextScheduledTime(1, 0, 840);
    SetNextTime("Alpha", COleDateTime(2026, 12, 6, 14, 5, 0));
    PrepareUpdate("Alpha", jobA, jobB);
    RunUpdate("Alpha", engine, jobA, jobB, 0);
    RefreshCatalog(0, engine, "C:\\Tesvo\\Tesvo.cfg");
    EndBatch();
    GetNextTime(nullptr, nullptr);
    SetNextTime("", COleDateTime(0.0));
    EditSchedule("Line\nbreak");
    EXPECT_EQ(ReadFileText(journal), "earlier\r\n"
                                     "BeginBatch\r\n"
                                     "PrepareDefault \"\"\r\n"
                                     "PrepareProduct \"Alpha\"\r\n"
                                     "GetDueTime \"Alpha\"\r\n"
                                     "GetSchedule \"Alpha\"\r\n"
                                     "NextScheduledTime 1 0 840\r\n"
                                     "SetNextTime \"Alpha\" 2026-12-06 14:05:00\r\n"
                                     "PrepareUpdate \"Alpha\" A=\"old A\" B=\"" + std::string(260, 'b') + "\"\r\n"
                                     "RunUpdate \"Alpha\"\r\n"
                                     "RefreshCatalog \"C:\\Tesvo\\Tesvo.cfg\"\r\n"
                                     "EndBatch\r\n"
                                     "GetNextTime null\r\n"
                                     "SetNextTime \"\" none\r\n"
                                     "EditSchedule \"Line?break\"\r\n");
    ::DeleteFileA(journal.c_str());
}
