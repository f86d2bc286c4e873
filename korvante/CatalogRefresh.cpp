// Copying the catalog source over the catalog file, through a temporary file so
// that a failed copy leaves the old catalog whole.
#include "korvante/CatalogRefresh.h"
#include "korvante/BoundedText.h"
#include "korvante/EntryKey.h"
#include "korvante/MachinePolicy.h"
#include "korvante/Journal.h"
#include "korvante/SystemCalls.h"

namespace {

// Closes a file handle when it goes out of scope.
struct FileHandle {
    HANDLE handle;
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
};

// Copies all of source into target; false on a read or write error or when the
// source holds more than kMaxCatalogBytes.
bool CopyContents(HANDLE source, HANDLE target)
{
    char chunk[16 * 1024];
    unsigned long total = 0;
    for (;;) {
        DWORD got = 0, put = 0;
        if (!::ReadFile(source, chunk, sizeof chunk, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        total += got;
        if (total > kMaxCatalogBytes || !::WriteFile(target, chunk, got, &put, nullptr) || put != got)
            return false;
    }
}

// A number no other program can guess: the system's random numbers where it
// has them (XP and later), else what this moment and process make.
DWORD UnguessableNumber()
{
    BOOLEAN(WINAPI * random)(void*, ULONG);   // RtlGenRandom
    DWORD number = 0;
    if (BindCall(random, ::GetModuleHandleA("advapi32.dll"), "SystemFunction036") && random(&number, sizeof number))
        return number;
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    return ::GetTickCount() ^ (::GetCurrentProcessId() << 16) ^ counter.LowPart;
}

// Writes all of source to a file made new beside path, under a name no one can
// predict: never an existing file, a link or a reparse point someone put there.
// temporary receives its name; the file is gone again on failure.
bool CopyToTemporary(HANDLE source, const char* path, char* temporary)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        ::wsprintfA(temporary, "%s.%08lx.tmp", path, UnguessableNumber());
        FileHandle out{::CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (out.handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS || ::GetLastError() == ERROR_ALREADY_EXISTS)
                continue;   // taken, by chance or not: another name
            return false;
        }
        const bool copied = CopyContents(source, out.handle) && ::FlushFileBuffers(out.handle);
        ::CloseHandle(out.handle);
        out.handle = INVALID_HANDLE_VALUE;
        if (!copied)
            ::DeleteFileA(temporary);
        return copied;
    }
    return false;
}

// What a refresh cut short left: the catalog moved aside on 95, 98 or Me by a
// machine that stopped between the two moves is put back, and the temporary
// file of earlier versions, which had a fixed name, is removed (a link there
// goes, not what it points at).
void MendInterruptedRefresh(const char* path)
{
    char left[MAX_PATH + 4];
    ::lstrcpyA(left, path);
    ::lstrcatA(left, ".old");
    if (::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && ::GetFileAttributesA(left) != INVALID_FILE_ATTRIBUTES)
        System().moveFile(left, path);
    ::lstrcpyA(left + ::lstrlenA(path), ".tmp");
    ::DeleteFileA(left);
}

// Puts the complete temporary file in place of path. 95, 98 and Me have no
// replacing move: there the old catalog is moved aside, the new one moved in and
// the old one deleted, and the old one is put back if the new one cannot move in.
// A reader finds the old catalog or the new one, never a part of either (for an
// instant between the two moves, no catalog at all).
bool ReplaceWith(const char* temporary, const char* path)
{
    // MOVEFILE_WRITE_THROUGH from NT 4 on only, which NT 3.51 may not know; the file was flushed before.
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (IsNtFrom(4) ? MOVEFILE_WRITE_THROUGH : 0);
    if (System().moveFileEx(temporary, path, flags))
        return true;
    if (::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    char aside[MAX_PATH + 4];
    ::lstrcpyA(aside, path);
    ::lstrcatA(aside, ".old");
    ::DeleteFileA(aside);
    const bool movedAside = System().moveFile(path, aside) != FALSE;
    if (!movedAside && ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return false;
    if (!System().moveFile(temporary, path)) {
        if (movedAside)
            System().moveFile(aside, path);
        return false;
    }
    if (movedAside)
        ::DeleteFileA(aside);
    return true;
}

} // namespace

bool RefreshCatalogFile(const char* path, char* status)
{
    char source[MAX_PATH];
    if (!path || !*path || strnlen(path, MAX_PATH) >= MAX_PATH) {
        CopyToBuffer(status, "bad catalog path");
        return false;
    }
    MendInterruptedRefresh(path);
    // A machine policy's source (a share, on a fleet) comes before the key's own.
    CopyToBuffer(source, ReadMachinePolicy().catalogSource);
    if (!source[0] && (!EntryKey("", EntryKey::Read).ReadString(kCatalogSource, source, sizeof source) || !source[0])) {
        CopyToBuffer(status, "no catalog source");
        return false;
    }
    const FileHandle in{::CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (in.handle == INVALID_HANDLE_VALUE) {
        // An unreachable share leaves the catalog as it is: said, not fatal.
        JournalLine("catalog source unreadable").Name(source).Write();
        CopyToBuffer(status, "catalog source unreadable");
        return false;
    }
    char temporary[MAX_PATH + 16];
    if (!CopyToTemporary(in.handle, path, temporary)) {
        CopyToBuffer(status, "catalog not copied");
        return false;
    }
    if (!ReplaceWith(temporary, path)) {
        ::DeleteFileA(temporary);
        CopyToBuffer(status, "catalog not replaced");
        return false;
    }
    CopyToBuffer(status, "catalog copied");
    return true;
}
