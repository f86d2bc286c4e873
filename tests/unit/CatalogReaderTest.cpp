// Reading a catalog file into a product list, held against the plain splitter.
#include "catalog/ProductList.h"
#include "support/WineHelpers.h"
#include "unit/CatalogReference.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <random>

namespace {

std::string TempCatalogPath()
{
    char folder[MAX_PATH];
    ::GetTempPathA(sizeof folder, folder);
    return std::string(folder) + "tesvo-reader-test.cfg";
}

// The names LoadFromFile takes from these bytes, in file order.
std::vector<std::string> LoadNames(const std::string& bytes)
{
    const std::string path = TempCatalogPath();
    WriteFileText(path, bytes);
    CProductList list;
    list.LoadFromFile(path.c_str());
    ::DeleteFileA(path.c_str());
    std::vector<std::string> names;
    for (const char* name = list.First(); name; name = list.Next())
        names.push_back(name);
    std::reverse(names.begin(), names.end());
    return names;
}

std::vector<std::string> Expected(const std::string& bytes) { return ReferenceNames(TextModeView(bytes)); }

} // namespace

TEST(CatalogReader, LinesAcrossManyRefillsMatchThePlainSplitter)
{
    std::mt19937 random(20240613);
    for (int round = 0; round < 40; ++round) {
        const std::string bytes = RandomCatalog(random, 6 * 1024 + random() % 8192, round % 2 == 1);
        ASSERT_EQ(LoadNames(bytes), Expected(bytes)) << "round " << round;
    }
}

TEST(CatalogReader, LongestLineIsTakenWhereverItStarts)
{
    const std::string longest(1022, 'y');
    // A lead line of each length puts the longest line at each start within the first fill.
    for (int lead = -1; lead <= 1022; ++lead) {
        const std::string prefix = lead < 0 ? "" : std::string(lead, 'x') + "\n";
        const std::string bytes = prefix + longest + "\nz\n";
        std::vector<std::string> expected = {longest, "z"};
        if (lead >= 0)
            expected.insert(expected.begin(), std::string(lead, 'x'));
        ASSERT_EQ(LoadNames(bytes), expected) << "lead " << lead;
    }
}

TEST(CatalogReader, LineOf1023BytesEndsTheReadingWhereverItStarts)
{
    const std::string tooLong(1023, 'y');
    for (int lead = -1; lead <= 1022; ++lead) {
        const std::string prefix = lead < 0 ? "" : std::string(lead, 'x') + "\n";
        std::vector<std::string> expected;
        if (lead >= 0)
            expected.push_back(std::string(lead, 'x'));
        ASSERT_EQ(LoadNames(prefix + tooLong + "\nz\n"), expected) << "lead " << lead;
        ASSERT_EQ(LoadNames(prefix + tooLong + "yyyy\r\nz\r\n"), expected) << "lead " << lead;
    }
}

TEST(CatalogReader, ZeroByteEndsTheReadingAtItsLine)
{
    EXPECT_EQ(LoadNames(std::string("Alpha\nBe\0ta\nGamma\n", 18)), std::vector<std::string>{"Alpha"});
    EXPECT_EQ(LoadNames(std::string("\0Alpha\n", 7)), std::vector<std::string>{});
    EXPECT_EQ(LoadNames(std::string("Alpha\n\0\n", 8)), std::vector<std::string>{"Alpha"});

    // A zero byte at many places over several fills, lines of several lengths.
    std::mt19937 random(7);
    const std::string catalog = RandomCatalog(random, 5000, false);
    for (size_t at = 0; at < catalog.size(); at += 61) {
        std::string bytes = catalog;
        bytes[at] = '\0';
        ASSERT_EQ(LoadNames(bytes), Expected(bytes)) << "zero at " << at;
    }
}

TEST(CatalogReader, CtrlZEndsTheFile)
{
    EXPECT_EQ(LoadNames("Alpha\r\nBeta\r\n\x1aGamma\r\n"), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(LoadNames("Alpha\nBe\x1ata\n"), std::vector<std::string>{"Alpha"});

    // Past the first fills. Wine's runtime forgets a Ctrl-Z when the 4096-byte
    // fill that held it is not used up by one read, and reads on behind it;
    // Windows does not. A Ctrl-Z in the file's last 4096 bytes ends it on both.
    std::mt19937 random(11);
    std::string bytes = RandomCatalog(random, 5000, true).substr(0, 5000);
    for (size_t at : {4100, 4500, 4999}) {
        std::string cut = bytes;
        cut.insert(at, "\x1a");
        cut += "After\r\n";
        ASSERT_LT(cut.size(), 8192u);
        EXPECT_EQ(LoadNames(cut), Expected(cut)) << "Ctrl-Z at " << at;
    }
}

TEST(CatalogReader, OnlyLinesEndedByALineFeedAreNames)
{
    EXPECT_EQ(LoadNames("Alpha\nBeta"), std::vector<std::string>{"Alpha"});
    EXPECT_EQ(LoadNames("Alpha"), std::vector<std::string>{});
    EXPECT_EQ(LoadNames(""), std::vector<std::string>{});
    EXPECT_EQ(LoadNames("\n\r\nAlpha\n"), (std::vector<std::string>{"", "", "Alpha"}));
    EXPECT_EQ(LoadNames(std::string(1500, 'x')), std::vector<std::string>{});
}
