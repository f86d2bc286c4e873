// TesvoService.exe /install and /secure-folder, in-process: the steps stop at
// the first that fails, and the program folder gets Administrators as its
// owner, or is refused when someone else may write it.
#include "service/ServiceSetup.h"
#include "korvante/SystemCalls.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <sddl.h>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

std::string g_done;        // the steps run, in order
std::string g_failing;     // the step that fails

DWORD Step(const char* name)
{
    g_done += std::string(g_done.empty() ? "" : ",") + name;
    return g_failing == name ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}
DWORD Key() { return Step("key"); }
DWORD Folder(const char*) { return Step("folder"); }
DWORD Events(const char*) { return Step("events"); }
DWORD Service(const char*) { return Step("service"); }
DWORD Recovery() { return Step("recovery"); }
DWORD Pipe() { return Step("pipe"); }

// Files' owners and rights as Windows keeps them, which Wine does not (it makes
// them up from the file's mode): what was set, owner and list together (as
// SecureFolder sets them), is what is read back.
std::map<std::string, std::vector<BYTE>> g_kept;

BOOL WINAPI KeepSecurity(const char* path, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR given)
{
    DWORD size = ::GetSecurityDescriptorLength(given);
    std::vector<BYTE> relative(size);
    if (static_cast<SECURITY_DESCRIPTOR*>(given)->Control & SE_SELF_RELATIVE)
        std::memcpy(relative.data(), given, size);
    else if (!::MakeSelfRelativeSD(given, relative.data(), &size))
        return FALSE;
    g_kept[path] = relative;
    return TRUE;
}

BOOL WINAPI KeptSecurity(const char* path, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                         DWORD* needed)
{
    const auto kept = g_kept.find(path);
    if (kept == g_kept.end())
        return ::GetFileSecurityA(path, what, descriptor, size, needed);
    *needed = static_cast<DWORD>(kept->second.size());
    if (size < *needed)
        return (::SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE);
    std::memcpy(descriptor, kept->second.data(), *needed);
    return TRUE;
}

// A file's owner and access list as SDDL, as the system keeps them.
std::string Rights(const std::string& path)
{
    BYTE buffer[4096];
    DWORD needed = 0;
    char* text = nullptr;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (!KeptSecurity(path.c_str(), what, buffer, sizeof buffer, &needed) ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer, SDDL_REVISION_1, what, &text, nullptr))
        return "unreadable";
    const std::string sddl = text;
    ::LocalFree(text);
    return sddl;
}

void SetRights(const std::string& path, const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    KeepSecurity(path.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
}

} // namespace

TEST(InstallStepsTest, InstallStopsAtTheFirstStepThatFails)
{
    InstallSteps& steps = SetupSteps();
    const InstallSteps real = steps;
    steps = InstallSteps{Key, Folder, Events, Service, Recovery, Pipe};
    const std::string cases[][3] = {
        {"key", "key", "5"},
        {"folder", "key,folder", "5"},
        {"pipe", "key,folder,events,service,recovery,pipe", "5"},
        {"", "key,folder,events,service,recovery,pipe", "0"},
    };
    for (const auto& test : cases) {
        g_done.clear(), g_failing = test[0];
        const int result = RunSetupCommand("/install");
        EXPECT_EQ(g_done + " " + std::to_string(result), test[1] + " " + test[2]) << "failing: " << test[0];
    }
    steps = real;
}

TEST(InstallStepsTest, TheProgramFolderIsOwnedByAdministratorsOrRefused)
{
    System().getFileSecurity = KeptSecurity, System().setFileSecurity = KeepSecurity;
    g_kept.clear();
    const std::string folder = ProgramDir() + "korvante-program-folder", file = folder + "\\Tesvo.exe";
    ::DeleteFileA(file.c_str());
    ::RemoveDirectoryA(folder.c_str());
    // Made new: owned by Administrators, and so is what is put in it later.
    const std::string secured = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
    EXPECT_EQ(SecureProgramFolder(folder.c_str()), 0u);
    EXPECT_EQ(Rights(folder), secured);
    WriteFileText(file, "program");
    SetRights(file, "O:SYD:(A;;FA;;;WD)");
    EXPECT_EQ(SecureProgramFolder(folder.c_str()), 0u);
    EXPECT_EQ(Rights(file), secured);
    // One that users may write, or that a user owns, is refused and left as it is.
    for (const char* sddl : {"O:BAD:(A;;FA;;;BA)(A;;0x1201bf;;;BU)", "O:BAD:(A;;FA;;;BA)(A;;GA;;;WD)", "O:BUD:(A;;FA;;;BA)"}) {
        SetRights(folder, sddl);
        EXPECT_EQ(SecureProgramFolder(folder.c_str()), static_cast<DWORD>(ERROR_INVALID_OWNER)) << sddl;
        EXPECT_EQ(Rights(folder), sddl);
    }
    ResetSystemCalls();
    ::DeleteFileA(file.c_str());
    ::RemoveDirectoryA(folder.c_str());
}
