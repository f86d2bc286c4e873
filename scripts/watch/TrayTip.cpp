// Reading the notification icon's tooltip out of the process that draws the notification area.
#include "scripts/watch/TrayTip.h"
#include <windows.h>
#include <commctrl.h>

namespace {

struct TipSearch {
    HWND tooltip = nullptr;
};

// Wine's notification area gives each icon a tooltip window, owned by the
// tray window (Wine 8) or by a window of the icon's own (later versions).
BOOL CALLBACK FindIconTooltip(HWND window, LPARAM context)
{
    char name[64];
    HWND owner = ::GetWindow(window, GW_OWNER);
    if (!owner || !::GetClassNameA(window, name, sizeof name) || lstrcmpiA(name, TOOLTIPS_CLASSA) != 0)
        return TRUE;
    if (!::GetClassNameA(owner, name, sizeof name) ||
        (lstrcmpA(name, "Shell_TrayWnd") != 0 && lstrcmpA(name, "__wine_tray_icon") != 0))
        return TRUE;
    reinterpret_cast<TipSearch*>(context)->tooltip = window;
    return FALSE;
}

bool Ask(HWND tooltip, UINT message, WPARAM wParam, void* remote)
{
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(tooltip, message, wParam, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                 2000, &answer) &&
           answer;
}

// The tool's record and its text must live in the tray's process, so the
// questions go there in memory borrowed from that process: which tool the
// tooltip has, then that tool's text.
std::string AskTooltip(HWND tooltip, HANDLE process)
{
    constexpr size_t kTextChars = 128;
    struct Exchange {
        TTTOOLINFOW info;
        WCHAR text[kTextChars];
    };
    auto remote = static_cast<Exchange*>(
        ::VirtualAllocEx(process, nullptr, sizeof(Exchange), MEM_COMMIT, PAGE_READWRITE));
    if (!remote)
        return "";
    Exchange local{};
    local.info.cbSize = sizeof local.info;
    std::string tip;
    if (::WriteProcessMemory(process, remote, &local, sizeof local, nullptr) &&
        Ask(tooltip, TTM_ENUMTOOLSW, 0, &remote->info) &&
        ::ReadProcessMemory(process, remote, &local, sizeof local, nullptr)) {
        local.info.lpszText = remote->text;
        ::WriteProcessMemory(process, remote, &local, sizeof local, nullptr);
        Ask(tooltip, TTM_GETTEXTW, kTextChars, &remote->info);
        if (::ReadProcessMemory(process, remote, &local, sizeof local, nullptr)) {
            local.text[kTextChars - 1] = 0;
            char narrow[kTextChars * 2];
            if (::WideCharToMultiByte(CP_ACP, 0, local.text, -1, narrow, sizeof narrow, nullptr, nullptr))
                tip = narrow;
        }
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return tip;
}

} // namespace

std::string ReadTrayTip()
{
    TipSearch search;
    ::EnumWindows(FindIconTooltip, reinterpret_cast<LPARAM>(&search));
    if (!search.tooltip)
        return "";
    DWORD processId = 0;
    ::GetWindowThreadProcessId(search.tooltip, &processId);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process)
        return "";
    std::string tip = AskTooltip(search.tooltip, process);
    ::CloseHandle(process);
    return tip;
}
