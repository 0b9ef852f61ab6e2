// The download jobs: worker threads that bring packages into the upgrade folders and report
// each one to the main window by its private messages.
#pragma once

class JobHost;

// The jobs, each started on a thread of its own with the window that hosts them.
void StartNormalUpdateJob(JobHost& host);
void StartMainSetupJob(JobHost& host);
void StartSelfUpdateJob(JobHost& host);
void StartEnforcedJob(JobHost& host);
void StartPackageJob(JobHost& host);

// Stops the normal job's running download.
void StopNormalDownloader();

// The percentage of each downloader pair's current download.
int NormalDownloadPercent();
int EnforcedDownloadPercent();
int PackageDownloadPercent();

// Computes the per-user upgrade folder and creates the upgrade folders the jobs write to.
void EnsureUpgradeFolders(JobHost& host);
