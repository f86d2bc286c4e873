// The update service's boundary, in-process: the agent's client tells the real
// service from a program holding the pipe's name, the server keeps its name and
// its place for every program, and the update lock keeps standard users out.
// What Wine does not play (impersonation levels, pipe owners, NT 4's pipes)
// comes through SystemCalls entries.
#include "korvante/ServiceClient.h"
#include "korvante/SystemCalls.h"
#include "service/PipeServer.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <sddl.h>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Holds the pipe's name with one instance, takes one client and counts what it
// sends; replies with a well-formed "done" when asked to, else nothing.
class NameHolder {
public:
    explicit NameHolder(bool replies, DWORD maxInstances = 1, bool firstInstance = true) : m_replies(replies)
    {
        m_pipe = ::CreateNamedPipeA(kUpdatePipeName,
                                    PIPE_ACCESS_DUPLEX | (firstInstance ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, maxInstances, 4096, 4096, 0,
                                    nullptr);
    }
    ~NameHolder()
    {
        Join();
        Release();
    }
    void Join()
    {
        if (m_thread) {
            ::WaitForSingleObject(m_thread, 10000);
            ::CloseHandle(m_thread);
        }
        m_thread = nullptr;
    }
    bool Holds() const { return m_pipe != INVALID_HANDLE_VALUE; }
    void Release()
    {
        if (m_pipe != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_pipe);
        m_pipe = INVALID_HANDLE_VALUE;
    }
    void Serve() { m_thread = ::CreateThread(nullptr, 0, ServeOne, this, 0, nullptr); }
    // The pipe's instances as the system counts them.
    DWORD Instances() const
    {
        DWORD current = 0;
        return ::GetNamedPipeHandleStateA(m_pipe, nullptr, &current, nullptr, nullptr, nullptr, 0) ? current : 0;
    }
    LONG Received() const { return m_received; }

private:
    static DWORD WINAPI ServeOne(void* self) { return static_cast<NameHolder*>(self)->ServeOne(); }
    DWORD ServeOne()
    {
        char message[1024];
        DWORD got = 0, put = 0;
        // Each call waits for the client: its connect, its request, its close.
        ::ConnectNamedPipe(m_pipe, nullptr);
        if (::ReadFile(m_pipe, message, sizeof message, &got, nullptr) && m_replies) {
            UpdateReply reply{kReplyMagic, kRequestVersion, kDone, 1, "exit 0"};
            ::WriteFile(m_pipe, &reply, sizeof reply, &put, nullptr);
        }
        m_received = static_cast<LONG>(got);
        ::ReadFile(m_pipe, message, sizeof message, &got, nullptr);
        return 0;
    }

    HANDLE m_pipe;
    HANDLE m_thread = nullptr;
    bool m_replies;
    volatile LONG m_received = 0;
};

DWORD g_openFlags = 0;
ULONG g_serverProcess = 0;
const BYTE* g_owner = nullptr;   // a SID, or null: no owner (as Wine answers)
DWORD g_clientProcess = 0;

HANDLE WINAPI OpenRecordingFlags(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* attributes,
                                 DWORD disposition, DWORD flags, HANDLE model)
{
    g_openFlags = flags;
    return ::CreateFileA(name, access, share, attributes, disposition, flags, model);
}
BOOL WINAPI ServerIs(HANDLE, ULONG* processId) { return *processId = g_serverProcess, TRUE; }
BOOL WINAPI ClientIs(HANDLE, ULONG* processId) { return *processId = g_clientProcess, TRUE; }
// A self-relative descriptor holding only g_owner.
BOOL WINAPI OwnerIs(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor, DWORD size, DWORD* needed)
{
    auto* relative = static_cast<SECURITY_DESCRIPTOR_RELATIVE*>(descriptor);
    const DWORD ownerSize = g_owner ? 8 + 4 * g_owner[1] : 0;
    *needed = sizeof *relative + ownerSize;
    if (size < *needed)
        return (::SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE);
    *relative = SECURITY_DESCRIPTOR_RELATIVE{SECURITY_DESCRIPTOR_REVISION, 0, SE_SELF_RELATIVE, 0, 0, 0, 0};
    if (g_owner) {
        relative->Owner = sizeof *relative;
        std::memcpy(relative + 1, g_owner, ownerSize);
    }
    return TRUE;
}

const BYTE kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const BYTE kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
const BYTE kAUser[] = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xE9, 3, 0, 0};

