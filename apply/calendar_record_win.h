// The calendar product's record of a staged update: when its setup package waits in the upgrade
// folder in a newer version than the installed calendar, the calendar is told where it is.
#pragma once

#include "apply/install_host.h"

// Writes "updatepath", "updateversion" and "updatehistory" under HKCU
// "Software\\Orvane\\Dayloom" when the staged package is newer than the installed calendar,
// deletes them when it is not, and leaves them when either file is missing or the package has
// no version.
void WriteCalendarUpdateRecord(InstallHost& host);
