// Reading a catalog file under the runtime's text mode. The reader itself is
// proven natively (tests/native); what the runtime adds here is CR LF read as
// LF and a Ctrl-Z read as the end of the file.
#include "catalog/ProductList.h"
#include "support/WineHelpers.h"
#include "unit/CatalogReference.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <random>

namespace {

using Names = std::vector<std::string>;

// The names LoadFromFile takes from these bytes, in file order.
Names LoadNames(const std::string& bytes)
{
    char folder[MAX_PATH];
    ::GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "tesvo-reader-test.cfg";
    WriteFileText(path, bytes);
    CProductList list;
    list.LoadFromFile(path.c_str());
    ::DeleteFileA(path.c_str());
    Names names;
    for (const char* name = list.First(); name; name = list.Next())
        names.insert(names.begin(), name);
    return names;
}

} // namespace

TEST(CatalogReader, TextModeEndsLinesAtCrLfAndTheFileAtCtrlZ)
{
    const std::string longest(1022, 'y');
    const struct {
        std::string bytes;
        Names names;
    } rows[] = {
        {"Alpha\r\nBeta\r\n\r\nGamma", {"Alpha", "Beta", ""}},
        // The CR of a line end does not count towards the longest name.
        {longest + "\r\nz\r\n", {longest, "z"}},
        {longest + "y\r\nz\r\n", {}},
        {"Alpha\r\nBeta\r\n\x1aGamma\r\n", {"Alpha", "Beta"}},
        {"Alpha\nBe\x1ata\n", {"Alpha"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LoadNames(row.bytes), row.names) << row.bytes.substr(0, 40);

    // Lines of every length, CR LF and LF mixed, over many refills of the buffer.
    std::mt19937 random(20240613);
    for (int round = 0; round < 12; ++round) {
        std::string bytes = RandomCatalog(random, 6 * 1024 + random() % 8192, true);
        // Past the first fills. Wine's runtime forgets a Ctrl-Z when the 4096-byte
        // fill that held it is not used up by one read; Windows does not. A Ctrl-Z
        // in the file's last fill ends it on both.
        if (round % 3 == 1)
            bytes.insert(bytes.size() / 4096 * 4096 + random() % (bytes.size() % 4096 / 2 + 1), "\x1a");
        ASSERT_EQ(LoadNames(bytes), ReferenceNames(TextModeView(bytes))) << "round " << round;
    }
}
