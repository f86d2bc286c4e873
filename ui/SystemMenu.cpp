// System-menu mode: on NT 3.x and Win32s the agent is a minimized window whose
// caption carries the status and whose system menu carries the agent menu.
#include "ui/AgentMenu.h"
#include "app/AgentDlg.h"
#include "app/resource.h"
#include "catalog/ProductList.h"
#include "framework/PaintDC.h"
#include "framework/WinApp.h"

namespace {

constexpr int kMenuTextSize = 128;

// Standard items the minimized agent has no use for: it can be neither sized,
// restored, minimized, maximized nor closed from its system menu.
void RemoveStandardItems(HMENU sys)
{
    static const UINT kRemoved[] = {SC_SIZE, SC_RESTORE, SC_MINIMIZE, SC_CLOSE, SC_MAXIMIZE};
    for (UINT command : kRemoved)
        ::RemoveMenu(sys, command, MF_BYCOMMAND);
    // And the one separator that went with them.
    for (int pos = 0, count = ::GetMenuItemCount(sys); pos < count; ++pos)
        if (::GetMenuItemID(sys, pos) == 0) {
            ::RemoveMenu(sys, pos, MF_BYPOSITION);
            break;
        }
}

HICON LoadAgentIcon(UINT id)
{
    return ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id));
}

} // namespace

void CAgentDlg::RebuildSystemMenu()
{
    // Start from the standard system menu; what the last rebuild inserted goes with it.
    GetSystemMenu(TRUE);
    HMENU sys = GetSystemMenu(FALSE);
    if (!sys)
        return;

    CProductList products;
    products.LoadFromRegistry();
    RemoveStandardItems(sys);

    if (!m_menu.m_hMenu)
        m_menu.LoadMenu(IDR_AGENT_MENU);
    HMENU update = ::GetSubMenu(m_menu.m_hMenu, 0);
    HMENU resourceSchedule = ::GetSubMenu(update, 0);
    // Without the agent menu there is nothing to copy.
    if (!update || !resourceSchedule)
        return;

    char text[kMenuTextSize] = "";
    HMENU schedule = ::CreateMenu();
    ::GetMenuStringA(resourceSchedule, 0, text, sizeof text, MF_BYPOSITION);
    ::InsertMenuA(schedule, 0, MF_BYPOSITION | MF_STRING, ID_SCHEDULE_DEFAULT, text);
    InsertProductItems(schedule, products);

    // Copy the Update popup's items on top of the system menu; its first item,
    // Schedule Update, becomes the new submenu.
    const int count = ::GetMenuItemCount(update);
    for (int pos = 0; pos < count; ++pos) {
        const UINT command = ::GetMenuItemID(update, pos);
        if (command != static_cast<UINT>(-1))
            ::GetMenuStringA(update, pos, text, sizeof text, MF_BYPOSITION);
        if (pos == 0)
            ::InsertMenuA(sys, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(schedule), "Schedule Update");
        else if (text[0] == '\0')
            ::InsertMenuA(sys, pos, MF_BYPOSITION | MF_SEPARATOR, command, nullptr);
        else
            ::InsertMenuA(sys, pos, MF_BYPOSITION | MF_STRING, command, text);
    }
    EnableAgentItems(sys, m_bActive);
    // The window's big icon follows the state, so that it never shows the
    // suspended picture on an active agent or the reverse.
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadAgentIcon(m_bActive ? IDI_ACTIVE : IDI_SUSPENDED)));
}

void CAgentDlg::OnSysCommand(UINT nID, LPARAM)
{
    // Windows keeps the low four bits of a system command for itself.
    const UINT command = nID & 0xFFF0;
    switch (command) {
    case ID_SCHEDULE_DEFAULT:
    case ID_CLOSE_AGENT:
    case ID_SUSPEND_AGENT:
    case ID_ACTIVATE_AGENT:
        // Sent, not posted: the command has run completely before the default
        // processing. As from a menu: no control handle (lParam holds the cursor).
        SendMessage(WM_COMMAND, command, 0);
        Default();
        return;
    case SC_SIZE:
    case SC_RESTORE:
        return;
    default:
        ScheduleProduct(command);
        Default();
        return;
    }
}

void CAgentDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    RECT client;
    GetClientRect(&client);
    const POINT at = CenteredIconPosition(client.right - client.left, client.bottom - client.top,
                                          ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    ::DrawIcon(dc.m_hDC, at.x, at.y, m_hIcon);
}

HCURSOR CAgentDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CAgentDlg::PresentSuspended(const char* text)
{
    SetWindowText(text);
    RebuildSystemMenu();
    m_hIcon = LoadAgentIcon(IDI_SUSPENDED);
    FlashWindow(FALSE);
}

void CAgentDlg::PresentActive()
{
    // In this mode this is what makes the window visible, as a minimized window.
    ShowWindow(SW_MINIMIZE);
    m_hIcon = LoadAgentIcon(IDI_ACTIVE);
    FlashWindow(FALSE);
}

POINT CenteredIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight)
{
    // C++ division truncates toward zero, as the placement wants (width 0 gives -15 for 32).
    return POINT{(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}
