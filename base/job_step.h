// What a job's step message does, by the job's state. One scheme serves the normal, the enforced
// and the package job; what they differ in is a row of traits.
#pragma once

#include <cstdint>

#include "base/session_state.h"

struct StepAction {
    bool startThread = false;     // ready: start the job thread
    bool reportProgress = false;  // running: show the percent and tell the caller
    bool countDownload = false;   // downloaded: one more package
    bool reportFailure = false;   // failed: tell the caller (status 3, 100 percent)
    bool releaseJob = false;      // the job may go on with its next item
    std::int32_t newState = -1;   // the state afterwards; -1 leaves it
};

struct StepTraits {
    bool startsThread;          // the ready state starts the job's thread
    bool countsDownloads;       // a downloaded item counts towards downloadedCount
    bool reportsFailure;        // a failed item is reported to the caller
    bool releasesAfterFailure;  // a failed item lets the job go on with its next item
};

// The normal job is started by its first step; the enforced and package jobs are started by the
// check. A failed enforced item releases its job so that the hidden enforced run goes on with
// its next item; the package job has one item and tells nobody.
inline constexpr StepTraits kNormalJobSteps{true, true, true, true};
inline constexpr StepTraits kEnforcedJobSteps{false, false, true, true};
inline constexpr StepTraits kPackageJobSteps{false, false, false, false};

StepAction StepFor(std::int32_t state, const StepTraits& job);
