// Runs the catalog reader over bytes held in memory, as a stream opened on them.
#pragma once
#include "catalog/CatalogReader.h"
#include <cstdio>
#include <string>
#include <vector>

inline std::vector<std::string> ReadNames(const std::string& bytes)
{
    std::vector<std::string> names;
    // An empty stream cannot be opened on zero bytes everywhere; it yields nothing anyway.
    if (bytes.empty())
        return names;
    std::string copy = bytes;
    FILE* file = fmemopen(copy.data(), copy.size(), "r");
    if (!file)
        return {"(stream not opened)"};
    ReadCatalog(file, [](const char* name, void* list) { static_cast<std::vector<std::string>*>(list)->push_back(name); },
                &names);
    fclose(file);
    return names;
}
