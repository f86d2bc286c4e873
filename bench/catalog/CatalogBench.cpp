// Times the product list's file reading and registry store against plain code
// doing the same work in the same process, and reports the peak memory of
// loading catalogs of two sizes, each in a fresh process. The registry part
// deletes and rewrites HKLM\SOFTWARE\Morvane.
//
//   catalog_bench.exe            all measurements
//   catalog_bench.exe memory N   (internal) load N names and print the peaks
#include "catalog/ProductList.h"
#include <psapi.h>
#include <shlwapi.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kLoadNames = 100000;
constexpr int kSaveNames = 10000;

std::string CatalogPath(int names)
{
    char folder[MAX_PATH];
    ::GetTempPathA(sizeof folder, folder);
    return std::string(folder) + "tesvo-bench-" + std::to_string(names) + ".cfg";
}

// Names of 8 to 60 characters, CR LF endings as a Windows editor writes them.
size_t WriteCatalog(int names)
{
    std::string text;
    unsigned seed = 12345;
    for (int i = 0; i < names; ++i) {
        seed = seed * 1103515245 + 12345;
        char name[80];
        const int extra = static_cast<int>((seed >> 16) % 48);
        snprintf(name, sizeof name, "Product %06d %.*s", i, extra, "Suite Editor Viewer Toolkit Reader Writer Agent Demo");
        text += name;
        text += "\r\n";
    }
    FILE* file = fopen(CatalogPath(names).c_str(), "wb");
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
    return text.size();
}

double Now()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Run times of one contender. The machine may be busy with other work, so the
// ratio is taken between the fastest runs; the median shows the spread.
struct Runs {
    std::vector<double> ms;
    double Fastest() const { return *std::min_element(ms.begin(), ms.end()); }
    double Median() const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

template <class Work>
void Time(Runs& runs, Work work)
{
    const double start = Now();
    work();
    runs.ms.push_back(Now() - start);
}

void PrintRuns(const char* what, const Runs& runs)
{
    printf("  %-36s fastest %8.1f ms   median %8.1f ms\n", what, runs.Fastest(), runs.Median());
}

void PrintRatio(const Runs& product, const Runs& plain, double target)
{
    const double ratio = product.Fastest() / plain.Fastest();
    printf("  ratio %.2f (target %.1f): %s\n", ratio, target, ratio <= target ? "met" : "NOT MET");
}

// The same file read the plain way: one fread loop into one growing buffer,
// split with memchr. With a list, each name gets the same node as in the
// product list; without, the names are only counted.
size_t BaselineLoad(const char* path, CProductList* list)
{
    std::string text;
    FILE* file = fopen(path, "r");
    char chunk[65536];
    while (size_t got = fread(chunk, 1, sizeof chunk, file))
        text.append(chunk, got);
    fclose(file);

    size_t names = 0;
    char* lineStart = &text[0];
    char* const end = lineStart + text.size();
    while (char* lineFeed = static_cast<char*>(memchr(lineStart, '\n', static_cast<size_t>(end - lineStart)))) {
        *lineFeed = '\0';
        if (list) {
            CProductNode* node = new CProductNode(lineStart);
            node->m_pNext = list->m_pHead;
            list->m_pHead = node;
        }
        ++names;
        lineStart = lineFeed + 1;
    }
    return names;
}

void CompareLoading()
{
    const size_t bytes = WriteCatalog(kLoadNames);
    const std::string path = CatalogPath(kLoadNames);
    Runs product, plain, countOnly;
    for (int round = 0; round < 9; ++round) {
        Time(product, [&] {
            CProductList list;
            list.LoadFromFile(path.c_str());
        });
        Time(plain, [&] {
            CProductList list;
            BaselineLoad(path.c_str(), &list);
        });
        Time(countOnly, [&] { BaselineLoad(path.c_str(), nullptr); });
    }
    printf("Loading %d names (%zu bytes), 9 runs each, list built and freed in each run:\n", kLoadNames, bytes);
    PrintRuns("LoadFromFile", product);
    PrintRuns("fread loop + memchr, same nodes", plain);
    PrintRatio(product, plain, 1.5);
    PrintRuns("fread loop + memchr, names counted", countOnly);
}

void RawSave(const std::vector<std::string>& names)
{
    HKEY productKey;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &productKey,
                          nullptr) != ERROR_SUCCESS)
        return;
    for (const std::string& name : names) {
        HKEY subkey;
        if (::RegCreateKeyExA(productKey, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &subkey, nullptr) ==
            ERROR_SUCCESS)
            ::RegCloseKey(subkey);
    }
    ::RegCloseKey(productKey);
}

