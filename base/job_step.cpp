#include "base/job_step.h"

StepAction StepFor(std::int32_t state, const StepTraits& job) {
    StepAction action;
    switch (state) {
        case kJobReady:
            action.startThread = job.startsThread;
            action.newState = kJobRunning;
            break;
        case kJobRunning:
            action.reportProgress = true;
            break;
        case kJobDownloaded:
            action.countDownload = job.countsDownloads;
            action.releaseJob = true;
            break;
        case kJobFailed:
            action.reportFailure = job.reportsFailure;
            action.releaseJob = job.releasesAfterFailure;
            action.newState = kJobEndedAfterFailure;
            break;
        default:
            break;
    }
    return action;
}
