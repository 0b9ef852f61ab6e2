// Starting the programs that were closed for an installation, by the two relaunch tables.
#pragma once

#include "apply/install_host.h"

// After the normal job: every entry not run as an installer, by the finishing table; then the
// guard with "-copyfile" when `startGuard` (an item's file name is "wardel" or "wardel_x64") and
// no entry started it, and the older main window's program once more for the main program's own
// run.
void RelaunchAfterInstall(InstallHost& host, bool startGuard);

// After the enforced run: every entry not run as an installer, once its dependencies exist, by
// the enforced table.
void RelaunchAfterEnforced(InstallHost& host);
