// The status text and the notification icon: one icon (agent window, 303), deleted
// and added anew on every refresh, never modified in place.
#include "app/AgentDlg.h"
#include "app/TimerMath.h"
#include "app/resource.h"
#include "framework/WinApp.h"

#ifdef TESVO_32BIT
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the version-1 notification record is 88 bytes");
#endif

namespace {

constexpr int kTipBytes = 64;

// The record as the first shells know it; later fields stay zero.
NOTIFYICONDATAA IconRecord(HWND window)
{
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = window;
    record.uID = kTrayIconId;
    return record;
}

} // namespace

void CAgentDlg::ShowStatus(COleDateTime when)
{
    // Only the double counts, never the status: a time the library marked otherwise
    // is shown all the same. A time no date can express reads as no update.
    when.m_status = COleDateTime::valid;
    const CString shown = when.Format("%m/%d/%y %H:%M:%S");
    CString text;
    // Suspended, no time is kept: a time change or a schedule edit shows the state.
    if (!m_bActive)
        text.LoadString(IDS_SUSPENDED);
    else if (IsZeroTime(when) || shown.IsEmpty())
        text.LoadString(IDS_NO_UPDATE);
    else
        AfxFormatString1(text, IDS_UPDATE_AT, shown);

    if (m_bSysMenuMode) {
        SetWindowText(text);
        RebuildSystemMenu();
        FlashWindow(FALSE);
    }
    ShowTrayIcon(m_bActive ? IDI_ACTIVE : IDI_SUSPENDED, text);
}

void CAgentDlg::ShowTrayIcon(WORD iconId, CString text)
{
    RemoveTrayIcon();
    if (m_bClosing)
        return;
    HICON icon = ::LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(iconId), RT_GROUP_ICON),
                             MAKEINTRESOURCEA(iconId));

    NOTIFYICONDATAA record = IconRecord(m_hWnd);
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = kTrayCallbackMessage;
    record.hIcon = icon;
    // The shell reads 64 bytes of tip from this record: a longer text is cut
    // there, never written past it.
    ::lstrcpynA(record.szTip, text, kTipBytes);
    NotifyShell(NIM_ADD, &record);
    // Kept for a shell that starts again and has forgotten every icon.
    m_wShownIcon = iconId;
    m_shownTip = text;

    if (icon)
        ::DestroyIcon(icon);
}

void CAgentDlg::RemoveTrayIcon()
{
    NOTIFYICONDATAA record = IconRecord(m_hWnd);
    NotifyShell(NIM_DELETE, &record);
    m_wShownIcon = 0;
}

void CAgentDlg::OnTaskbarCreated()
{
    // The system menu carries the status there; otherwise the icon comes back as it was.
    if (!m_bSysMenuMode && m_wShownIcon)
        ShowTrayIcon(m_wShownIcon, m_shownTip);
}

// Bound on first use rather than at load time: the shell of NT 3.x and Win32s
// lacks the call, and the program must still load there. Without it every icon
// call is skipped, as a failing one would be.
BOOL CAgentDlg::NotifyShell(DWORD message, NOTIFYICONDATAA* record)
{
    using NotifyIconCall = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAA*);
    static bool bound = false;
    static NotifyIconCall notifyIcon = nullptr;
    if (!bound) {
        bound = true;
        if (HMODULE shell = ::LoadLibraryA("shell32.dll"))
            notifyIcon = reinterpret_cast<NotifyIconCall>(
                reinterpret_cast<void*>(::GetProcAddress(shell, "Shell_NotifyIconA")));
    }
    return notifyIcon ? notifyIcon(message, record) : FALSE;
}
