// The catalog import at start-up: the update library refreshes the catalog file,
// then the names in it are registered as products.
#include "app/AgentDlg.h"
#include "engine/Korvante.h"
#include "catalog/CatalogPath.h"
#include "catalog/ProductList.h"

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
