// The journal follower: what each BeginBatch ... EndBatch bracket of the library did.
#include "scripts/watch/AgentJournal.h"
#include <windows.h>

namespace {

bool StartsWith(const std::string& line, const char* word)
{
    return line.compare(0, lstrlenA(word), word) == 0;
}

// The first quoted name of a journal line: RunUpdate "Name".
std::string QuotedName(const std::string& line)
{
    const size_t open = line.find('"');
    const size_t close = line.rfind('"');
    return open == std::string::npos || close <= open ? "" : line.substr(open + 1, close - open - 1);
}

} // namespace

std::vector<JournalBracket> AgentJournal::ClosedBrackets()
{
    // The library opens and closes the file for every line, so share everything.
    HANDLE file = ::CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER at;
        at.QuadPart = m_offset;
        ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        char chunk[4096];
        DWORD got = 0;
        while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
            m_offset += got;
            m_partial.append(chunk, got);
        }
        ::CloseHandle(file);
    }
    for (size_t end; (end = m_partial.find('\n')) != std::string::npos;) {
        std::string line = m_partial.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        m_partial.erase(0, end + 1);
        Take(line);
    }
    std::vector<JournalBracket> closed;
    closed.swap(m_closed);
    return closed;
}

void AgentJournal::Take(const std::string& line)
{
    if (StartsWith(line, "BeginBatch") && !m_open) {
        m_open = true;
        m_current = JournalBracket();
        m_current.import = m_afterPrepareDefault;
    } else if (StartsWith(line, "EndBatch") && m_open) {
        m_open = false;
        m_closed.push_back(m_current);
    } else if (StartsWith(line, "RunUpdate")) {
        m_current.updated.push_back(QuotedName(line));
    } else if (StartsWith(line, "RefreshCatalog")) {
        m_current.refreshedCatalog = true;
    }
    m_afterPrepareDefault = StartsWith(line, "PrepareDefault");
}
