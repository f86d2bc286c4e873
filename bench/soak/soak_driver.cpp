// Soak: the agent runs many due-update runs back to back through the update
// library, each with products due and the catalog refreshed; its handle, GDI
// and USER object counts and its memory are compared before and after, and the
// registry must hold exactly the expected products.
//
//   soak_driver.exe [--runs N] [--no-command] FOLDER
// FOLDER holds Tesvo.exe, korvante.dll and Tesvo.cfg; the agent is started from
// there with the journal on. Each run: the due products' next time is set just
// past, and WM_TIMER (id 0) is sent to the agent window, which returns when the
// run is over. A run passes every time before its start, to the second, so runs
// go at most one a second. --no-command leaves the products without an update
// command (no process is started per run).
//
// Handles are counted from the system's handle list (GetProcessHandleCount
// says 0 for another process under Wine); GDI and USER counts come from
// GetGuiResources, which Wine does not implement: they read n/a there.
//
// The update command is soak_job.exe from FOLDER.
#include "bench/startup/BenchChild.h"
#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const char* const kDueProducts[] = {"Soak Alpha", "Soak Beta"};
const char* const kIdleProducts[] = {"Soak Gamma"};
const char kCatalogOnly[] = "Soak Delta";   // comes in through the catalog
constexpr int kWarmupRuns = 5;

BOOL CALLBACK CountWindow(HWND window, LPARAM param)
{
    auto counter = reinterpret_cast<std::pair<DWORD, size_t>*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == counter->first)
        ++counter->second;
    return TRUE;
}

// The process's open handles, from the system-wide handle list; falls back on
// GetProcessHandleCount.
DWORD HandleCount(const PROCESS_INFORMATION& process)
{
    struct Entry {
        ULONG processId;
        BYTE type, flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    constexpr ULONG kSystemHandleInformation = 16;
    for (ULONG size = 1 << 20; query && size <= (1u << 26); size *= 2) {
        std::vector<BYTE> buffer(size);
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), size, &needed);
        if (status == static_cast<LONG>(0xC0000004)) // STATUS_INFO_LENGTH_MISMATCH
            continue;
        if (status != 0)
            break;
        const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
        const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
        DWORD mine = 0;
        for (ULONG i = 0; i < count; ++i)
            mine += entries[i].processId == process.dwProcessId;
        return mine;
    }
    DWORD handles = 0;
    ::GetProcessHandleCount(process.hProcess, &handles);
    return handles;
}

struct Snapshot {
    DWORD handles = 0, gdi = 0, user = 0;
    size_t windows = 0;
    SIZE_T committed = 0, workingSet = 0;
};

Snapshot Take(const PROCESS_INFORMATION& process)
{
    Snapshot s;
    s.handles = HandleCount(process);
    s.gdi = ::GetGuiResources(process.hProcess, GR_GDIOBJECTS);
    s.user = ::GetGuiResources(process.hProcess, GR_USEROBJECTS);
    std::pair<DWORD, size_t> counter{process.dwProcessId, 0};
    ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&counter));
    s.windows = counter.second;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                               sizeof memory)) {
        // PrivateUsage is left 0 by Wine; PagefileUsage is the same commit charge.
        s.committed = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        s.workingSet = memory.WorkingSetSize;
    }
    return s;
}

void Print(const char* what, const Snapshot& before, const Snapshot& after, bool guiCounted)
{
    auto row = [](const char* name, long long a, long long b, const char* unit) {
        std::printf("soak %-18s before %10lld  after %10lld  change %+lld%s\n", name, a, b, b - a, unit);
    };
    std::printf("soak figures %s\n", what);
    row("handles", before.handles, after.handles, "");
    if (guiCounted) {
        row("GDI objects", before.gdi, after.gdi, "");
        row("USER objects", before.user, after.user, "");
    } else {
        std::printf("soak GDI and USER objects: n/a (GetGuiResources reports none here)\n");
    }
    row("top-level windows", static_cast<long long>(before.windows), static_cast<long long>(after.windows), "");
    row("committed KiB", static_cast<long long>(before.committed / 1024),
        static_cast<long long>(after.committed / 1024), " KiB");
    row("working set KiB", static_cast<long long>(before.workingSet / 1024),
        static_cast<long long>(after.workingSet / 1024), " KiB");
}

// Seconds on the system clock, whole.
ULONGLONG NowSeconds()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000000ull;
}

// One due-update run; false when the agent did not answer. The products' time
// is the second before now, and must not be before the last run's start, which
// would pass it: so a run waits for the clock to pass the second in which the
// one before it ended.
double g_agentMs = 0;   // time spent inside the runs

