// The installer's commands of TesvoService.exe:
//   /install        creates the service (or points it at this program), starts it,
//                   registers the event source and sets the product key's rights;
//                   also the program folder's where its default rights let users
//                   write (outside Program Files, or before Windows 2000)
//   /secure-folder  sets the program folder's rights in any case
//   /stop           stops the service and waits until it has (before an upgrade)
//   /uninstall      stops and deletes the service, removes the event source
// On Windows 95, 98 and Me, which have no services, rights or event log, every
// command succeeds without doing anything.
#pragma once

// The service's name, for the service manager and for the installer's commands.
constexpr char kServiceName[] = "TesvoUpdate";

// 0 on success, otherwise the first failing step's Windows error code
// (ERROR_INVALID_PARAMETER for an unknown command).
int RunSetupCommand(const char* argument);
