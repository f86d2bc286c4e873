// The registered products as an owning singly linked list of names with one
// cursor. New names go in front of the head, so a list runs in the reverse of the
// order its names were read. A list lives inside one message handler.
#pragma once
#include "engine/ProductKey.h"
#include "framework/Wnd.h"

class CProductNode : public CWnd {
public:
    explicit CProductNode(const char* name);
    ~CProductNode() override;

    char* m_pszName;
    CProductNode* m_pNext;

protected:
    BEGIN_MSG_MAP(CWnd)
    END_MSG_MAP()
};

class CProductList : public CWnd {
public:
    CProductList();
    ~CProductList() override;

    void LoadFromRegistry();
    void SaveToRegistry();
    void LoadFromFile(const char* path);

    const char* First();
    const char* Next();
    const char* Current() const;

    CProductNode* m_pHead;
    CProductNode* m_pCursor;

protected:
    BEGIN_MSG_MAP(CWnd)
    END_MSG_MAP()

private:
    void PushFront(const char* name);
};
