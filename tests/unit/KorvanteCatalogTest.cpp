// RefreshCatalog: the configured source replaces the catalog whole, or the
// catalog stays as it was; no temporary file is left behind either way.
#include "tests/unit/KorvanteFixture.h"

TEST_F(KorvanteTest, CatalogIsReplacedFromItsSourceOrLeftAlone)
{
    const std::string catalog = ProgramDir() + "korvante-catalog.cfg", source = ProgramDir() + "korvante-source.cfg";
    const auto refresh = [&](const std::string& path) {
        char engine[260] = "";
        RefreshCatalog(0, engine, path.c_str());
        EXPECT_EQ(::GetFileAttributesA((catalog + ".tmp").c_str()), INVALID_FILE_ATTRIBUTES);
        return std::string(engine) + ": " + ReadFileText(catalog);
    };
    WriteFileText(catalog, "Old\r\n");
    ::DeleteFileA(source.c_str());
    EXPECT_EQ(refresh(catalog), "no catalog source: Old\r\n");
    SetEntryValue("", "CatalogSource", source);
    EXPECT_EQ(refresh(catalog), "catalog source unreadable: Old\r\n");
    SetEntryValue("", "CatalogSource", ProgramDir());
    EXPECT_EQ(refresh(catalog), "catalog source unreadable: Old\r\n");
    WriteFileText(source, std::string(16 * 1024 * 1024 + 1, 'x'));   // one byte over the bound
    SetEntryValue("", "CatalogSource", source);
    EXPECT_EQ(refresh(catalog), "catalog not copied: Old\r\n");
    WriteFileText(source, "Tesvo Demo Editor\r\n");
    EXPECT_EQ(refresh(""), "bad catalog path: Old\r\n");
    EXPECT_EQ(refresh(std::string(300, 'p')), "bad catalog path: Old\r\n");
    EXPECT_EQ(RefreshCatalog(0, nullptr, nullptr), 0);
    EXPECT_EQ(refresh(catalog), "catalog copied: Tesvo Demo Editor\r\n");
    char engine[260];
    EXPECT_EQ(RefreshCatalog(0, engine, catalog.c_str()), 1);
    // A machine policy's source comes first; one out of reach leaves the catalog as it is.
    const std::string fleetSource = ProgramDir() + "korvante-fleet-source.cfg";
    WriteFileText(fleetSource, "Fleet Product\r\n");
    SetPolicyValue("CatalogSource", fleetSource);
    EXPECT_EQ(refresh(catalog), "catalog copied: Fleet Product\r\n");
    SetPolicyValue("CatalogSource", ProgramDir() + "no-such-share\\Tesvo.cfg");
    EXPECT_EQ(refresh(catalog), "catalog source unreadable: Fleet Product\r\n");
    DeletePolicies();
    ::DeleteFileA(fleetSource.c_str());
    ::DeleteFileA(catalog.c_str());
    ::DeleteFileA(source.c_str());
}

// A link where a temporary file could go (here the fixed name earlier versions
// used) is never written through: the temporary file is always made new.
TEST_F(KorvanteTest, CatalogRefreshNeverWritesThroughALink)
{
    const std::string catalog = ProgramDir() + "korvante-linked.cfg", source = ProgramDir() + "korvante-source.cfg";
    const std::string victim = ProgramDir() + "korvante-victim.txt";
    WriteFileText(victim, "victim");
    WriteFileText(source, "Tesvo Demo Editor\r\n");
    SetEntryValue("", "CatalogSource", source);
    ::DeleteFileA((catalog + ".tmp").c_str());
    ASSERT_TRUE(::CreateHardLinkA((catalog + ".tmp").c_str(), victim.c_str(), nullptr));
    char engine[260] = "";
    RefreshCatalog(0, engine, catalog.c_str());
    EXPECT_EQ(std::string(engine) + ": " + ReadFileText(catalog), "catalog copied: Tesvo Demo Editor\r\n");
    EXPECT_EQ(ReadFileText(victim), "victim");
    EXPECT_EQ(::GetFileAttributesA((catalog + ".tmp").c_str()), INVALID_FILE_ATTRIBUTES) << "the link goes";
    for (const std::string& file : {catalog, catalog + ".tmp", source, victim})
        ::DeleteFileA(file.c_str());
}
