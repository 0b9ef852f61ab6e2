// Processes and windows of the suite's programs: ending them by image name, finding the guard,
// and starting programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Ends every process whose image name is `name` + ".exe" (any case) and whose image lies in one
// of `folders` (the suite's folders; see ImageInFolders), with exit code 0. A process whose image
// path cannot be read is left running.
void TerminateByName(const std::wstring& name, const std::vector<std::wstring>& folders);

// The full path of a process's image; empty when it cannot be read.
std::wstring ProcessImagePath(DWORD processId);

// True when a guard process runs; `name` becomes "wardel" or "wardel_x64".
bool FindGuardProcess(std::wstring& name);

// Starts a command line (handles inherited, shown); true when the process was created. Nothing
// waits for it.
bool RunCommandLine(const std::wstring& commandLine, const std::wstring& workingDirectory);

// The shell's "open" with no working directory, shown; the result is not checked.
void ShellOpen(HWND owner, const std::wstring& file, const std::wstring& parameters);

// Starts `program` through the Windows directory's explorer, as the signed-in user.
void RunThroughExplorer(const std::wstring& program);

// The top-level window of a class; null for an empty class name or when there is none.
HWND FindTopWindow(const std::wstring& className);
