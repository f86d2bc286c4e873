// The catalog path beside the program and the import through the update library.
#include "catalog/CatalogPath.h"
#include "tests/support/AgentFixture.h"
#include "tests/support/SameSequence.h"
#include <algorithm>
#include <cstring>

using Names = std::vector<std::string>;

TEST(CatalogPath, ReplacesTheProgramNameWithinTheBuffer)
{
    // A folder of 250 bytes leaves exactly room for "Tesvo.cfg" and its zero.
    const std::string longest = "C:\\" + std::string(246, 'f') + "\\", tooLong = "C:\\" + std::string(247, 'f') + "\\";
    const struct {
        std::string module;
        DWORD length;   // as GetModuleFileNameA reports it; 0 when it failed
        std::string catalog;   // empty: refused, the buffer as it was
    } rows[] = {
        {"C:\\Program Files\\Tesvo\\Tesvo.exe", 32, "C:\\Program Files\\Tesvo\\Tesvo.cfg"},
        {"Tesvo.exe", 9, ""},
        {"C:\\Tesvo\\Tesvo.exe", 0, ""},
        {longest + "Tesvo.exe", 259, longest + "Tesvo.cfg"},
        {tooLong + "T.exe", 256, ""},
        // A program path cut short by the buffer fills it without a terminating zero.
        {"C:\\" + std::string(300, 'f'), kPathBufferSize, ""},
    };
    for (const auto& row : rows) {
        char bytes[kPathBufferSize + 32];
        memset(bytes, '#', sizeof bytes);
        memcpy(bytes, row.module.c_str(), std::min<size_t>(row.module.size() + 1, kPathBufferSize));
        const std::string before(bytes, kPathBufferSize);
        EXPECT_EQ(!row.catalog.empty(), ModulePathToCatalogPath(bytes, row.length, kPathBufferSize) != FALSE);
        if (!row.catalog.empty())
            EXPECT_EQ(row.catalog, std::string(bytes));
        else
            EXPECT_EQ(before, std::string(bytes, kPathBufferSize));
        EXPECT_EQ(std::string(32, '#'), std::string(bytes + kPathBufferSize, 32)) << "written past the buffer";
    }

    CAgentDlg dlg;
    char buffer[kPathBufferSize];
    ASSERT_TRUE(dlg.GetCatalogPath(buffer));
    EXPECT_EQ(std::string(buffer), ProgramDir() + "Tesvo.cfg");
}

// The library rewrites the catalog inside its batch; only what stands in the
// file once the batch is closed counts, and nothing is registered before then.
TEST_F(AgentTest, ImportRegistersTheCatalogReadAfterTheLibraryBatchCloses)
{
    WriteFileText(catalogPath, "Stale\n");
    Names registeredAtEnd = {"(not called)"};
    g_fakeEngine.onCall = [&](const std::string& call) {
        if (call.rfind("RefreshCatalog", 0) == 0)
            WriteFileText(catalogPath, "Refreshing\n");
        if (call == "EndBatch")
            registeredAtEnd = RegisteredProducts(), WriteFileText(catalogPath, "Editor\r\nViewer\r\n");
    };
    agent.ImportCatalog();
    EXPECT_TRUE(SameSequence({"BeginBatch", "RefreshCatalog 0 " + catalogPath, "EndBatch"}, Calls()));
    EXPECT_EQ(registeredAtEnd, Names{});
    EXPECT_EQ(RegisteredProducts(), (Names{"Editor", "Viewer"}));
}
