// Reading a catalog file under the runtime's text mode. The reader itself is
// proven natively (tests/native); what the runtime adds here is CR LF read as
// LF and a Ctrl-Z read as the end of the file.
#include "catalog/ProductList.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>

TEST(CatalogReader, TextModeEndsLinesAtCrLfAndTheFileAtCtrlZ)
{
    using Names = std::vector<std::string>;
    const std::string path = ProgramDir() + "tesvo-reader-test.cfg", longest(1022, 'y');
    const struct {
        std::string bytes;
        Names names;
    } rows[] = {
        {"Alpha\r\nBeta\r\n\r\nGamma", {"Alpha", "Beta", ""}},
        // The CR of a line end does not count towards the longest name; this one
        // also runs over the first fill of the reader's buffer.
        {"Alpha\r\n" + longest + "\r\nz\r\n", {"Alpha", longest, "z"}},
        {longest + "y\r\nz\r\n", {}},
        {"Alpha\r\nBeta\r\n\x1aGamma\r\n", {"Alpha", "Beta"}},
        {"Alpha\nBe\x1ata\n", {"Alpha"}},
    };
    for (const auto& row : rows) {
        WriteFileText(path, row.bytes);
        CProductList list;
        list.LoadFromFile(path.c_str());
        Names names;
        for (const char* name = list.First(); name; name = list.Next())
            names.insert(names.begin(), name);
        EXPECT_EQ(names, row.names) << row.bytes.substr(0, 40);
    }
    ::DeleteFileA(path.c_str());
}
