// The update library korvante.dll, bound by ordinal (see korvante.def).
//
// Every call is synchronous. Names are zero-terminated 8-bit product names; ""
// addresses the default entry. Time records are filled by the library; callers
// zero them first. Results marked "ignored" are not looked at by the agent.
#pragma once
#include "framework/OleDateTime.h"

#ifdef KORVANTE_BUILD
#define KORVANTE_API extern "C" __declspec(dllexport)
#else
#define KORVANTE_API extern "C"
#endif

// Size of the engine buffer and of the job buffers the agent hands over.
constexpr int kKorvanteBufferSize = 260;

KORVANTE_API int EditSchedule(const char* name);                                        // @3, ignored
KORVANTE_API int RefreshCatalog(int zero, char* engineBuf, const char* catalogPath);    // @4, ignored
KORVANTE_API int RunUpdate(const char* name, char* engineBuf, char* jobA, char* jobB, int zero); // @5, ignored
KORVANTE_API COleDateTime NextScheduledTime(int kind, int b, int a);                    // @6
KORVANTE_API int PrepareUpdate(const char* name, char* jobA, char* jobB);               // @7, ignored
KORVANTE_API int GetSchedule(const char* name, int* x, int* y, int* kind, int* a, int* b); // @9, ignored
KORVANTE_API int PrepareDefault(const char* name, char* engineBuf);                     // @10, ignored
KORVANTE_API int PrepareProduct(const char* name, char* engineBuf);                     // @11, ignored
KORVANTE_API int GetNextTime(const char* name, COleDateTime* time);                     // @12
KORVANTE_API int GetDueTime(const char* name, COleDateTime* time);                      // @13
KORVANTE_API int SetNextTime(const char* name, COleDateTime time);                      // @16, ignored
KORVANTE_API int BeginBatch();                                                          // @17, ignored
KORVANTE_API int EndBatch();                                                            // @18, ignored

// The schedule kind that is never advanced: the agent leaves the default entry's
// time alone for it, and the library runs such an entry once.
constexpr int kKindNotAdvanced = 3;
