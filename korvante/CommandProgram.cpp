// Finding the program an update command names: its first word, quoted or not,
// as a path or looked up in the system folders.
#include "korvante/CommandProgram.h"
#include <cstring>

namespace {

constexpr char kUnquotedPath[] = "unquoted path";
constexpr char kNotFound[] = "failed to start";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// C:\... or \\server\...
bool IsFullPath(const char* path)
{
    const bool drive = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':';
    return (drive && (path[2] == '\\' || path[2] == '/')) || (path[0] == '\\' && path[1] == '\\');
}

bool HasFolder(const char* path) { return std::strpbrk(path, "\\/:") != nullptr; }

bool HasExtension(const char* path)
{
    const char* name = path;
    for (const char* c = path; *c; ++c)
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    return std::strchr(name, '.') != nullptr;
}

// folder (may be empty) and name joined, with ".exe" where the name has no
// extension; true when that is an existing file.
bool ExistingFile(const char* folder, const char* name, char* program)
{
    const size_t folderLength = std::strlen(folder), nameLength = std::strlen(name);
    const bool separator = folderLength && folder[folderLength - 1] != '\\' && folder[folderLength - 1] != '/';
    const char* extension = HasExtension(name) ? "" : ".exe";
    if (folderLength + separator + nameLength + std::strlen(extension) >= MAX_PATH)
        return false;
    std::memcpy(program, folder, folderLength);
    char* end = program + folderLength;
    if (separator)
        *end++ = '\\';
    std::memcpy(end, name, nameLength);
    std::strcpy(end + nameLength, extension);
    const DWORD attributes = ::GetFileAttributesA(program);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A bare name in the system folder or the Windows folder, which only
// administrators may write; never in PATH, whose folders users often may.
bool SearchFolders(const char* name, char* program)
{
    char folder[MAX_PATH];
    const UINT system = ::GetSystemDirectoryA(folder, sizeof folder);
    if (system && system < sizeof folder && ExistingFile(folder, name, program))
        return true;
    const UINT windows = ::GetWindowsDirectoryA(folder, sizeof folder);
    return windows && windows < sizeof folder && ExistingFile(folder, name, program);
}

// An unquoted path that Windows could read two ways: the text up to a later
// blank names an existing file or folder too (C:\Apps\v1.2 beta\upd.exe, where
// C:\Apps\v1.2 is a file and C:\Apps\v1.2 beta a folder).
bool ReadsTwoWays(const char* command, const char* end)
{
    char longer[MAX_PATH + 4];
    for (const char* stop = end + 1; stop[-1]; ++stop) {
        if (IsBlank(*stop) ? IsBlank(stop[-1]) : *stop != '\0')
            continue;   // each reading ends before a blank, or at the end
        const size_t length = static_cast<size_t>(stop - command);
        if (length >= MAX_PATH)
            return false;
        std::memcpy(longer, command, length);
        longer[length] = '\0';
        if (::GetFileAttributesA(longer) != INVALID_FILE_ATTRIBUTES)
            return true;
        std::strcpy(longer + length, ".exe");
        if (::GetFileAttributesA(longer) != INVALID_FILE_ATTRIBUTES)
            return true;
    }
    return false;
}

} // namespace

const char* FindCommandProgram(const char* command, char* program)
{
    char word[MAX_PATH];
    const char* start = command;
    const char* end;
    if (*command == '"') {
        start = command + 1;
        end = std::strchr(start, '"');
        if (!end)
            return kNotFound;
    } else {
        end = start;
        while (*end && !IsBlank(*end))
            ++end;
    }
    const size_t length = static_cast<size_t>(end - start);
    if (length == 0 || length >= sizeof word)
        return kNotFound;
    std::memcpy(word, start, length);
    word[length] = '\0';

    const char* rest = end;
    while (IsBlank(*rest))
        ++rest;
    if (*command != '"' && *rest && HasFolder(word) && (!HasExtension(word) || ReadsTwoWays(command, end)))
        return kUnquotedPath;
    if (IsFullPath(word))
        return ExistingFile("", word, program) ? nullptr : kNotFound;
    if (HasFolder(word))
        return kNotFound;   // relative to a directory we do not choose
    return SearchFolders(word, program) ? nullptr : kNotFound;
}
