// Pieces of the agent menu that the icon popup and the system menu share.
#pragma once
#include <windows.h>

class CProductList;

// The command of the next product item: 400 + 16 k for product k. Past the last
// number that stays clear of Close, Suspend and Activate, items get a command
// that no handler acts on, so a long product list can never end, suspend or
// activate the agent.
UINT NextProductCommand(UINT previous);
// Puts one item per product on top of the Schedule Update submenu.
void InsertProductItems(HMENU schedule, CProductList& products);
// Suspend is offered while active, Activate while suspended.
void EnableAgentItems(HMENU menu, BOOL active);
// Where the minimized window draws its icon: centred, halves truncated toward zero.
POINT CenteredIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight);
