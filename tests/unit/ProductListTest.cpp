// The product list's cursor and its store under the product key.
#include "catalog/ProductList.h"
#include "support/WineHelpers.h"
#include <gtest/gtest.h>
#include <algorithm>

namespace {

using Names = std::vector<std::string>;

std::string TempCatalogPath()
{
    char folder[MAX_PATH];
    ::GetTempPathA(sizeof folder, folder);
    return std::string(folder) + "tesvo-list-test.cfg";
}

void LoadText(CProductList& list, const std::string& text)
{
    const std::string path = TempCatalogPath();
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

Names Sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

std::string CurrentName(const CProductList& list) { return list.Current() ? list.Current() : "(none)"; }

bool KeyExists(const char* path)
{
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

class ProductListStore : public ::testing::Test {
protected:
    void SetUp() override { DeleteProductKey(); }
    void TearDown() override { DeleteProductKey(); }
};

} // namespace

TEST(ProductList, CursorWalksNewestFirstAndStaysPastTheEnd)
{
    CProductList list;
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.Current(), nullptr);

    LoadText(list, "Alpha\nBeta\nGamma\n");
    EXPECT_EQ(CurrentName(list), "Gamma");  // loading puts the cursor on the head
    EXPECT_STREQ(list.Next(), "Beta");
    EXPECT_EQ(CurrentName(list), "Beta");
    EXPECT_EQ(CurrentName(list), "Beta");
    EXPECT_STREQ(list.Next(), "Alpha");
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.Current(), nullptr);
    EXPECT_STREQ(list.First(), "Gamma");
}

TEST(ProductList, FileNamesGoInFrontOfThoseAlreadyHeld)
{
    CProductList list;
    LoadText(list, "Alpha\nBeta\n");
    LoadText(list, "Gamma\n");
    EXPECT_EQ(ListNames(list), (Names{"Gamma", "Beta", "Alpha"}));

    // An empty file or a missing one adds nothing but puts the cursor back on the head.
    list.Next();
    LoadText(list, "");
    EXPECT_EQ(CurrentName(list), "Gamma");
    list.Next();
    list.LoadFromFile((TempCatalogPath() + ".missing").c_str());
    EXPECT_EQ(CurrentName(list), "Gamma");
    EXPECT_EQ(ListNames(list), (Names{"Gamma", "Beta", "Alpha"}));
}

TEST_F(ProductListStore, LoadRunsInReverseOfEnumeration)
{
    RegisterProducts({"Beta", "Alpha", "Gamma", "Delta"});
    Names enumerated = RegisteredProducts();
    ASSERT_EQ(enumerated.size(), 4u);

    CProductList list;
    list.LoadFromRegistry();
    EXPECT_EQ(CurrentName(list), enumerated.back());
    std::reverse(enumerated.begin(), enumerated.end());
    EXPECT_EQ(ListNames(list), enumerated);
}

TEST_F(ProductListStore, SaveCreatesEachNameOnceAndLeavesTheCursorPastTheEnd)
{
    RegisterProducts({"Beta"});
    CProductList list;
    LoadText(list, "Alpha\nBeta\nGamma\nGamma\n");
    list.SaveToRegistry();
    EXPECT_EQ(list.Current(), nullptr);
    EXPECT_EQ(Sorted(RegisteredProducts()), (Names{"Alpha", "Beta", "Gamma"}));
}

TEST_F(ProductListStore, NamesThatAreNoKeyAreSkippedAndTheRestSaved)
{
    // List order: Omega, too long, "", Alpha. The empty name reopens the product key itself.
    CProductList list;
    LoadText(list, "Alpha\n\n" + std::string(300, 'L') + "\nOmega\n");
    list.SaveToRegistry();
    EXPECT_EQ(Sorted(RegisteredProducts()), (Names{"Alpha", "Omega"}));
}

TEST_F(ProductListStore, NameWithBackslashMakesNestedKeysAndReadsBackAsItsFirstPart)
{
    CProductList saved;
    LoadText(saved, "Suite\\Editor\nPlain\n");
    saved.SaveToRegistry();
    EXPECT_TRUE(KeyExists("SOFTWARE\\Morvane\\Tesvo\\CurrentVersion\\Suite\\Editor"));

    CProductList loaded;
    loaded.LoadFromRegistry();
    EXPECT_EQ(Sorted(ListNames(loaded)), (Names{"Plain", "Suite"}));
}

TEST_F(ProductListStore, MissingProductKeyLeavesTheListAsItWas)
{
    CProductList list;
    LoadText(list, "Alpha\nBeta\n");
    list.Next();
    list.LoadFromRegistry();
    EXPECT_EQ(CurrentName(list), "Alpha");
    EXPECT_EQ(ListNames(list), (Names{"Beta", "Alpha"}));
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
