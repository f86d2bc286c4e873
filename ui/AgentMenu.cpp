// The agent menu at the notification icon: built afresh on every right-button
// press from the registry's products and the agent's state.
#include "ui/AgentMenu.h"
#include "app/AgentDlg.h"
#include "app/resource.h"
#include "catalog/ProductList.h"
#include "framework/WinApp.h"

namespace {
// The highest multiple of 16 below the system commands (SC_SIZE is 0xF000).
constexpr UINT kLastProductCommand = 0xEFF0;
}

UINT NextProductCommand(UINT previous)
{
    UINT next = previous + 16;
    while (next == ID_CLOSE_AGENT || next == ID_SUSPEND_AGENT || next == ID_ACTIVATE_AGENT)
        next += 16;
    return next < kLastProductCommand ? next : kLastProductCommand;
}

void InsertProductItems(HMENU schedule, CProductList& products)
{
    // Each product goes on top of the one before, so the head sits right above
    // "&Default" with 416 and the numbers count down towards it.
    UINT id = ID_SCHEDULE_DEFAULT;
    for (const char* name = products.Current(); name; name = products.Next()) {
        id = NextProductCommand(id);
        ::InsertMenuA(schedule, 0, MF_BYPOSITION | MF_STRING, id, name);
    }
}

void EnableAgentItems(HMENU menu, BOOL active)
{
    ::EnableMenuItem(menu, ID_SUSPEND_AGENT, MF_BYCOMMAND | (active ? MF_ENABLED : MF_GRAYED));
    ::EnableMenuItem(menu, ID_ACTIVATE_AGENT, MF_BYCOMMAND | (active ? MF_GRAYED : MF_ENABLED));
}

LRESULT CAgentDlg::OnTrayNotify(WPARAM, LPARAM lParam)
{
    POINT cursor;
    ::GetCursorPos(&cursor);
    if (lParam != WM_RBUTTONDOWN)
        return 0;

    CProductList products;
    products.LoadFromRegistry();
    CMenu menu;
    if (!menu.LoadMenu(IDR_AGENT_MENU))
        return 0;
    HMENU popup = ::GetSubMenu(menu.m_hMenu, 0);
    InsertProductItems(::GetSubMenu(popup, 0), products);
    EnableAgentItems(popup, m_bActive);

    // The known-good popup sequence: the window comes to the foreground first so
    // the menu closes when the user clicks elsewhere, and the posted message
    // afterwards lets it close properly.
    SetForegroundWindow();
    ::TrackPopupMenu(popup, TPM_RIGHTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, m_hWnd, nullptr);
    PostMessage(WM_USER, 0, 0);
    return 0;
}
