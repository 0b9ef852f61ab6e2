// What a job's step message does, by the job's state. The same scheme serves the normal, the
// enforced and the package job; only the normal job starts its thread from the ready state.
#pragma once

#include <cstdint>

#include "app/session_state.h"

struct StepAction {
    bool startThread = false;     // ready: start the job thread (normal job only)
    bool reportProgress = false;  // running: copy the percent, repaint, notice status 1
    bool countDownload = false;   // downloaded: one more package
    bool reportFailure = false;   // failed: notice status 3 with 100 percent
    bool releaseJob = false;      // the job may go on with its next item
    std::int32_t newState = -1;   // the state afterwards; -1 leaves it
};

StepAction StepFor(std::int32_t state, bool startsThread);