void CompareSaving()
{
    WriteCatalog(kSaveNames);
    CProductList list;
    list.LoadFromFile(CatalogPath(kSaveNames).c_str());
    std::vector<std::string> names;
    for (const char* name = list.First(); name; name = list.Next())
        names.push_back(name);

    // Each run starts from no product key; which of the two goes first alternates.
    // The plain loop is run twice a round, so that its two series show how far
    // identical work differs on this machine.
    Runs product, plain, plainAgain;
    auto fromScratch = [](Runs& runs, auto save) {
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane");
        Time(runs, save);
    };
    for (int round = 0; round < 8; ++round) {
        if (round % 2 == 0)
            fromScratch(product, [&] { list.SaveToRegistry(); });
        fromScratch(plain, [&] { RawSave(names); });
        if (round % 2 == 1)
            fromScratch(product, [&] { list.SaveToRegistry(); });
        fromScratch(plainAgain, [&] { RawSave(names); });
    }
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane");
    printf("Saving %d new names to the registry, 8 runs each:\n", kSaveNames);
    PrintRuns("SaveToRegistry", product);
    PrintRuns("RegCreateKeyExA/RegCloseKey loop", plain);
    PrintRatio(product, plain, 1.1);
    PrintRuns("the same loop again", plainAgain);
    printf("  identical work differs by a ratio of %.2f here\n", plainAgain.Fastest() / plain.Fastest());
}

// Child process: load the catalog of the given size and print the peaks.
int ReportMemory(int names)
{
    CProductList list;
    if (names > 0)
        list.LoadFromFile(CatalogPath(names).c_str());
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return 1;
    printf("  %7d names   peak working set %7.1f MB   peak pagefile use %7.1f MB\n", names,
           static_cast<double>(counters.PeakWorkingSetSize) / (1024 * 1024),
           static_cast<double>(counters.PeakPagefileUsage) / (1024 * 1024));
    return 0;
}

// Runs this program again as "memory names" and passes its report on.
void MeasureInChild(int names)
{
    char program[MAX_PATH];
    ::GetModuleFileNameA(nullptr, program, sizeof program);
    std::string commandLine = "\"" + std::string(program) + "\" memory " + std::to_string(names);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process;
    const BOOL started = ::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process);
    ::CloseHandle(writeEnd);
    if (started) {
        char text[512];
        DWORD got;
        while (::ReadFile(readEnd, text, sizeof text, &got, nullptr) && got)
            fwrite(text, 1, got, stdout);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    }
    ::CloseHandle(readEnd);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "memory") == 0)
        return ReportMemory(atoi(argv[2]));

    printf("This deletes HKLM\\SOFTWARE\\Morvane: run it in a scratch Wine prefix or test machine.\n");
    CompareLoading();
    fflush(stdout);
    CompareSaving();
    printf("Peak memory after loading, each in a fresh process (0: the process alone):\n");
    fflush(stdout);
    WriteCatalog(kSaveNames);
    for (int names : {0, kSaveNames, kLoadNames}) {
        MeasureInChild(names);
        fflush(stdout);
    }
    for (int names : {kSaveNames, kLoadNames})
        ::DeleteFileA(CatalogPath(names).c_str());
    return 0;
}
