// Refreshing the agent's catalog file from the configured source.
#pragma once

// Largest catalog copied; a bigger source is left alone.
constexpr unsigned long kMaxCatalogBytes = 16ul * 1024 * 1024;

// Copies the file named by the CatalogSource machine policy, or else by
// CatalogSource in the product key, onto path: written to
// a new file path + ".<random>.tmp" first (made new: never an existing file or a
// link), then moved over path (where the system has no replacing move, with the
// old catalog moved aside to path + ".old" meanwhile, and put back by the next
// refresh if the machine stopped between the two moves), so readers
// find the old catalog or the new one, never a part. Without a source, or when it cannot be read, is too
// big, or the copy fails, path is left as it was and the result is false (an
// unreadable source is journalled: a share may be out of reach). status
// (may be null) receives a short note of what happened.
bool RefreshCatalogFile(const char* path, char* status);
