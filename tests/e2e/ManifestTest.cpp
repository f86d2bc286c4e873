// The shipped program tells today's Windows how to run it: as its caller, never
// elevated, with no per-user copies of its registry and file writes.
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>

TEST(Manifest, ProgramRunsAsInvokerOnEveryWindowsFromVista)
{
    const HMODULE program = ::LoadLibraryExA((ProgramDir() + "Tesvo.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program);
    const HRSRC resource = ::FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, resource) << "no manifest";
    const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(program, resource))),
                               ::SizeofResource(program, resource));
    ::FreeLibrary(program);
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
    // Vista, 7, 8, 8.1, and 10 and 11.
    for (const char* system : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                               "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                               "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
        EXPECT_NE(std::string::npos, manifest.find(system)) << system;
}
