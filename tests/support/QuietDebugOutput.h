// Built into GoogleTest: its printer copies every failure to the debugger
// output, where 32-bit Wine under emulation dies; stdout alone says it here.
#pragma once
#include <windows.h>
inline void QuietDebugOutput(const char*) {}
#define OutputDebugStringA QuietDebugOutput
