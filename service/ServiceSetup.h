// The installer's commands: TesvoService.exe /install and /uninstall.
#pragma once

// Carries out "/install" or "/uninstall"; the program's exit code (0: done).
int RunSetupCommand(const char* argument);
