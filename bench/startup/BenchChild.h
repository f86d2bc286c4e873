// Starting a program to measure and ending it again, for the bench drivers.
#pragma once
#include "bench/startup/FakeTray.h"
#include "tests/support/WineHelpers.h"

// The folder of path, with its trailing backslash.
inline std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Starts "path" in its own folder; false if it could not start.
inline bool StartChild(const std::string& path, PROCESS_INFORMATION& process)
{
    std::string command = "\"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    const std::string folder = FolderOf(path);
    return ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &process) != FALSE;
}

// Ends the child the way it expects: WM_CLOSE to the agent's marker window, or
// else to the window that owns its icon; ended by force after ms. Keeps
// pumping, since the child removes its icon on the way out.
inline void EndChild(PROCESS_INFORMATION& process, HWND iconWindow, DWORD ms)
{
    if (!process.hProcess)
        return;
    HWND target = FindProcessWindow(process.dwProcessId, "Tesvo");
    if (!target)
        target = iconWindow;
    if (target)
        ::PostMessageA(target, WM_CLOSE, 0, 0);
    const bool ended =
        WaitUntil([&] { return ::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, target ? ms : 0);
    if (!ended) {
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, 10000);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    process = PROCESS_INFORMATION{};
}
