// A shell library without the notification-icon call, as the shells of NT 3.x
// and Win32s are. The end-to-end tests put it beside a copy of the agent and
// have Wine load it instead of its own; it leaves "shell32.loaded" beside
// itself so that the tests know it was the one loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameA(module, path, MAX_PATH);
        if (length > 3 && length < MAX_PATH) {
            ::lstrcpyA(path + length - 3, "loaded");
            const HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                ::CloseHandle(file);
        }
    }
    return TRUE;
}

extern "C" __declspec(dllexport) int NoNotifyIcon() { return 0; }
