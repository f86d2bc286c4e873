// The call journal the end-to-end tests read: one line per call, appended in call
// order, with the arguments as they were on entry, and only when asked for.
#include "tests/unit/KorvanteFixture.h"

TEST_F(KorvanteTest, JournalHasOneLinePerCall)
{
    const std::string journal = ProgramDir() + "korvante-journal.txt";
    ::DeleteFileA(journal.c_str());
    GetNextTime("", nullptr);
    EXPECT_EQ(::GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES) << "no journal unless asked";

    RegisterProducts({"Alpha"});
    WriteFileText(journal, "earlier\r\n");
    ::SetEnvironmentVariableA("KORVANTE_JOURNAL", journal.c_str());
    char jobA[260] = "old A", jobB[260];
    memset(jobB, 'b', sizeof jobB);   // no terminator: shown up to the buffer's size
    NextScheduledTime(1, 0, 840);
    SetNextTime("Alpha", COleDateTime(2026, 12, 6, 14, 5, 0));
    PrepareUpdate("Alpha", jobA, jobB);
    GetNextTime(nullptr, nullptr);
    SetNextTime("", COleDateTime(0.0));
    EditSchedule("Line\nbreak");
    EXPECT_EQ(ReadFileText(journal), "earlier\r\n"
                                     "NextScheduledTime 1 0 840\r\n"
                                     "SetNextTime \"Alpha\" 2026-12-06 14:05:00\r\n"
                                     "PrepareUpdate \"Alpha\" A=\"old A\" B=\"" + std::string(260, 'b') + "\"\r\n"
                                     "GetNextTime null\r\n"
                                     "SetNextTime \"\" none\r\n"
                                     "EditSchedule \"Line?break\"\r\n");
    ::DeleteFileA(journal.c_str());
}
