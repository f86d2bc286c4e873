// The tooltip of the notification icon, read from the process that draws the
// notification area: the agent hands its status text to the shell and keeps no
// copy that another program could ask for.
#pragma once
#include <string>

// The text of the first notification icon's tooltip; "" when no icon is shown.
std::string ReadTrayTip();
