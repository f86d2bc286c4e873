// Splitting a catalog file into its names, one fixed buffer at a time.
#include "catalog/CatalogReader.h"
#include <cstring>

void ReadCatalog(FILE* file, CatalogNameSink sink, void* context)
{
    char buffer[kCatalogBufferSize] = {};
    // The last byte is never filled: it keeps room for the end marker below.
    const size_t room = sizeof buffer - 1;

    size_t got = fread(buffer, 1, room, file);
    size_t fill = got;
    while (got > 0) {
        // Marks the end of the data, so that a search for the next line feed
        // stops there or at a zero byte inside the data, whichever comes first.
        buffer[fill] = '\0';
        char* lineStart = buffer;
        while (char* lineFeed = strchr(lineStart, '\n')) {
            *lineFeed = '\0';
            sink(lineStart, context);
            lineStart = lineFeed + 1;
        }

        // The unfinished line moves to the front and the rest of the buffer is
        // refilled behind it. A tail that fills the buffer asks for nothing, gets
        // nothing, and so ends the reading.
        const size_t tail = fill - static_cast<size_t>(lineStart - buffer);
        memmove(buffer, lineStart, tail);
        got = fread(buffer + tail, 1, room - tail, file);
        fill = tail + got;
    }
}