const char* AnswerName(ServiceAnswer answer)
{
    const char* names[] = {"absent", "answered", "not trusted", "no answer"};
    return names[static_cast<int>(answer)];
}

class ServiceBoundaryTest : public ::testing::Test {
protected:
    void TearDown() override { ResetSystemCalls(); }
    static bool Emulated() { return std::getenv("TESVO_EMULATED_WINE") != nullptr; }
};

} // namespace

// Which servers the agent believes, and what it sends the others: nothing.
TEST_F(ServiceBoundaryTest, TheAgentTalksOnlyToTheRealService)
{
    if (Emulated())
        GTEST_SKIP() << "a pipe served on a thread of this program: not under 32-bit Wine through qemu";
    const ULONG self = ::GetCurrentProcessId(), stranger = self + 4;
    struct Case {
        const char* what;
        bool vista;           // the system tells the pipe's server process
        ULONG server;         // Vista: the process it names
        const BYTE* owner;    // before Vista: the pipe's owner
        bool replies;
        const char* expected;   // answer, reply text, bytes the server received
    } const cases[] = {
        {"a server that is not the service's process", true, stranger, nullptr, true, "not trusted|service not trusted|0"},
        {"the service's process, answering", true, self, nullptr, true, "answered|exit 0|288"},
        {"the service's process, silent", true, self, nullptr, false, "no answer|service did not answer|288"},
        {"NT 4: a pipe a user owns", false, 0, kAUser, true, "not trusted|service not trusted|0"},
        {"NT 4: a pipe without an owner", false, 0, nullptr, true, "not trusted|service not trusted|0"},
        {"NT 4: a pipe SYSTEM owns", false, 0, kSystem, true, "answered|exit 0|288"},
        {"2000: a pipe Administrators own", false, 0, kAdministrators, true, "answered|exit 0|288"},
    };
        for (const Case& test : cases) {
        SystemCalls& calls = System();
        calls.createFile = OpenRecordingFlags;
        calls.getKernelObjectSecurity = OwnerIs;
        calls.getNamedPipeServerProcessId = test.vista ? ServerIs : nullptr;
        if (!test.vista)
            calls.major = 5, calls.minor = 0;
        g_serverProcess = test.server, g_owner = test.owner, g_openFlags = 0;
        UpdateReply reply{};
        ServiceAnswer answer;
        DWORD took;
        LONG received;
        {
            NameHolder holder(test.replies);
            ASSERT_TRUE(holder.Holds()) << test.what;
            holder.Serve();
            const DWORD start = ::GetTickCount();
            answer = AskUpdateService(NewRequest(kEndRun), reply, 1000);
            took = ::GetTickCount() - start;
            holder.Join();
            received = holder.Received();
        }
        EXPECT_EQ(std::string(AnswerName(answer)) + "|" + reply.text + "|" + std::to_string(received), test.expected)
            << test.what;
        EXPECT_EQ(g_openFlags & (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION | SECURITY_EFFECTIVE_ONLY),
                  static_cast<DWORD>(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION))
            << test.what;
        EXPECT_LT(took, 3000u) << test.what << ": the reply's wait has its limit";
        ResetSystemCalls();
    }
}

namespace {

// A client of the pipe sending three bytes: the reply's text, or "no reply";
// ms receives how long it took, a busy pipe's wait included.
std::string AskRaw(DWORD& ms)
{
    const DWORD start = ::GetTickCount();
    HANDLE pipe = ::CreateFileA(kUpdatePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY && ::WaitNamedPipeA(kUpdatePipeName, 8000))
        pipe = ::CreateFileA(kUpdatePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = PIPE_READMODE_MESSAGE, count = 0;
    UpdateReply reply{};
    const bool replied = pipe != INVALID_HANDLE_VALUE && ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) &&
                         ::WriteFile(pipe, "abc", 3, &count, nullptr) &&
                         ::ReadFile(pipe, &reply, sizeof reply, &count, nullptr) && count == sizeof reply;
    if (pipe != INVALID_HANDLE_VALUE)
        ::CloseHandle(pipe);
    ms = ::GetTickCount() - start;
    return replied ? reply.text : "no reply";
}

class ServerThread {
public:
    ServerThread() : m_thread(::CreateThread(nullptr, 0, Run, &m_server, 0, nullptr)) {}
    ~ServerThread()
    {
        m_server.Stop();
        ::WaitForSingleObject(m_thread, 40000);
        ::CloseHandle(m_thread);
    }
    bool Running() const { return ::WaitForSingleObject(m_thread, 0) == WAIT_TIMEOUT; }

private:
    static DWORD WINAPI Run(void* server) { return static_cast<PipeServer*>(server)->Run(); }
    PipeServer m_server;
    HANDLE m_thread;
};

} // namespace

