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
DWORD Pipe() { return Step("pipe"); }

// Files' owners and rights as Windows keeps them, which Wine does not (it makes
// them up from the file's mode): what was set is what is read back.
std::map<std::string, std::vector<BYTE>> g_kept;

BOOL WINAPI KeepSecurity(const char* path, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR given)
{
    SECURITY_DESCRIPTOR merged;
    ::InitializeSecurityDescriptor(&merged, SECURITY_DESCRIPTOR_REVISION);
    PSID owner = nullptr;
    ACL* acl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    const std::vector<BYTE> kept = g_kept[path];
    if (!kept.empty()) {
        ::GetSecurityDescriptorOwner(const_cast<BYTE*>(kept.data()), &owner, &defaulted);
        ::GetSecurityDescriptorDacl(const_cast<BYTE*>(kept.data()), &present, &acl, &defaulted);
    }
    if (what & OWNER_SECURITY_INFORMATION)
        ::GetSecurityDescriptorOwner(given, &owner, &defaulted);
    if (what & DACL_SECURITY_INFORMATION)
        ::GetSecurityDescriptorDacl(given, &present, &acl, &defaulted);
    ::SetSecurityDescriptorOwner(&merged, owner, FALSE);
    ::SetSecurityDescriptorDacl(&merged, TRUE, acl, FALSE);
    merged.Control |= static_cast<SECURITY_DESCRIPTOR*>(given)->Control & SE_DACL_PROTECTED;
    DWORD size = 0;
    ::MakeSelfRelativeSD(&merged, nullptr, &size);
    std::vector<BYTE> relative(size);
    if (!::MakeSelfRelativeSD(&merged, relative.data(), &size))
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

void SetRights(const std::string& path, const char* sddl, SECURITY_INFORMATION what)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_DESCRIPTOR absolute;
    ::InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
    PSID owner = nullptr;
    ACL* acl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    ::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);
    ::SetSecurityDescriptorOwner(&absolute, owner, FALSE);
    ::SetSecurityDescriptorDacl(&absolute, present, acl, FALSE);
    KeepSecurity(path.c_str(), what, &absolute);
    ::LocalFree(descriptor);
}

} // namespace

TEST(InstallStepsTest, InstallStopsAtTheFirstStepThatFails)
{
    InstallSteps& steps = SetupSteps();
    const InstallSteps real = steps;
    steps = InstallSteps{Key, Folder, Events, Service, Pipe};
    const std::string cases[][3] = {
        {"key", "key", "5"},
        {"folder", "key,folder", "5"},
        {"service", "key,folder,events,service", "5"},
        {"pipe", "key,folder,events,service,pipe", "5"},
        {"", "key,folder,events,service,pipe", "0"},
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
    SetRights(file, "O:SYD:(A;;FA;;;WD)", OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    EXPECT_EQ(SecureProgramFolder(folder.c_str()), 0u);
    EXPECT_EQ(Rights(file), secured);
    // One that users may write, or that a user owns, is refused and left as it is.
    const struct {
        const char* sddl;
        SECURITY_INFORMATION what;
    } refused[] = {
        {"D:(A;;FA;;;BA)(A;;0x1201bf;;;BU)", DACL_SECURITY_INFORMATION},
        {"D:(A;;FA;;;BA)(A;;GA;;;WD)", DACL_SECURITY_INFORMATION},
        {"O:BU", OWNER_SECURITY_INFORMATION},
    };
    for (const auto& test : refused) {
        SetRights(folder, "O:BAD:(A;;FA;;;BA)", OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
        SetRights(folder, test.sddl, test.what);
        const std::string before = Rights(folder);
        EXPECT_EQ(SecureProgramFolder(folder.c_str()), static_cast<DWORD>(ERROR_INVALID_OWNER)) << test.sddl;
        EXPECT_EQ(Rights(folder), before) << test.sddl;
    }
    ResetSystemCalls();
    ::DeleteFileA(file.c_str());
    ::RemoveDirectoryA(folder.c_str());
}
