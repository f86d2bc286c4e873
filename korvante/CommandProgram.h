// Which program an update command runs. Windows reads an unquoted path with
// blanks as the shortest program it can find, so that
//     C:\Program Files\My Product\update.exe /quiet
// would run C:\Program.exe if someone put one there; and it looks for a bare
// name in the current directory too. We name the program ourselves instead.
#pragma once
#include <windows.h>

// Finds the program of command: the quoted text at its start, or its text up to
// the first blank. A full path is taken as it is; a bare file name is looked for
// in the system folder and the Windows folder only, never in PATH or the current
// directory; ".exe" is added to a name without an extension.
// Returns null with program (MAX_PATH bytes) holding the program's full path, or
// the outcome that refuses the command: "unquoted path" for an unquoted path
// followed by more text that could be read two ways: its last part has no
// extension, or the text up to a later blank names an existing file or folder
// too; "failed to start" for any other program that cannot be found this way.
const char* FindCommandProgram(const char* command, char* program);
