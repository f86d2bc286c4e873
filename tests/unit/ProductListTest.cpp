// The product list's cursor and its store under the product key.
#include "catalog/ProductList.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

using Names = std::vector<std::string>;

void LoadText(CProductList& list, const std::string& text)
{
    char folder[MAX_PATH];
    ::GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "tesvo-list-test.cfg";
    WriteFileText(path, text);
    list.LoadFromFile(path.c_str());
    ::DeleteFileA(path.c_str());
}

// The names from First on, in list order; leaves the cursor past the end.
Names ListNames(CProductList& list)
{
    Names names;
    for (const char* name = list.First(); name; name = list.Next())
        names.push_back(name);
    return names;
}

std::string CurrentName(const CProductList& list) { return list.Current() ? list.Current() : "(none)"; }

class ProductListStore : public ::testing::Test {
protected:
    void SetUp() override { DeleteProductKey(); }
    void TearDown() override { DeleteProductKey(); }
};

// Blocks handed out by new and not given back yet: shows whether a list frees its nodes.
std::atomic<long> g_liveBlocks{0};

} // namespace

void* operator new(std::size_t size)
{
    if (void* block = std::malloc(size ? size : 1)) {
        ++g_liveBlocks;
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept
{
    if (block)
        --g_liveBlocks;
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

TEST(ProductList, GivesBackEveryNodeWhenItGoes)
{
    const long before = g_liveBlocks;
    {
        CProductList list;
        LoadText(list, "Alpha\nBeta\nGamma\n");
    }
    EXPECT_EQ(before, g_liveBlocks);
}

TEST(ProductList, NewNamesGoInFrontAndTheCursorStaysPastTheEnd)
{
    CProductList list;
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.Current(), nullptr);

    LoadText(list, "Alpha\nBeta\n");
    LoadText(list, "Gamma\n");
    EXPECT_EQ(CurrentName(list), "Gamma");  // loading puts the cursor on the head
    EXPECT_STREQ(list.Next(), "Beta");
    EXPECT_EQ(CurrentName(list), "Beta");
    EXPECT_STREQ(list.Next(), "Alpha");
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.Current(), nullptr);

    // An empty file or a missing one adds nothing but puts the cursor back on the head.
    LoadText(list, "");
    EXPECT_EQ(CurrentName(list), "Gamma");
    list.Next();
    list.LoadFromFile("tesvo-no-such-list.cfg");
    EXPECT_EQ(CurrentName(list), "Gamma");
    EXPECT_EQ(ListNames(list), (Names{"Gamma", "Beta", "Alpha"}));
}

TEST_F(ProductListStore, LoadRunsInReverseOfEnumerationAndAMissingKeyChangesNothing)
{
    CProductList list;
    LoadText(list, "Omega\n");
    list.LoadFromRegistry();
    EXPECT_EQ(ListNames(list), Names{"Omega"});

    RegisterProducts({"Beta", "Alpha", "Gamma", "Delta"});
    Names enumerated = RegisteredProducts();
    list.LoadFromRegistry();
    EXPECT_EQ(CurrentName(list), enumerated.back());
    enumerated.push_back("Omega");
    std::reverse(enumerated.begin(), enumerated.end() - 1);
    EXPECT_EQ(ListNames(list), enumerated);
}

TEST_F(ProductListStore, SaveCreatesEachKeyOnceSkipsNamesThatAreNoKeyAndEndsPastTheEnd)
{
    // The empty name would reopen the product key itself; a backslash nests keys
    // and reads back as its first part.
    RegisterProducts({"Beta"});
    CProductList list;
    LoadText(list, "Alpha\n\n" + std::string(300, 'L') + "\nSuite\\Editor\nBeta\nGamma\nGamma\n");
    list.SaveToRegistry();
    EXPECT_EQ(list.Current(), nullptr);
    EXPECT_EQ(RegisteredProducts(), (Names{"Alpha", "Beta", "Gamma", "Suite"}));   // enumerated sorted
    const char* nested = "SOFTWARE\\Morvane\\Tesvo\\CurrentVersion\\Suite\\Editor";
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, nested, 0, KEY_READ, &key));
    ::RegCloseKey(key);
}

// A standard user may read the product key but not write it: the products are
// still listed, and registering leaves the key as it is.
TEST_F(ProductListStore, ReadOnlyKeyIsListedAndLeftUnchangedByRegistering)
{
    RegisterProducts({"Registered"});
    ProductKeyAccess readOnly("D:P(A;;KR;;;WD)");
    ASSERT_TRUE(readOnly.Applied());

    CProductList listed;
    listed.LoadFromRegistry();
    EXPECT_EQ(ListNames(listed), Names{"Registered"});

    CProductList catalog;
    LoadText(catalog, "Alpha\nBeta\n");
    catalog.SaveToRegistry();
    EXPECT_EQ(CurrentName(catalog), "Beta");
    EXPECT_EQ(RegisteredProducts(), Names{"Registered"});
}
