// What the window does once a job has its packages: install them and relaunch.
#pragma once

#include <windows.h>

class CMainFrame;

LRESULT OnDownloadDone(CMainFrame& frame);
LRESULT OnEnforceDone(CMainFrame& frame);
LRESULT OnPackageDone(CMainFrame& frame);

// Starts the updated programs again (the main button once the session has finished).
void RunFinishingAction(CMainFrame& frame);

// The guard component's upkeep run.
void RunGuardUpgrade(CMainFrame& frame);
