// The native checks' tools: the reader run over bytes in memory, the plain
// splitter it is held against, and random catalogs to feed both.
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

// The names worked out the plain way on the whole text: whole lines ended by a
// line feed, up to the first line that is 1023 bytes or longer or holds a zero byte.
inline std::vector<std::string> ReferenceNames(const std::string& text)
{
    std::vector<std::string> names;
    for (size_t start = 0, lineFeed; (lineFeed = text.find('\n', start)) != std::string::npos; start = lineFeed + 1) {
        std::string line = text.substr(start, lineFeed - start);
        if (line.size() >= 1023 || line.find('\0') != std::string::npos)
            break;
        names.push_back(line);
    }
    return names;
}

// A catalog of random lines (0 to 1022 bytes of printable text, short lines
// most common) with LF or, when crlf allows, CR LF endings, at least minSize bytes.
template <class Random>
std::string RandomCatalog(Random& random, size_t minSize, bool crlf)
{
    std::string catalog;
    while (catalog.size() < minSize) {
        const unsigned kind = random() % 10;
        const size_t length = kind < 5 ? random() % 24 : kind < 8 ? random() % 1023 : 1000 + random() % 23;
        for (size_t i = 0; i < length; ++i)
            catalog += static_cast<char>(' ' + random() % 95);
        catalog += crlf && random() % 2 ? "\r\n" : "\n";
    }
    return catalog;
}
