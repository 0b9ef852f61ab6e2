// What the session does once a job has its packages: install them, start the closed programs
// again, hand over to a newer updater, tell the caller, and close.
#pragma once

#include <windows.h>

#include "apply/install_host.h"

// UM_DOWNLOAD_DONE: the normal, main-setup or self-update job has its packages.
LRESULT OnDownloadDone(InstallHost& host);
// UM_ENFORCE_DONE: the enforced job has its packages.
LRESULT OnEnforceDone(InstallHost& host);
// UM_PACKAGE_DONE: the suite package is in the temporary folder.
LRESULT OnPackageDone(InstallHost& host);
// UM_ENFORCE_STEP and UM_PACKAGE_STEP.
LRESULT OnEnforceStep(InstallHost& host);
LRESULT OnPackageStep(InstallHost& host);

// Installs the downloaded items of the normal job and starts the closed programs again (or runs
// the suite setup of a full setup). The caller hides the window before and closes it after.
void InstallAndRelaunch(InstallHost& host);

// The main button once the session has finished: InstallAndRelaunch.
void RunFinishingAction(InstallHost& host);

// The guard component's upkeep run.
void RunGuardUpgrade(InstallHost& host);
