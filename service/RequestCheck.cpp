// Checking one request message before anything acts on it.
#include "protocol/UpdateRequests.h"
#include <cstring>

namespace {

// The values the schedule dialog can store, and the years times are kept for.
constexpr int32_t kLastScheduleKind = 4;       // 0 none .. 4 every N hours
constexpr int32_t kLastMinuteOfDay = 24 * 60 - 1;
constexpr int32_t kMostHours = 24 * 366;
constexpr double kFirstDate = 2.0;             // 1900-01-01
constexpr double kPastLastDate = 2958466.0;    // 10000-01-01

// An entry name: zero-terminated inside its field, no backslash, no control
// character, and not "." or "..", which name no product.
bool IsEntryName(const char* name)
{
    const void* end = std::memchr(name, '\0', kRequestNameSize);
    if (!end)
        return false;
    for (const char* c = name; c != end; ++c)
        if (*c == '\\' || static_cast<unsigned char>(*c) < 0x20)
            return false;
    return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

bool IsTime(double time)
{
    // NaN fails both comparisons.
    return time == 0.0 || (time >= kFirstDate && time < kPastLastDate);
}

bool IsSchedule(int32_t kind, int32_t a, int32_t b)
{
    if (kind < 0 || kind > kLastScheduleKind)
        return false;
    if (kind == 0)
        return a == 0 && b == 0;
    if (kind == kLastScheduleKind)
        return a >= 1 && a <= kMostHours && b == 0;
    return a >= 0 && a <= kLastMinuteOfDay && (kind == 2 ? b >= 0 && b <= 6 : b == 0);
}

} // namespace

const char* CheckRequest(const void* bytes, size_t size, UpdateRequest& request)
{
    if (size != sizeof request)
        return size < sizeof request ? "truncated request" : "oversized request";
    std::memcpy(&request, bytes, sizeof request);
    if (request.magic != kRequestMagic || request.version != kRequestVersion)
        return "unknown request format";
    const bool named = request.kind == kRunUpdate || request.kind == kSetNextTime || request.kind == kStoreSchedule;
    const bool timed = request.kind == kRunUpdate || request.kind == kSetNextTime || request.kind == kEndRun;
    if (!named && !timed && request.kind != kRefreshCatalog)
        return "unknown request";
    if (named ? !IsEntryName(request.name) : request.name[0] != '\0')
        return "bad name";
    if (timed ? !IsTime(request.time) : request.time != 0.0)
        return "bad time";
    const bool scheduled = request.kind == kStoreSchedule;
    if (scheduled ? !IsSchedule(request.scheduleKind, request.a, request.b)
                  : request.scheduleKind != 0 || request.a != 0 || request.b != 0)
        return "bad schedule";
    return nullptr;
}
