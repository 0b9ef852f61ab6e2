// Start-up of the updater process: the write test, elevation, the single-instance guard and the
// main window's message loop.
#pragma once

#include <windows.h>

#include <string>

// True on systems older than Vista without any test; otherwise when the current token belongs to
// the local Administrators group.
bool IsUserAdmin();

// Starts `file` with `parameters` through the shell with the verb "runas"; the result is ignored.
void RunElevated(const std::wstring& file, const std::wstring& parameters);

// Creates "test.txt" in the directory the session must write to and deletes it again. When that
// fails, relaunches the updater elevated (non-administrators only) and answers false: this
// process must end.
bool PassWriteTest();

// True when this process must end because another instance of the same user runs an enforced
// session. Creates the instance mutex, which lives until the process ends.
bool FindOtherInstance();

// Creates the main window (which runs the check), applies the show rule and runs the message
// loop until the window closes. Returns the loop's exit code.
int Run(HINSTANCE instance);

// Installs the new updater build that this process is, over the installed one, holding the
// relocation mutex while it runs.
void Relocate();

// The relocation mutex's name: the user's logon name followed by "_tallix_orvane_relocation".
std::wstring RelocationMutexName();

// True while a relocation of this user holds its mutex.
bool RelocationUnderWay();

// The close sequence's removal of the updater's backups ("OldVersion" in `moduleDir`), skipped
// while a relocation holds its mutex: its backup may be the only whole updater there is.
void RemoveOldVersion(const std::wstring& moduleDir);

// Runs `command` through "cmd.exe /c " and collects what it writes to its standard output and
// error; false when the command interpreter could not be started.
bool RunCommandCaptured(const std::wstring& command, std::wstring& output);
