// The catalog path beside the program and the import through the update library.
#include "app/AgentDlg.h"
#include "catalog/CatalogPath.h"
#include "catalog/ProductList.h"
#include "support/FakeEngine.h"
#include "support/WineHelpers.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>

namespace {

using Names = std::vector<std::string>;

// A path buffer of kPathBufferSize bytes with guard bytes behind it.
struct PathBuffer {
    explicit PathBuffer(const std::string& modulePath)
    {
        memset(bytes, '#', sizeof bytes);
        memcpy(bytes, modulePath.c_str(), std::min<size_t>(modulePath.size() + 1, kPathBufferSize));
    }
    BOOL Convert(DWORD length) { return ModulePathToCatalogPath(bytes, length, kPathBufferSize); }
    BOOL Convert() { return Convert(static_cast<DWORD>(strlen(bytes))); }
    bool GuardIntact() const { return std::all_of(bytes + kPathBufferSize, bytes + sizeof bytes, [](char c) { return c == '#'; }); }
    char bytes[kPathBufferSize + 32];
};

} // namespace

TEST(CatalogPath, ReplacesTheProgramNameWithTheCatalogName)
{
    PathBuffer path("C:\\Program Files\\Tesvo\\Tesvo.exe");
    EXPECT_TRUE(path.Convert());
    EXPECT_STREQ(path.bytes, "C:\\Program Files\\Tesvo\\Tesvo.cfg");

    PathBuffer bare("Tesvo.exe");
    EXPECT_FALSE(bare.Convert());
    EXPECT_STREQ(bare.bytes, "Tesvo.exe");

    CAgentDlg dlg;
    char buffer[kPathBufferSize];
    ASSERT_TRUE(dlg.GetCatalogPath(buffer));
    EXPECT_EQ(std::string(buffer), ProgramDir() + "Tesvo.cfg");
}

TEST(CatalogPath, RefusesPathsThatDoNotFitTheBuffer)
{
    // A folder of 250 bytes leaves exactly room for "Tesvo.cfg" and its zero.
    const std::string longest = "C:\\" + std::string(246, 'f') + "\\";
    PathBuffer fits(longest + "Tesvo.exe");
    EXPECT_TRUE(fits.Convert());
    EXPECT_EQ(std::string(fits.bytes), longest + "Tesvo.cfg");
    EXPECT_TRUE(fits.GuardIntact());

    const std::string tooLong = "C:\\" + std::string(247, 'f') + "\\";
    PathBuffer overflows(tooLong + "T.exe");
    EXPECT_FALSE(overflows.Convert());
    EXPECT_EQ(std::string(overflows.bytes), tooLong + "T.exe");
    EXPECT_TRUE(overflows.GuardIntact());

    // A program path cut short by the buffer fills it without a terminating zero.
    PathBuffer cutShort("C:\\" + std::string(300, 'f'));
    EXPECT_FALSE(cutShort.Convert(kPathBufferSize));
    EXPECT_TRUE(cutShort.GuardIntact());

    PathBuffer failed("C:\\Tesvo\\Tesvo.exe");
    EXPECT_FALSE(failed.Convert(0));
}

TEST(CatalogImport, RegistersTheCatalogReadAfterTheLibraryBatchCloses)
{
    DeleteProductKey();
    const std::string catalogPath = ProgramDir() + "Tesvo.cfg";
    const bool shippedExists = ::GetFileAttributesA(catalogPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    const std::string shipped = ReadFileText(catalogPath);

    // The library rewrites the catalog inside its batch; only what stands in the
    // file once the batch is closed counts, and nothing is registered before then.
    WriteFileText(catalogPath, "Stale\n");
    g_fakeEngine.Reset();
    Names registeredAtEnd = {"(not called)"};
    g_fakeEngine.onCall = [&](const std::string& call) {
        if (call.rfind("RefreshCatalog", 0) == 0)
            WriteFileText(catalogPath, "Refreshing\n");
        if (call == "EndBatch") {
            registeredAtEnd = RegisteredProducts();
            WriteFileText(catalogPath, "Editor\r\nViewer\r\n");
        }
    };

    CAgentDlg dlg;
    dlg.ImportCatalog();
    g_fakeEngine.onCall = nullptr;
    if (shippedExists)
        WriteFileText(catalogPath, shipped);
    else
        ::DeleteFileA(catalogPath.c_str());

    EXPECT_EQ(g_fakeEngine.calls, (Names{"BeginBatch", "RefreshCatalog 0 " + catalogPath, "EndBatch"}));
    EXPECT_EQ(registeredAtEnd, Names{});
    Names registered = RegisteredProducts();
    std::sort(registered.begin(), registered.end());
    EXPECT_EQ(registered, (Names{"Editor", "Viewer"}));
    DeleteProductKey();
}
