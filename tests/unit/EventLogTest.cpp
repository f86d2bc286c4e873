// The service's events: each ID it writes has its message in the service's
// table (with a place for every string), one level, and its line in
// docs/events.md, where administrators look.
#include "service/EventLog.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

struct Written {
    WORD type;
    DWORD id;
    std::vector<std::string> strings;
};
std::vector<Written> g_written;

void Record(WORD type, DWORD id, const char* const* strings, WORD count)
{
    g_written.push_back({type, id, std::vector<std::string>(strings, strings + count)});
}

const char* LevelName(WORD type)
{
    return type == EVENTLOG_ERROR_TYPE ? "Error" : type == EVENTLOG_WARNING_TYPE ? "Warning" : "Information";
}

} // namespace

TEST(EventLogTest, EveryEventHasItsMessageOneLevelAndItsLineForAdministrators)
{
    const EventWriter writer = EventWriterInForce();
    EventWriterInForce() = Record;
    ReportUpdateOutcome("Alpha", "exit 0", true, "DOMAIN\\user");
    ReportUpdateOutcome("Alpha", "exit 1 (try 1 of 3)", false, "DOMAIN\\user");
    ReportNotRun("Alpha", "update lock unavailable", "DOMAIN\\user");
    ReportHeld("Alpha", "held by policy", "DOMAIN\\user");
    ReportInterrupted("Alpha", "interrupted");
    ReportPolicyIgnored("MaintenanceStart");
    ReportPipeNameTaken();
    ReportRefusal("Alpha", "not due", "DOMAIN\\user");
    ReportServiceState(true);
    ReportServiceState(false);
    EventWriterInForce() = writer;

    const HMODULE table = ::LoadLibraryExA((ProgramDir() + "..\\out\\TesvoService.exe").c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(table, nullptr);
    const std::string docs = ReadFileText(ProgramDir() + "..\\..\\..\\docs\\events.md");
    ASSERT_FALSE(docs.empty());
    std::map<DWORD, WORD> levels;
    for (const Written& event : g_written) {
        const std::string id = std::to_string(event.id);
        EXPECT_TRUE(levels.emplace(event.id, event.type).first->second == event.type) << id << ": one level";
        std::vector<const char*> arguments;
        for (const std::string& text : event.strings)
            arguments.push_back(text.c_str());
        char* message = nullptr;
        const DWORD length = ::FormatMessageA(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, table,
            event.id, 0, reinterpret_cast<char*>(&message), 0,
            reinterpret_cast<va_list*>(const_cast<char**>(arguments.data())));
        ASSERT_NE(length, 0u) << id << ": no message in the service's table";
        for (const std::string& text : event.strings)
            EXPECT_NE(std::string(message).find(text), std::string::npos) << id << ": " << message;
        ::LocalFree(message);
        const std::string row = "| " + id + " | " + LevelName(event.type) + " |";
        EXPECT_NE(docs.find(row), std::string::npos) << row << " in docs/events.md";
    }
    ::FreeLibrary(table);
}
