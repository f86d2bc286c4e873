// Finding the program an update command names: its first word, quoted or not,
// as a path or looked up in the system folders and PATH.
#include "korvante/CommandProgram.h"
#include <cstdlib>
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

// A bare name in the system folder, the Windows folder or a full path of PATH.
// A relative PATH entry such as "." would mean the current directory: skipped.
bool SearchFolders(const char* name, char* program)
{
    char folder[MAX_PATH];
    const UINT system = ::GetSystemDirectoryA(folder, sizeof folder);
    if (system && system < sizeof folder && ExistingFile(folder, name, program))
        return true;
    const UINT windows = ::GetWindowsDirectoryA(folder, sizeof folder);
    if (windows && windows < sizeof folder && ExistingFile(folder, name, program))
        return true;

    const DWORD size = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    char* path = size ? static_cast<char*>(std::malloc(size)) : nullptr;
    bool found = false;
    if (path && ::GetEnvironmentVariableA("PATH", path, size) < size) {
        for (char* entry = std::strtok(path, ";"); entry && !found; entry = std::strtok(nullptr, ";"))
            found = IsFullPath(entry) && ExistingFile(entry, name, program);
    }
    std::free(path);
    return found;
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
    if (*command != '"' && *rest && HasFolder(word) && !HasExtension(word))
        return kUnquotedPath;
    if (IsFullPath(word))
        return ExistingFile("", word, program) ? nullptr : kNotFound;
    if (HasFolder(word))
        return kNotFound;   // relative to a directory we do not choose
    return SearchFolders(word, program) ? nullptr : kNotFound;
}
