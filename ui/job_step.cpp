#include "ui/job_step.h"

StepAction StepFor(std::int32_t state, bool startsThread) {
    StepAction action;
    switch (state) {
        case kJobReady:
            action.startThread = startsThread;
            action.newState = kJobRunning;
            break;
        case kJobRunning:
            action.reportProgress = true;
            break;
        case kJobDownloaded:
            action.countDownload = true;
            action.releaseJob = true;
            break;
        case kJobFailed:
            action.reportFailure = true;
            action.releaseJob = true;
            action.newState = kJobEndedAfterFailure;
            break;
        default:
            break;
    }
    return action;
}
