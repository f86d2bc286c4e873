// libFuzzer target for the service's request check: whatever the bytes, it
// stays inside them (the sanitizers watch that), and what it accepts is a name
// the registry takes as one key and fields that carry nothing but the kind's.
#include "protocol/UpdateRequests.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Random bytes almost never carry the header, so an input whose first byte is
// odd becomes a request with a valid header and the rest of the bytes after it.
size_t Message(const uint8_t* data, size_t size, uint8_t* message, size_t capacity)
{
    if (size == 0 || data[0] % 2 == 0 || size - 1 > capacity - 8) {
        const size_t length = size < capacity ? size : capacity;
        std::memcpy(message, data, length);
        return length;
    }
    const uint32_t header[] = {kRequestMagic, kRequestVersion};
    std::memcpy(message, header, sizeof header);
    std::memcpy(message + sizeof header, data + 1, size - 1);
    return sizeof header + size - 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t message[2 * sizeof(UpdateRequest)];
    const size_t length = Message(data, size, message, sizeof message);
    UpdateRequest request;
    if (CheckRequest(message, length, request))
        return 0;
    const size_t nameLength = strnlen(request.name, kRequestNameSize);
    const bool named = request.kind != kEndRun && request.kind != kRefreshCatalog;
    if (length != sizeof request || nameLength == kRequestNameSize || std::memchr(request.name, '\\', nameLength) ||
        (!named && nameLength != 0) || request.kind < kRunUpdate || request.kind > kRefreshCatalog ||
        (request.kind != kStoreSchedule && (request.scheduleKind || request.a || request.b))) {
        fprintf(stderr, "accepted a request it must refuse\n");
        abort();
    }
    return 0;
}
