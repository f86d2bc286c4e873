// Loading, creating and giving up menu handles.
#include "framework/Menu.h"
#include "framework/WinApp.h"

BOOL CMenu::LoadMenu(UINT id)
{
    return Attach(::LoadMenuA(AfxFindResourceHandle(MAKEINTRESOURCEA(id), RT_MENU), MAKEINTRESOURCEA(id)));
}

BOOL CMenu::CreateMenu() { return Attach(::CreateMenu()); }

BOOL CMenu::Attach(HMENU menu)
{
    DestroyMenu();
    m_hMenu = menu;
    return menu != nullptr;
}

HMENU CMenu::Detach()
{
    HMENU menu = m_hMenu;
    m_hMenu = nullptr;
    return menu;
}

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu)
        return FALSE;
    BOOL destroyed = ::DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    return destroyed;
}
