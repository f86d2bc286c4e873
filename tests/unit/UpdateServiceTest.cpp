// The update service's pipe server on a thread of this program: bad requests
// are refused with nothing written and the server goes on serving; korvante.dll
// asks the server whenever its pipe is there, and works in-process otherwise,
// one update per due time either way.
#include "service/PipeServer.h"
#include "protocol/UpdateRequests.h"
#include "service/CallerIdentity.h"
#include "service/EventLog.h"
#include "tests/unit/KorvanteFixture.h"
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

class UpdateServiceTest : public KorvanteTest {
protected:
    void SetUp() override
    {
        KorvanteTest::SetUp();
        Schedule("Alpha", 1, 600, 0, Now() + kHour);
        SetEntryValue("Alpha", "UpdateCommand", "cmd.exe /c exit 0");
    }
    void TearDown() override
    {
        StopServer();
        ResetIdentityCalls();
        EventWriterInForce() = s_writer;
        DeletePolicies();
        KorvanteTest::TearDown();
    }
    void SkipServer() { GTEST_SKIP() << "a pipe server on a thread of this program: not under 32-bit Wine through qemu"; }
    // False, with the test skipped, where the server cannot run on a thread here.
    bool StartServer()
    {
        // 32-bit Wine under qemu kills a program that serves its own pipe from a
        // thread now and then (the emulator's segmentation fault, at a different
        // request each time); there the same server is run by the 32-bit service
        // in the installer check, in a process of its own.
        if (std::getenv("TESVO_EMULATED_WINE")) {
            SkipServer();
            return false;
        }
        m_thread = ::CreateThread(nullptr, 0, Serve, &m_server, 0, nullptr);
        EXPECT_TRUE(WaitUntil([] { return ::WaitNamedPipeA(kUpdatePipeName, 0) != 0; }, 5000));
        return true;
    }
    static DWORD WINAPI Serve(void* server) { return static_cast<PipeServer*>(server)->Run(); }
    void StopServer()
    {
        if (!m_thread)
            return;
        m_server.Stop();
        EXPECT_EQ(::WaitForSingleObject(m_thread, 10000), WAIT_OBJECT_0);
        ::CloseHandle(m_thread);
        m_thread = nullptr;
    }
    // Sends the bytes as one message; the reply's status and text, or "no reply".
    static std::string Send(const void* bytes, size_t size)
    {
        const HANDLE pipe = ::CreateFileA(kUpdatePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                          nullptr);
        DWORD mode = PIPE_READMODE_MESSAGE, count = 0;
        UpdateReply reply{};
        const bool replied = pipe != INVALID_HANDLE_VALUE && ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) &&
                             ::WriteFile(pipe, bytes, static_cast<DWORD>(size), &count, nullptr) &&
                             ::ReadFile(pipe, &reply, sizeof reply, &count, nullptr) && count == sizeof reply;
        if (pipe != INVALID_HANDLE_VALUE)
            ::CloseHandle(pipe);
        return replied ? std::to_string(reply.status) + " " + reply.text : "no reply";
    }
    static UpdateRequest Request(uint32_t kind, const char* name)
    {
        UpdateRequest request{kRequestMagic, kRequestVersion, kind, 0, 0, 0, 0.0, ""};
        std::strcpy(request.name, name);
        return request;
    }
    // Everything a request could write: the products, their values, the marks.
    static std::string Registry()
    {
        std::string text;
        for (const std::string& entry : RegisteredProducts())
            text += entry + ";";
        for (const char* entry : {"", "Alpha"})
            for (const char* value : {"NextTime", "ScheduleKind", "LastRun", "LastOutcome", "UpdateCommand", "LastBatch"})
                text += ReadEntryString(entry, value) + ";";
        return text;
    }

    void RunOneDueProduct(bool served);
    // The product's command counts its runs in this file.
    std::string CountedCommand(const char* entry)
    {
        const std::string counter = ProgramDir() + "service-runs.txt";
        ::DeleteFileA(counter.c_str());
        SetEntryValue(entry, "UpdateCommand", "cmd.exe /c echo run>> \"" + counter + "\"");
        return counter;
    }
    // The events the service writes, as "name|text|account" lines.
    static void RecordEvent(WORD, DWORD, const char* const* strings, WORD count)
    {
        s_events.push_back(count == 3 ? std::string(strings[0]) + "|" + strings[1] + "|" + strings[2] : "?");
    }

    static inline std::vector<std::string> s_events;
    static inline const EventWriter s_writer = EventWriterInForce();
    PipeServer m_server;
    HANDLE m_thread = nullptr;
};

} // namespace

