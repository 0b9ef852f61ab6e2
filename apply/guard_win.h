// The guard component: a resident program in a 32-bit and a 64-bit build whose files can only be
// replaced once it has been asked to quit through its named event.
#pragma once

#include "apply/install_host.h"
#include "manifest/update_item.h"

inline const wchar_t kGuardQuitEvent[] = L"HELVOR3_WARDEL_EVENT_NAME";
constexpr int kGuardStopRounds = 50;

// Step one of applying a guard item: records which of the build's files are selected and hands
// the item to ApplyGuardItem, except a library item whose executable item will replace both.
void DispatchGuardItem(InstallHost& host, const UpdateItem& item);

// Stops the running guard when the new files pass their checks, replaces the library before the
// executable, and runs the item as an installer when it says so.
void ApplyGuardItem(InstallHost& host, const UpdateItem& item);

// The guard-upgrade run: copies newer guard files from the upgrade folder and starts the guard
// with "/fromup".
void SyncGuardFiles(InstallHost& host);
