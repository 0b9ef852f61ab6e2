// The jobs' transfers are not built yet: starting a job starts nothing, so the window stays in
// its running state without progress and the user can still close it.
#include "download/download_jobs_win.h"

void StartNormalUpdateJob(JobHost&) {}
void StartMainSetupJob(JobHost&) {}
void StartSelfUpdateJob(JobHost&) {}
void StartEnforcedJob(JobHost&) {}
void StartPackageJob(JobHost&) {}
void StopNormalDownloader() {}
int NormalDownloadPercent() {
    return 0;
}
int EnforcedDownloadPercent() {
    return 0;
}
int PackageDownloadPercent() {
    return 0;
}