TEST_F(UpdateServiceTest, BadRequestsAreRefusedWithNothingWrittenAndServingGoesOn)
{
    if (!StartServer())
        return;
    struct Case {
        const char* what;
        UpdateRequest request;
        size_t size;
        const char* reply;
    };
    std::vector<Case> cases = {
        {"a name that is no product", Request(kRunUpdate, "Ghost"), sizeof(UpdateRequest), "2 no entry"},
        {"the default entry's update", Request(kRunUpdate, ""), sizeof(UpdateRequest), "2 no entry"},
        {"a backslash", Request(kSetNextTime, "Alpha\\..\\Beta"), sizeof(UpdateRequest), "2 bad name"},
        {"dots", Request(kStoreSchedule, ".."), sizeof(UpdateRequest), "2 bad name"},
        {"a name without its end", Request(kRunUpdate, ""), sizeof(UpdateRequest), "2 bad name"},
        {"truncated", Request(kRunUpdate, "Alpha"), sizeof(UpdateRequest) - 1, "2 truncated request"},
        {"another magic", Request(kRunUpdate, "Alpha"), sizeof(UpdateRequest), "2 unknown request format"},
        {"another version", Request(kRunUpdate, "Alpha"), sizeof(UpdateRequest), "2 unknown request format"},
        {"a kind that would set UpdateCommand", Request(6, "Alpha"), sizeof(UpdateRequest), "2 unknown request"},
        {"a field the kind does not use", Request(kRunUpdate, "Alpha"), sizeof(UpdateRequest), "2 bad schedule"},
        {"a time that is none", Request(kSetNextTime, "Alpha"), sizeof(UpdateRequest), "2 bad time"},
        {"a schedule the dialog cannot set", Request(kStoreSchedule, "Alpha"), sizeof(UpdateRequest), "2 bad schedule"},
        {"a name on a request without one", Request(kEndRun, "Alpha"), sizeof(UpdateRequest), "2 bad name"},
    };
    std::memset(cases[4].request.name, 'n', kRequestNameSize);
    cases[6].request.magic ^= 1;
    cases[7].request.version = 2;
    cases[9].request.a = 1;
    cases[10].request.time = std::nan("");
    cases[11].request.scheduleKind = 9;
    char random[sizeof(UpdateRequest) * 4];
    for (size_t i = 0; i < sizeof random; ++i)
        random[i] = static_cast<char>(i * 2654435761u >> 13);
    const std::string before = Registry();
    for (const Case& c : cases)
        EXPECT_EQ(Send(&c.request, c.size), c.reply) << c.what;
    EXPECT_EQ(Send(random, sizeof(UpdateRequest)), "2 unknown request format") << "random bytes";
    EXPECT_EQ(Send(random, sizeof random), "2 oversized request") << "oversized";
    EXPECT_EQ(Registry(), before);
    EXPECT_EQ(m_server.Answered(), static_cast<LONG>(cases.size() + 2));
    UpdateRequest good = Request(kSetNextTime, "Alpha");
    good.time = Now() + 2 * kHour;
    EXPECT_EQ(Send(&good, sizeof good), "0 ");
    EXPECT_EQ(NextText("Alpha"), Text(std::floor(good.time * 86400.0 + 0.5) / 86400.0));
}

