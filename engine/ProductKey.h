// The registry key whose subkeys are the registered products, under
// HKEY_LOCAL_MACHINE. The agent lists and registers products there; the update
// library keeps each entry's values there, the default entry's in the key itself.
#pragma once

constexpr char kProductKeyPath[] = "SOFTWARE\\Morvane\\Tesvo\\CurrentVersion";
