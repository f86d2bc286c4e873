// The requests korvante sends to the update service over its pipe, and the
// replies. Fixed-size binary records, one message each: a request is accepted
// only with exactly this size, magic and version, a known kind, a valid entry
// name and no field its kind does not use. Plain C++ so that the native
// checks can fuzz the parser.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr char kUpdatePipeName[] = "\\\\.\\pipe\\TesvoUpdate";
constexpr uint32_t kRequestMagic = 0x53565354;   // "TSVS"
constexpr uint32_t kReplyMagic = 0x52565354;     // "TSVR"
constexpr uint32_t kRequestVersion = 1;
constexpr size_t kRequestNameSize = 256;         // the name and its terminator
constexpr size_t kReplyTextSize = 260;           // fits the engine buffer

// The only things the service does. There is no request that sets a command,
// a folder, a catalog source or anything outside an entry's schedule values.
enum RequestKind : uint32_t {
    kRunUpdate = 1,       // name, time: the due time the caller saw (0.0: none, administrators only)
    kSetNextTime = 2,     // name, time (0.0 removes it); others than administrators: the next occurrence only
    kStoreSchedule = 3,   // name, kind, a, b: the dialog's values, and the next time from them
    kEndRun = 4,          // time: start of the run that ended (the last-run mark, for the default entry)
    kRefreshCatalog = 5,  // nothing: the catalog beside the service, from CatalogSource
};

struct UpdateRequest {
    uint32_t magic, version, kind;
    int32_t scheduleKind, a, b;   // kStoreSchedule only, else 0
    double time;                  // kRunUpdate, kSetNextTime, kEndRun only, else 0.0
    char name[kRequestNameSize];  // kRunUpdate, kSetNextTime, kStoreSchedule only, else ""
};

enum ReplyStatus : uint32_t {
    kDone = 0,         // the request was carried out; result and text tell how it went
    kAlreadyRun = 1,   // RunUpdate: the product already ran for that due time; nothing ran
    kRefused = 2,      // a bad request, or one this caller may not make: nothing was written; text says why
    kNotRun = 3,       // RunUpdate: nothing ran and the product stays due (not come yet, no lock); text says why
};

struct UpdateReply {
    uint32_t magic, version, status;
    int32_t result;               // the library call's result
    char text[kReplyTextSize];    // the outcome or note, zero-terminated
};

static_assert(sizeof(UpdateRequest) == 288, "the record is the same in 32- and 64-bit builds");
static_assert(sizeof(UpdateReply) == 276, "the record is the same in 32- and 64-bit builds");

// Checks the bytes of one message and copies them into request. Returns null for
// a well-formed request, else why it is refused. Whether the name is a
// registered product is the handler's question: this looks at the bytes only.
const char* CheckRequest(const void* bytes, size_t size, UpdateRequest& request);
