// The product list: filled from the registry or a catalog file, walked by its
// cursor, and stored back as the registry's product keys.
#include "catalog/ProductList.h"
#include "catalog/CatalogReader.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Registry key names are at most 255 characters; the buffer has room to spare.
constexpr DWORD kKeyNameSize = 260;
}

CProductNode::CProductNode(const char* name) : m_pszName(_strdup(name)), m_pNext(nullptr)
{
    // Out of memory ends the program, as every other allocation does; a node
    // without its name would end every walk of the list there.
    if (!m_pszName)
        abort();
}

CProductNode::~CProductNode()
{
    free(m_pszName);
    m_pszName = nullptr;
    m_pNext = nullptr;
}

CProductList::CProductList() : m_pHead(nullptr), m_pCursor(nullptr) {}

CProductList::~CProductList()
{
    while (m_pHead) {
        CProductNode* next = m_pHead->m_pNext;
        delete m_pHead;
        m_pHead = next;
    }
    m_pCursor = nullptr;
}

void CProductList::PushFront(const char* name)
{
    CProductNode* node = new CProductNode(name);
    node->m_pNext = m_pHead;
    m_pHead = node;
}

void CProductList::LoadFromRegistry()
{
    // Listing needs reading only, which a standard user is granted; full access
    // would be refused and leave the list empty.
    HKEY productKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, KEY_READ, &productKey) != ERROR_SUCCESS)
        return;
    char name[kKeyNameSize];
    for (DWORD index = 0;; ++index) {
        DWORD length = kKeyNameSize;
        if (::RegEnumKeyExA(productKey, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        PushFront(name);
    }
    m_pCursor = m_pHead;
    ::RegCloseKey(productKey);
}

void CProductList::SaveToRegistry()
{
    // Registering writes: where the key allows reading only, nothing is created.
    HKEY productKey;
    DWORD disposition;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &productKey, &disposition) != ERROR_SUCCESS)
        return;
    for (const char* name = First(); name; name = Next()) {
        // A name that cannot be a key is passed over; the others still get theirs.
        HKEY productSubkey;
        if (::RegCreateKeyExA(productKey, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &productSubkey, &disposition) == ERROR_SUCCESS)
            ::RegCloseKey(productSubkey);
    }
    ::RegCloseKey(productKey);
}

void CProductList::LoadFromFile(const char* path)
{
    // Text mode: the runtime turns CR LF into LF and ends the file at a Ctrl-Z.
    if (FILE* file = fopen(path, "r")) {
        ReadCatalog(file, [](const char* name, void* list) { static_cast<CProductList*>(list)->PushFront(name); },
                    this);
        fclose(file);
    }
    m_pCursor = m_pHead;
}

const char* CProductList::First()
{
    m_pCursor = m_pHead;
    return m_pCursor ? m_pCursor->m_pszName : nullptr;
}

const char* CProductList::Next()
{
    // Past the end the cursor stays past the end.
    if (!m_pCursor)
        return nullptr;
    m_pCursor = m_pCursor->m_pNext;
    return m_pCursor ? m_pCursor->m_pszName : nullptr;
}

const char* CProductList::Current() const
{
    return m_pCursor ? m_pCursor->m_pszName : nullptr;
}
