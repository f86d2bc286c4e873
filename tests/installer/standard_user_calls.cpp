// A standard user's own program calling the installed korvante.dll by ordinal,
// as any local program may, to make the update service run or pass a product's
// update: "standard_user_calls.exe DLL NAME CASE". The exit code is the number
// of calls that the library reported as carried out (0: every one refused).
//   early     RunUpdate three times, with and without GetDueTime before it
//   move-now  SetNextTime to now, then RunUpdate
//   batches   three BeginBatch/EndBatch pairs
#include "engine/Korvante.h"
#include <string>

namespace {

template <typename Function>
Function Bind(HMODULE library, int ordinal)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(library, MAKEINTRESOURCEA(ordinal))));
}

} // namespace

int main(int argc, char** argv)
{
    const HMODULE library = argc == 4 ? ::LoadLibraryA(argv[1]) : nullptr;
    if (!library)
        return 100;
    const auto runUpdate = Bind<decltype(&RunUpdate)>(library, 5);
    const auto getDueTime = Bind<decltype(&GetDueTime)>(library, 13);
    const auto setNextTime = Bind<decltype(&SetNextTime)>(library, 16);
    const auto beginBatch = Bind<decltype(&BeginBatch)>(library, 17);
    const auto endBatch = Bind<decltype(&EndBatch)>(library, 18);
    const char* name = argv[2];
    const std::string which = argv[3];
    char engine[kKorvanteBufferSize] = "";
    COleDateTime due;
    int done = 0;
    if (which == "early") {
        for (int ask = 0; ask < 3; ++ask) {
            if (ask)
                getDueTime(name, &due);
            done += runUpdate(name, engine, nullptr, nullptr, 0);
        }
    } else if (which == "move-now") {
        done += setNextTime(name, COleDateTime::GetCurrentTime());
        done += runUpdate(name, engine, nullptr, nullptr, 0);
    } else if (which == "batches") {
        for (int pair = 0; pair < 3; ++pair) {
            beginBatch();
            endBatch();
        }
    } else {
        return 101;
    }
    return done;
}
