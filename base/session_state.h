// The session state shared by the session, its window, the download jobs and the installers, and the private
// messages that carry the session from check to finish.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// Private window messages (WM_USER + 66 ...). Handlers do not read the parameters; a job passes
// wParam 1 with the step that follows a failed item.
constexpr unsigned kWmUser = 0x0400;
constexpr unsigned UM_DOWNLOAD_STEP = kWmUser + 66;  // 1090
constexpr unsigned UM_DOWNLOAD_DONE = kWmUser + 67;
constexpr unsigned UM_ENFORCE_DONE = kWmUser + 68;
constexpr unsigned UM_ENFORCE_STEP = kWmUser + 69;
constexpr unsigned UM_PACKAGE_STEP = kWmUser + 70;
constexpr unsigned UM_PACKAGE_DONE = kWmUser + 71;
constexpr unsigned UM_QUERY_ENFORCE = kWmUser + 72;  // 1096

// States of a job on its downloader pair.
enum JobState : std::int32_t {
    kJobEndedAfterFailure = 0,
    kJobReady = 1,
    kJobRunning = 2,
    kJobDownloaded = 3,
    kJobFailed = 4,
};

// Which job the normal step starts.
enum JobKind : std::int32_t {
    kJobNone = 0,
    kJobNormalUpdate = 1,
    kJobMainSetup = 2,
    kJobSelfUpdate = 3,
};

// Flags and states are written whole by one side at a time (the job writes its state, the window
// reads it while the job waits or after it posted); the package path has a lock of its own.
struct SessionState {
    std::atomic<bool> updatesAvailable{false};
    std::atomic<bool> productUpdatePending{false};
    std::atomic<bool> historyExpanded{false};
    std::atomic<std::int32_t> setupKind{0};
    std::atomic<std::int32_t> normalJobState{kJobReady};
    std::atomic<std::int32_t> enforcedJobState{kJobReady};
    std::atomic<std::int32_t> packageJobState{kJobEndedAfterFailure};
    std::atomic<bool> jobIdle{true};
    std::atomic<bool> jobFinished{false};
    std::atomic<std::int32_t> downloadedCount{0};
    // The new updater build was started to take this one's place. It writes its backup into
    // "OldVersion" while this process closes, so this close leaves that folder alone; the next
    // ordinary run's close removes it.
    std::atomic<bool> handedOver{false};

    std::wstring LastPackagePath() const {
        std::lock_guard<std::mutex> lock(pathLock_);
        return lastPackagePath_;
    }
    void SetLastPackagePath(const std::wstring& path) {
        std::lock_guard<std::mutex> lock(pathLock_);
        lastPackagePath_ = path;
    }

    // Back to the values the window starts with.
    void Reset() {
        updatesAvailable = false;
        productUpdatePending = false;
        historyExpanded = false;
        setupKind = 0;
        normalJobState = kJobReady;
        enforcedJobState = kJobReady;
        packageJobState = kJobEndedAfterFailure;
        jobIdle = true;
        jobFinished = false;
        downloadedCount = 0;
        handedOver = false;
        SetLastPackagePath(std::wstring());
    }

    bool AnyJobRunning() const {
        return normalJobState == kJobRunning || enforcedJobState == kJobRunning ||
               packageJobState == kJobRunning;
    }
    bool AnyJobPastRunning() const {
        return normalJobState > kJobRunning || enforcedJobState > kJobRunning ||
               packageJobState > kJobRunning;
    }

  private:
    mutable std::mutex pathLock_;
    std::wstring lastPackagePath_;
};

// The process-wide session state.
inline SessionState& Session() {
    static SessionState state;
    return state;
}
