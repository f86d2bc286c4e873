#include "../app/AgentDlg.h"
#include "../engine/Korvante.h"
#include "CatalogPath.h"
#include "ProductList.h"

BOOL CAgentDlg::GetCatalogPath(char* buffer)
{
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, kPathBufferSize);
    return ModulePathToCatalogPath(buffer, length, kPathBufferSize);
}

void CAgentDlg::ImportCatalog()
{
    char path[kPathBufferSize];
    if (!GetCatalogPath(path))
        return;

    // The library rewrites the catalog file inside its batch; the file is read
    // only once the batch is closed.
    BeginBatch();
    RefreshCatalog(0, m_szEngineBuf, path);
    EndBatch();

    CProductList products;
    products.LoadFromFile(path);
    products.SaveToRegistry();
}
