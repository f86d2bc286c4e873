// Follows the update library's call journal (KORVANTE_JOURNAL) and gathers each
// bracket, BeginBatch ... EndBatch: the products it updated and whether it
// refreshed the catalog. A bracket opened right after PrepareDefault is the
// agent's catalog import, not an update run.
#pragma once
#include <string>
#include <vector>

struct JournalBracket {
    bool import = false;
    bool refreshedCatalog = false;
    std::vector<std::string> updated;
};

class AgentJournal {
public:
    explicit AgentJournal(std::string path) : m_path(std::move(path)) {}

    // Reads what the library appended since the last call; returns the brackets that closed.
    std::vector<JournalBracket> ClosedBrackets();

private:
    void Take(const std::string& line);

    std::string m_path;
    long long m_offset = 0;
    std::string m_partial;
    bool m_afterPrepareDefault = false;
    bool m_open = false;
    JournalBracket m_current;
    std::vector<JournalBracket> m_closed;
};