bool RunOnce(HWND agent, ULONGLONG& lastEnded)
{
    WaitUntil([&] { return NowSeconds() > lastEnded; }, 5000);
    const std::string past = LocalTimeText(-1);
    for (const char* name : kDueProducts)
        SetEntryValue(name, "NextTime", past);
    DWORD_PTR result = 0;
    LARGE_INTEGER sent, back;
    ::QueryPerformanceCounter(&sent);
    const bool answered = ::SendMessageTimeoutA(agent, WM_TIMER, 0, 0, SMTO_NORMAL, 300000, &result) != 0;
    ::QueryPerformanceCounter(&back);
    g_agentMs += Milliseconds(sent, back);
    lastEnded = NowSeconds();
    return answered;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 300;
    bool withCommand = true;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-command"))
            withCommand = false;
        else
            folder = argv[i];
    }
    if (folder.empty() || runs < 1) {
        std::fprintf(stderr, "usage: soak_driver [--runs N] [--no-command] FOLDER\n");
        return 2;
    }
    if (folder.back() != '\\')
        folder += '\\';

    // The products: two due every run, one never due, one only in the catalog.
    DeleteProductKey();
    const std::string source = folder + "soak-catalog-source.txt";
    std::string catalog;
    for (const char* name : kDueProducts)
        catalog += std::string(name) + "\r\n";
    for (const char* name : kIdleProducts)
        catalog += std::string(name) + "\r\n";
    WriteFileText(source, catalog + kCatalogOnly + "\r\n");
    SetEntryValue("", "CatalogSource", source);
    for (const char* name : kDueProducts) {
        SetEntryValue(name, "ScheduleKind", DWORD{1});   // daily: moved on after each run
        SetEntryValue(name, "ScheduleA", DWORD{0});
    }
    if (withCommand)
        SetEntryValue(kDueProducts[0], "UpdateCommand", "\"" + folder + "soak_job.exe\"");
    for (const char* name : kIdleProducts)
        SetEntryValue(name, "ScheduleKind", DWORD{0});

    const std::string journal = folder + "soak-journal.txt";
    ::DeleteFileA(journal.c_str());
    ::SetEnvironmentVariableA("KORVANTE_JOURNAL", journal.c_str());

    // We stand in for the notification area: Wine's own takes about a second
    // for each icon the agent deletes and adds, which would swamp the runs.
    FakeTray tray;
    PROCESS_INFORMATION process{};
    if (!StartChild(folder + "Tesvo.exe", process)) {
        std::printf("soak: could not start the agent\n");
        return 1;
    }
    HWND agent = nullptr;
    WaitUntil(
        [&] {
            agent = FindProcessWindow(process.dwProcessId, "#32770");
            return (agent && FindProcessWindow(process.dwProcessId, "Tesvo")) ||
                   ::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
        },
        300000);
    if (!agent) {
        std::printf("soak: the agent window did not appear\n");
        EndChild(process, nullptr, 10000);
        return 1;
    }
    // Let start-up settle, then the first runs, which load what later runs reuse.
    PumpMessages(1000);
    ULONGLONG lastEnded = 0;
    for (int i = 0; i < kWarmupRuns; ++i)
        RunOnce(agent, lastEnded);
    g_agentMs = 0;
    const Snapshot before = Take(process);

    LARGE_INTEGER started, ended;
    ::QueryPerformanceCounter(&started);
    int answered = 0;
    for (int i = 0; i < runs; ++i) {
        answered += RunOnce(agent, lastEnded);
        if ((i + 1) % 100 == 0) {
            std::printf("soak: %d runs\n", i + 1);
            std::fflush(stdout);
        }
    }
    ::QueryPerformanceCounter(&ended);
    const Snapshot after = Take(process);

    const size_t batches = CountLines(journal, "BeginBatch");
    const size_t updates = CountLines(journal, "RunUpdate ");
    const size_t refreshes = CountLines(journal, "RefreshCatalog ");
    const int total = runs + kWarmupRuns;
    std::printf("soak: %d runs answered of %d, %.1f ms per run, %.1f ms of it in the agent\n", answered, runs,
                Milliseconds(started, ended) / runs, g_agentMs / runs);
    std::printf("soak journal: %u runs, %u updates, %u catalog refreshes (expected %d, %d, %d)\n",
                static_cast<unsigned>(batches), static_cast<unsigned>(updates), static_cast<unsigned>(refreshes),
                total, total * 2, total);
    // GetGuiResources of our own process while it has a window: 0 means the
    // call is not implemented here.
    HWND probe = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    const bool guiCounted = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS) != 0;
    if (probe)
        ::DestroyWindow(probe);
    Print("(after warm-up, after the runs)", before, after, guiCounted);

    std::set<std::string> expected;
    for (const char* name : kDueProducts)
        expected.insert(name);
    for (const char* name : kIdleProducts)
        expected.insert(name);
    expected.insert(kCatalogOnly);
    const std::vector<std::string> products = RegisteredProducts();
    const std::set<std::string> found(products.begin(), products.end());
    std::printf("soak registry: %u product keys, %s\n", static_cast<unsigned>(found.size()),
                found == expected ? "exactly the expected ones" : "NOT the expected ones");
    for (const std::string& name : found)
        std::printf("soak registry key: %s\n", name.c_str());
    if (withCommand)
        std::printf("soak last outcome of %s: %s\n", kDueProducts[0], ReadEntryString(kDueProducts[0], "LastOutcome").c_str());

    const bool running = ::WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
    EndChild(process, nullptr, 60000);
    std::printf("soak: agent %s through the runs\n", running ? "kept running" : "ENDED");
    return 0;
}
