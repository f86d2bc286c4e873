// The products' update command in the soak: ends at once. A window program, so
// that starting it costs no console.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