// The agent's run of one due product: through the server when it is there,
// in-process when not, with the same result in the key. A second session's
// agent that saw the same due time and asks after the first is done runs nothing.
void UpdateServiceTest::RunOneDueProduct(bool served)
{
    const std::string counter = CountedCommand("Alpha");
    Schedule("Alpha", 1, 600, 0, Now() - kMinute);
    if (served && !StartServer())
        return;
    EXPECT_EQ(RunDue({"Alpha"}), " Alpha");
    // RunUpdate (which moves the time on), RefreshCatalog, EndBatch's mark, the default entry's SetNextTime.
    EXPECT_EQ(m_server.Answered(), served ? 4 : 0);
    EXPECT_EQ(ReadEntryString("Alpha", "LastOutcome"), "exit 0");
    EXPECT_GT(NextText("Alpha"), Text(Now()));
    EXPECT_FALSE(ReadEntryString("", "LastBatch").empty());
    char engine[260] = "";
    EXPECT_EQ(RunUpdate("Alpha", engine, nullptr, nullptr, 0), 0);
    EXPECT_STREQ(engine, "already run");
    EXPECT_EQ(CountLines(counter, "run"), 1u);
    ::DeleteFileA(counter.c_str());
}

TEST_F(UpdateServiceTest, TheLibraryAsksTheServerWhenItIsThere)
{
    RunOneDueProduct(true);
}

TEST_F(UpdateServiceTest, WithoutTheServerTheLibraryWorksInProcess)
{
    RunOneDueProduct(false);
}

// A standard user's agent with no service: nothing can run or be recorded, and
// the product stays due, for the agent's retry spacing to try again.
TEST_F(UpdateServiceTest, WithoutServiceOrRightsNothingRunsAndTheProductStaysDue)
{
    const std::string journal = ProgramDir() + "service-journal.txt";
    const double past = Now() - 3 * kMinute;
    Schedule("Alpha", 1, 600, 0, past);
    ::DeleteFileA(journal.c_str());
    ::SetEnvironmentVariableA("KORVANTE_JOURNAL", journal.c_str());
    {
        ProductKeyAccess readOnly("D:P(A;;KR;;;WD)", "Alpha");
        ProductKeyAccess readOnlyKey("D:P(A;;KR;;;WD)");
        ASSERT_TRUE(readOnly.Applied() && readOnlyKey.Applied());
        EXPECT_EQ(RunDue({"Alpha"}), " Alpha");
        int due = 0;
        EXPECT_EQ(NextText("Alpha", &due), Text(past));
        EXPECT_EQ(due, 1);
    }
    ::SetEnvironmentVariableA("KORVANTE_JOURNAL", nullptr);
    EXPECT_EQ(CountLines(journal, "service unavailable \"Alpha\""), 1u);
    EXPECT_EQ(ReadEntryString("Alpha", "LastRun") + NextText("Alpha"), Text(past));
    ::DeleteFileA(journal.c_str());
}

