// The reader on its own, natively and under the sanitizers. Here no runtime
// turns CR LF into LF, so the plain splitter sees the bytes as they are.
#include "tests/native/NativeCatalog.h"
#include <gtest/gtest.h>
#include <random>

TEST(CatalogReaderNative, RandomCatalogsMatchThePlainSplitter)
{
    std::mt19937 random(5);
    for (int round = 0; round < 500; ++round) {
        std::string bytes = RandomCatalog(random, random() % 20000, round % 2 == 1);
        // Now and then a line too long, or a zero byte, somewhere in the file.
        if (round % 5 == 1)
            bytes.insert(random() % (bytes.size() + 1), std::string(1023 + random() % 40, 'L'));
        if (round % 5 == 2 && !bytes.empty())
            bytes[random() % bytes.size()] = '\0';
        if (round % 7 == 3)
            bytes += "no line feed";
        ASSERT_EQ(ReadNames(bytes), ReferenceNames(bytes)) << "round " << round;
    }
}

TEST(CatalogReaderNative, EveryStartOfTheLongestAndTheFirstTooLongLine)
{
    // Empty lines in front put the long line at every start over three fills.
    for (size_t start = 0; start <= 3 * 1023; ++start) {
        for (size_t length : {1021, 1022, 1023, 1024}) {
            const std::string bytes = std::string(start, '\n') + std::string(length, 'y') + "\nz\n";
            ASSERT_EQ(ReadNames(bytes), ReferenceNames(bytes)) << "start " << start << " length " << length;
        }
    }
}
