// Applying one update item on the window's thread: its program is closed and remembered for a
// relaunch, then its package is copied over the installed file or run as an installer.
#pragma once

#include <windows.h>

#include "apply/install_host.h"
#include "manifest/update_item.h"

// Applies an item whose package is downloaded and confirmed.
void ApplyItem(InstallHost& host, UpdateItem& item);

// Closes the running program that the item replaces, adding relaunch entries for what it closed.
void CloseItemProgram(InstallHost& host, const UpdateItem& item);

// The closing loop for one window of the item's program: at most 10 rounds after the first,
// 50 ms each, ending the item's processes by name in every round.
void WaitProgramGone(InstallHost& host, HWND window, const UpdateItem& item);

// The suite setup package of a full setup, from the upgrade folder; the window then closes.
void RunSuiteSetupFromUpgrade(InstallHost& host);

// The suite package that the package job put in the temporary folder, after its checks (unless
// the caller asked for no run); the window then closes.
void RunSuiteSetupFromTemp(InstallHost& host);
