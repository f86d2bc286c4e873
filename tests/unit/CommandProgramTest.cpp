// Which program an update command runs, as SYSTEM may run it: a bare name only
// from the system folders, and no unquoted path that Windows could read two ways.
#include "korvante/CommandProgram.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <string>

TEST(CommandProgramTest, OnlyTheProgramTheAdministratorWrote)
{
    char system[MAX_PATH], temp[MAX_PATH];
    ::GetSystemDirectoryA(system, sizeof system);
    ::GetTempPathA(sizeof temp, temp);
    const std::string shell = std::string(system) + "\\cmd.exe", base = std::string(temp) + "korvante-programs\\";
    const std::string beta = base + "v1.2 beta\\", onPath = base + "on path\\";
    for (const std::string& folder : {base, beta, onPath, base + "tools\\"})
        ::CreateDirectoryA(folder.c_str(), nullptr);
    // v1.2 a file and "v1.2 beta" a folder: two readings of one unquoted path.
    const std::string files[] = {base + "v1.2", beta + "upd.exe", onPath + "korvante-pathonly.exe",
                                 base + "tools\\upd.exe"};
    for (const std::string& file : files)
        ASSERT_TRUE(::CopyFileA(shell.c_str(), file.c_str(), FALSE)) << file;
    char path[4096] = "";
    ::GetEnvironmentVariableA("PATH", path, sizeof path);
    ::SetEnvironmentVariableA("PATH", (onPath + ";" + path).c_str());

    const std::string cases[][2] = {
        {"cmd /c exit 0", shell},
        {"korvante-pathonly /c exit 0", "failed to start"},
        {beta + "upd.exe /quiet", "unquoted path"},
        {beta + "upd.exe", "unquoted path"},
        {"\"" + beta + "upd.exe\" /quiet", beta + "upd.exe"},
        {base + "tools\\upd.exe /quiet", base + "tools\\upd.exe"},
    };
    for (const auto& test : cases) {
        char program[MAX_PATH] = "";
        const char* refused = FindCommandProgram(test[0].c_str(), program);
        EXPECT_STRCASEEQ(refused ? refused : program, test[1].c_str()) << test[0];
    }
    ::SetEnvironmentVariableA("PATH", path);
    for (const std::string& file : files)
        ::DeleteFileA(file.c_str());
    for (const std::string& folder : {beta, onPath, base + "tools\\", base})
        ::RemoveDirectoryA(folder.c_str());
}
