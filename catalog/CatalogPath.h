// Where the catalog file lives: beside the program, under a fixed name.
#pragma once
#include <windows.h>

constexpr char kCatalogFileName[] = "Tesvo.cfg";

// Turns the program path that GetModuleFileNameA left in path (a buffer of size
// bytes; length is what the call returned) into the catalog path beside it.
// FALSE, with path left as it was, when the program path is missing or was cut
// short, names no folder, or the catalog name does not fit behind the folder.
BOOL ModulePathToCatalogPath(char* path, DWORD length, DWORD size);