namespace {

// A program that holds the pipe's name and drops every request unanswered.
DWORD WINAPI DropRequests(void* stop)
{
    while (::WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
        const HANDLE pipe = ::CreateNamedPipeA(kUpdatePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                               1, 4096, 4096, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
            return 1;
        char request[sizeof(UpdateRequest)];
        DWORD got = 0;
        if (::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED)
            ::ReadFile(pipe, request, sizeof request, &got, nullptr);
        ::CloseHandle(pipe);
    }
    return 0;
}

} // namespace

// A one-off whose request got no answer keeps its time, even after the run's end.
TEST_F(UpdateServiceTest, AnUnansweredRequestLeavesAOneOffDue)
{
    if (std::getenv("TESVO_EMULATED_WINE"))
        return SkipServer();
    const double past = Now() - 3 * kMinute;
    Schedule("Once", 3, 600, 0, past);
    const std::string counter = CountedCommand("Once");
    const HANDLE stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE thread = ::CreateThread(nullptr, 0, DropRequests, stop, 0, nullptr);
    ASSERT_TRUE(WaitUntil([] { return ::WaitNamedPipeA(kUpdatePipeName, 0) != 0; }, 5000));
    EXPECT_EQ(RunDue({"Once"}), " Once");
    ::SetEvent(stop);
    // A last client ends its wait for one.
    EXPECT_TRUE(WaitUntil([thread] {
        ::CloseHandle(::CreateFileA(kUpdatePipeName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return ::WaitForSingleObject(thread, 50) == WAIT_OBJECT_0;
    }, 5000));
    ::CloseHandle(thread);
    ::CloseHandle(stop);
    for (int start = 0; start < 2; ++start) {   // as the agent sees it, and after a new start
        int due = 0;
        EXPECT_EQ(NextText("Once", &due), Text(past));
        EXPECT_EQ(due, 1);
        Reload();
    }
    EXPECT_EQ(ReadEntryString("Once", "LastOutcome").rfind("service ", 0), 0u) << "did not answer, or not trusted";
    EXPECT_EQ(CountLines(counter, "run"), 0u);
}

namespace {

BOOL WINAPI NotAnAdministrator(HANDLE, PSID, BOOL* member)
{
    *member = FALSE;
    return TRUE;
}

} // namespace

// A standard user's program asks the service directly: nothing it asks runs a
// product that is not due, or passes one that is, and each refusal is logged
// with its account. The user's agent then updates the due product as always.
TEST_F(UpdateServiceTest, AStandardUserCanNeitherRunAnUpdateEarlyNorPassOne)
{
    const std::string counter = CountedCommand("Alpha");
    const double inAnHour = Now() + kHour;
    Schedule("Alpha", 1, 600, 0, inAnHour);
    Identity().checkTokenMembership = NotAnAdministrator;
    EventWriterInForce() = RecordEvent;
    s_events.clear();
    if (!StartServer())
        return;
    char engine[260] = "";
    COleDateTime due;
    for (int ask = 0; ask < 3; ++ask) {
        if (ask)   // with the due time seen, and first without any
            GetDueTime("Alpha", &due);
        EXPECT_EQ(RunUpdate("Alpha", engine, nullptr, nullptr, 0), 0);
    }
    EXPECT_EQ(SetNextTime("Alpha", COleDateTime(Now())) + SetNextTime("Alpha", COleDateTime(0.0)), 0);
    EXPECT_EQ(RunUpdate("Alpha", engine, nullptr, nullptr, 0), 0);
    EXPECT_EQ(NextText("Alpha"), Text(inAnHour));

    const double past = Now() - kMinute;
    SetEntryValue("Alpha", "NextTime", Text(past));
    for (int pair = 0; pair < 3; ++pair) {
        BeginBatch();
        EndBatch();
    }
    int stillDue = 0;
    EXPECT_EQ(NextText("Alpha", &stillDue), Text(past));
    EXPECT_EQ(stillDue, 1);
    EXPECT_EQ(CountLines(counter, "run"), 0u);
    EXPECT_EQ(RunDue({"Alpha"}), " Alpha");
    EXPECT_EQ(CountLines(counter, "run"), 1u);
    EXPECT_GT(NextText("Alpha"), Text(Now()));

    char user[256];
    DWORD size = sizeof user;
    ::GetUserNameA(user, &size);
    ASSERT_EQ(s_events.size(), 7u) << "six refusals and the update";
    for (const std::string& event : s_events)
        EXPECT_EQ(event.substr(event.size() - size), std::string("\\") + user) << event;
    EXPECT_EQ(s_events.back().substr(0, 12), "Alpha|exit 0");

    // Schedules an administrator manages are not a standard user's to change.
    UpdateRequest schedule = Request(kStoreSchedule, "Alpha");
    schedule.scheduleKind = 1;
    schedule.a = 450;
    SetPolicyValue("LockSchedules", 1u);
    EXPECT_EQ(Send(&schedule, sizeof schedule), "2 a schedule the administrator manages");
    SetPolicyValue("LockSchedules", 0u);
    EXPECT_EQ(Send(&schedule, sizeof schedule), "0 ");

    // An administrator may still run it when it is not due.
    ResetIdentityCalls();
    Reload();
    EXPECT_EQ(RunUpdate("Alpha", engine, nullptr, nullptr, 0), 1);
    EXPECT_EQ(CountLines(counter, "run"), 2u);
}

namespace {

// The client's token as the agent's pipe open gives it: at identification level.
// Such a token cannot open itself for the client: it must be opened as the
// service. Wine does not model levels, so these play the rule.
HANDLE g_clientToken = nullptr;

BOOL WINAPI ImpersonateAtIdentification(HANDLE)
{
    return ::SetThreadToken(nullptr, g_clientToken);
}

BOOL WINAPI CannotImpersonate(HANDLE)
{
    ::SetLastError(ERROR_CANNOT_IMPERSONATE);
    return FALSE;
}

BOOL WINAPI OpenAtIdentificationLevel(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE* token)
{
    if (!openAsSelf) {
        ::SetLastError(ERROR_BAD_IMPERSONATION_LEVEL);
        return FALSE;
    }
    return ::OpenThreadToken(thread, access, openAsSelf, token);
}

BOOL WINAPI ThisProcess(HANDLE, ULONG* id)
{
    *id = ::GetCurrentProcessId();
    return TRUE;
}

BOOL WINAPI NoProcess(HANDLE, ULONG*)
{
    return FALSE;
}

HANDLE IdentificationToken(HANDLE token)
{
    HANDLE copy = nullptr;
    EXPECT_TRUE(::DuplicateToken(token, SecurityIdentification, &copy));
    return copy;
}

} // namespace

TEST(CallerIdentityTest, TheServiceTellsAdministratorsFromOthersAtIdentificationLevel)
{
    HANDLE process = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, &process));
    const HANDLE restricted = StandardUserToken();
    ASSERT_NE(restricted, nullptr);
    const HANDLE admin = IdentificationToken(process), user = IdentificationToken(restricted);
    char name[256];
    DWORD size = sizeof name;
    ::GetUserNameA(name, &size);
    const auto checkMembership = Identity().checkTokenMembership;
    using ProcessId = BOOL(WINAPI*)(HANDLE, ULONG*);
    const struct {
        const char* what;
        HANDLE token;
        bool membershipCall, impersonated;
        ProcessId process;   // null: before Vista
        bool admin;
    } cases[] = {
        {"an administrator", admin, true, true, ThisProcess, true},
        {"a standard user", user, true, true, ThisProcess, false},
        {"an administrator, before Vista", admin, true, true, nullptr, true},
        {"an administrator, before 2000", admin, false, true, nullptr, true},
        {"a standard user, before 2000", user, false, true, nullptr, false},
        {"a client that cannot be impersonated", admin, true, false, ThisProcess, false},
        {"a client whose process is not named", admin, true, true, NoProcess, false},
    };
    for (const auto& c : cases) {
        g_clientToken = c.token;
        Identity().impersonateClient = c.impersonated ? ImpersonateAtIdentification : CannotImpersonate;
        Identity().openThreadToken = OpenAtIdentificationLevel;
        Identity().checkTokenMembership = c.membershipCall ? checkMembership : nullptr;
        Identity().clientProcessId = c.process;
        const Caller caller = IdentifyCaller(nullptr);
        EXPECT_EQ(caller.admin, c.admin) << c.what;
        const std::string account = caller.account;
        EXPECT_EQ(account.substr(account.find('\\') + 1), c.impersonated ? name : "unknown") << c.what;
        HANDLE left = nullptr;
        EXPECT_FALSE(::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &left)) << c.what << ": reverted";
    }
    ResetIdentityCalls();
    for (HANDLE token : {process, restricted, admin, user})
        ::CloseHandle(token);
}
