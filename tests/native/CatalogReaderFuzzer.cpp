// libFuzzer target: whatever the bytes, the reader must stay inside its buffer
// (the sanitizers watch that) and yield exactly what the plain splitter yields.
#include "tests/native/NativeCatalog.h"
#include <cstdint>
#include <cstdlib>

namespace {

// Long lines are rare in random bytes, so an input whose first byte is odd is
// read as a list of lines instead, two bytes a line: a length code and the byte
// the line is made of. Codes below 128 give short lines, the others lengths of
// 950 to 1077, around the longest name.
std::string Catalog(const uint8_t* data, size_t size)
{
    if (size == 0 || data[0] % 2 == 0)
        return std::string(reinterpret_cast<const char*>(data), size);
    std::string catalog;
    for (size_t i = 1; i + 2 <= size && catalog.size() < 16384; i += 2) {
        const size_t length = data[i] < 128 ? data[i] % 48 : 950 + (data[i] - 128);
        catalog.append(length, static_cast<char>(data[i + 1]));
        catalog += '\n';
    }
    return catalog;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string catalog = Catalog(data, size);
    if (ReadNames(catalog) != ReferenceNames(catalog)) {
        fprintf(stderr, "reader and plain splitter disagree on this input\n");
        abort();
    }
    return 0;
}
