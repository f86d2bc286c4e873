// The catalog file's path from the program's own path.
#include "catalog/CatalogPath.h"
#include <cstring>

BOOL ModulePathToCatalogPath(char* path, DWORD length, DWORD size)
{
    // A path that filled the buffer was cut short, and older systems leave it
    // without a terminating zero: nothing in it can be trusted.
    if (length == 0 || length >= size)
        return FALSE;
    char* lastBackslash = strrchr(path, '\\');
    if (!lastBackslash)
        return FALSE;
    const size_t folderLength = static_cast<size_t>(lastBackslash + 1 - path);
    if (folderLength + sizeof kCatalogFileName > size)
        return FALSE;
    lastBackslash[1] = '\0';
    ::lstrcatA(path, kCatalogFileName);
    return TRUE;
}
