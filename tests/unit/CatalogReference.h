// The names a catalog should yield, worked out the plain way on the whole text,
// to hold the buffered reader against. Shared by the Windows and native tests.
#pragma once
#include <string>
#include <vector>

// Whole lines ended by a line feed, in file order, up to the first line that is
// 1023 bytes or longer or holds a zero byte.
inline std::vector<std::string> ReferenceNames(const std::string& text)
{
    std::vector<std::string> names;
    for (size_t start = 0;;) {
        const size_t lineFeed = text.find('\n', start);
        if (lineFeed == std::string::npos)
            break;
        std::string line = text.substr(start, lineFeed - start);
        if (line.size() >= 1023 || line.find('\0') != std::string::npos)
            break;
        names.push_back(line);
        start = lineFeed + 1;
    }
    return names;
}

// What the C runtime's text mode on Windows hands over from these bytes:
// CR LF becomes LF, and a Ctrl-Z ends the file.
inline std::string TextModeView(const std::string& bytes)
{
    std::string text;
    for (size_t i = 0; i < bytes.size() && bytes[i] != '\x1a'; ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            text += bytes[i];
    return text;
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
