// Times korvante.dll's RunUpdate of one product in-process and through the
// update service (TesvoService.exe /serve from this program's folder), then
// leaves the service idle and reads its CPU time.
//
//   service_bench.exe [--runs N] [--idle-seconds N]
//   service_bench.exe --exit      (internal) the update command: ends at once
#include "engine/Korvante.h"
#include "protocol/UpdateRequests.h"
#include "tests/support/WineHelpers.h"
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using RunUpdateCall = decltype(&::RunUpdate);

// Milliseconds per RunUpdate over runs updates, and the last outcome.
double TimeUpdates(RunUpdateCall runUpdate, int runs, std::string& outcome)
{
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    char engine[260] = "";
    ::QueryPerformanceCounter(&start);
    for (int i = 0; i < runs; ++i)
        runUpdate("Bench", engine, nullptr, nullptr, 0);
    ::QueryPerformanceCounter(&end);
    outcome = engine;
    return (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart / runs;
}

double CpuMilliseconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1.0;
    const auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 20, idleSeconds = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exit") == 0)
            return 0;
        if (i + 1 < argc && std::strcmp(argv[i], "--runs") == 0)
            runs = std::atoi(argv[++i]);
        else if (i + 1 < argc && std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atoi(argv[++i]);
    }
    const std::string folder = ProgramDir();
    const HMODULE korvante = ::LoadLibraryA((folder + "korvante.dll").c_str());
    const auto runUpdate = reinterpret_cast<RunUpdateCall>(
        reinterpret_cast<void (*)()>(::GetProcAddress(korvante, MAKEINTRESOURCEA(5))));
    if (!runUpdate) {
        std::printf("service: korvante.dll not found beside the bench\n");
        return 1;
    }
    DeleteProductKey();
    RegisterProducts({"Bench"});
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    SetEntryValue("Bench", "UpdateCommand", "\"" + std::string(self) + "\" --exit");

    std::string outcome;
    const double alone = TimeUpdates(runUpdate, runs, outcome);
    std::printf("service: RunUpdate in-process: %.1f ms per update (%d runs, %s)\n", alone, runs, outcome.c_str());

    std::string command = "\"" + folder + "TesvoService.exe\" /serve";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION service{};
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &service) ||
        !WaitUntil([] { return ::WaitNamedPipeA(kUpdatePipeName, 0) != 0; }, 10000)) {
        std::printf("service: TesvoService.exe /serve did not start\n");
        return 1;
    }
    const double served = TimeUpdates(runUpdate, runs, outcome);
    std::printf("service: RunUpdate through the service: %.1f ms per update (%d runs, %s); %+.1f ms per update "
                "(goal: at most +50)\n", served, runs, outcome.c_str(), served - alone);

    // The lines around the idle span let bench/run-all read the kernel's counters too.
    std::printf("service: idle begins\n");
    std::fflush(stdout);
    const double before = CpuMilliseconds(service.hProcess);
    ::Sleep(idleSeconds * 1000);
    const double after = CpuMilliseconds(service.hProcess);
    std::printf("service: idle ends\n");
    std::printf("service: idle CPU of the service: %.3f ms in %d s (goal: 0)\n", after - before, idleSeconds);
    ::TerminateProcess(service.hProcess, 0);
    ::CloseHandle(service.hProcess);
    ::CloseHandle(service.hThread);
    DeleteProductKey();
    return 0;
}
