// The download jobs: worker threads that bring packages into the upgrade folders and report
// each one to the main window by its private messages.
#pragma once

class CMainFrame;

// The jobs, each started on a thread of its own with the frame.
void StartNormalUpdateJob(CMainFrame& frame);
void StartMainSetupJob(CMainFrame& frame);
void StartSelfUpdateJob(CMainFrame& frame);
void StartEnforcedJob(CMainFrame& frame);
void StartPackageJob(CMainFrame& frame);

// Stops the normal job's running download.
void StopNormalDownloader();

// The percentage of each downloader pair's current download.
int NormalDownloadPercent();
int EnforcedDownloadPercent();
int PackageDownloadPercent();

// Computes the per-user upgrade folder and creates the upgrade folders the jobs write to.
void EnsureUpgradeFolders(CMainFrame& frame);
