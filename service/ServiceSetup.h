// The installer's commands of TesvoService.exe:
//   /install        sets the product key's rights, secures the program folder,
//                   registers the event source, creates the service (or points it
//                   at this program), starts it and checks that the pipe is its;
//                   stops at the first step that fails (no service over a key or
//                   folder users could still write), saying which on stderr
//   /secure-folder [FOLDER]  secures FOLDER (default this program's), made if
//                   missing: owner Administrators; administrators and SYSTEM full,
//                   users read and run, nothing inherited; an existing folder that
//                   someone else owns or may write is refused (ERROR_INVALID_OWNER).
//                   The installer runs it from a private copy before it puts
//                   anything into the folder.
//   /stop           stops the service and waits until it has (before an upgrade)
//   /uninstall      stops and deletes the service, removes the event source
// On Windows 95, 98 and Me, which have no services, rights or event log, every
// command succeeds without doing anything.
#pragma once
#include "korvante/ServiceClient.h"

// The service's name, for the service manager and for the installer's commands.
static constexpr const auto& kServiceName = kUpdateServiceName;

// /install's steps in their order, each answering 0 or a Windows error code;
// the in-process tests replace them.
struct InstallSteps {
    DWORD (*secureProductKey)();
    DWORD (*secureProgramFolder)(const char* folder);
    DWORD (*registerEventSource)(const char* program);
    DWORD (*installService)(const char* program);
    DWORD (*setRecoveryActions)();
    DWORD (*checkServicePipe)();
};
InstallSteps& SetupSteps();

// Secures the folder, made if missing, as /secure-folder does.
DWORD SecureProgramFolder(const char* folder);

// 0 on success, otherwise the first failing step's Windows error code
// (ERROR_INVALID_PARAMETER for an unknown command).
int RunSetupCommand(const char* argument);
