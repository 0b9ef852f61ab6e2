// The update decision's view of this Windows machine: registry values through RegistryKey, file
// existence, the product version of executables and the user's local application-data folder.
#pragma once

#include <string>

#include "base/registry_win.h"
#include "manifest/update_decision.h"

// The running updater's directory with its trailing backslash (the suite directory); empty when
// the module path cannot be read.
std::wstring ModuleDirectory();

// The user's local application-data folder, created when missing; empty on failure.
std::wstring LocalAppDataFolder();

// Registry strings (HKCU or HKLM, opened with the location's view modifier) and file existence.
// `wow64` is taken from the process.
ProductProbe WindowsProductProbe();

// The machine for the decision. `suiteDirectory` is the main window's module directory; the
// second plug-in directory is left empty.
DecisionMachine WindowsDecisionMachine(const std::wstring& suiteDirectory = ModuleDirectory());

// The updater's own key, HKCU "Software\\Orvane\\Tallix", where it keeps what it must remember
// between sessions.
RegistryKey UpdaterRegistryKey();
