// Reads the names of a catalog: one name a line, each line ended by a line feed.
//
// Lines are split in place in one fixed buffer, so memory does not grow with the
// file. A line of 1023 bytes or more, or one that holds a zero byte, ends the
// reading; a last line without a line feed is not a name. Depends on the standard
// C library alone, so it builds natively for the fuzzer as well.
#pragma once
#include <cstdio>

// Size of the read buffer; a name is at most kCatalogBufferSize - 2 bytes long.
constexpr size_t kCatalogBufferSize = 1024;

// Receives each name, zero-terminated, valid only during the call.
typedef void (*CatalogNameSink)(const char* name, void* context);

// Hands the names of an open catalog to sink, in file order.
void ReadCatalog(FILE* file, CatalogNameSink sink, void* context);