// Another program holding the name at start: the server does not add itself to
// that program's pipe, says so, and takes the name once it is free.
TEST_F(ServiceBoundaryTest, TheServiceKeepsItsName)
{
    if (Emulated())
        GTEST_SKIP() << "a pipe served on a thread of this program: not under 32-bit Wine through qemu";
    struct Case {
        const char* what;
        DWORD major;           // the system played: 4 knows no first-instance flag
        bool firstInstance;    // how the holder made its pipe
    } const cases[] = {
        {"2000 and later: the first instance fails", 6, true},
        {"NT 4: an instance of another program's pipe is refused", 4, false},
    };
    for (const Case& test : cases) {
        System().major = test.major;
        NameHolder holder(false, 32, test.firstInstance);
        ASSERT_TRUE(holder.Holds()) << test.what;
        {
            ServerThread server;
            ::Sleep(700);
            EXPECT_TRUE(server.Running()) << test.what << ": it keeps trying";
            EXPECT_EQ(holder.Instances(), 1u) << test.what << ": no instance of ours in the holder's pipe";
            holder.Release();
            DWORD ms = 0;
            EXPECT_TRUE(WaitUntil([] { return ::WaitNamedPipeA(kUpdatePipeName, 0) != 0; }, 8000)) << test.what;
            EXPECT_EQ(AskRaw(ms), "truncated request") << test.what << ": served once the name is free";
        }
        ResetSystemCalls();
    }
}

// One program's idle connections, sixteen of them, leave room for another's request.
TEST_F(ServiceBoundaryTest, OneProgramCannotHoldUpAnothers)
{
    if (Emulated())
        GTEST_SKIP() << "a pipe served on a thread of this program: not under 32-bit Wine through qemu";
    System().getNamedPipeClientProcessId = ClientIs;
    g_clientProcess = 1111;
    ServerThread server;
    ASSERT_TRUE(WaitUntil([] { return ::WaitNamedPipeA(kUpdatePipeName, 0) != 0; }, 5000));
    HANDLE idle[16];
    // Each as soon as the server has its next instance up.
    for (HANDLE& connection : idle)
        for (int wait = 0; wait < 4; ++wait) {
            connection = ::CreateFileA(kUpdatePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr);
            if (connection != INVALID_HANDLE_VALUE)
                break;
            ::Sleep(50);
        }
    ::Sleep(300);   // the server has seen them all
    g_clientProcess = 2222;
    DWORD ms = 0;
    EXPECT_EQ(AskRaw(ms), "truncated request");
    EXPECT_LT(ms, 2000u) << "served before the idle connections' time ran out";
    for (HANDLE connection : idle)
        if (connection != INVALID_HANDLE_VALUE)
            ::CloseHandle(connection);
}

// The update lock: administrators and SYSTEM only. Wine opens a named object
// whatever its list says, so the list itself is read: no entry a standard
// user's program could open it by (it had Everyone's wait and release).
TEST_F(ServiceBoundaryTest, OnlyAdministratorsAndSystemMayOpenTheUpdateLock)
{
    const HANDLE lock = CreateMachineMutex("TesvoLockRightsTest");
    ASSERT_NE(lock, nullptr);
    alignas(8) BYTE descriptor[1024];
    DWORD needed = 0;
    char* text = nullptr;
    ASSERT_TRUE(::GetKernelObjectSecurity(lock, DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor, &needed));
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                       DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_STREQ(text, "D:(A;;0x1f0001;;;BA)(A;;0x1f0001;;;SY)");
    ::LocalFree(text);
    ::CloseHandle(lock);
}
