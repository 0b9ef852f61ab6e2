// The five download jobs are one procedure; this table holds everything in which they differ.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/session_state.h"
#include "manifest/update_item.h"

enum class DownloadJobId { Normal, Enforced, Package, MainSetup, SelfUpdate };

// Which of the window's three downloader pairs a job uses.
enum class DownloaderPairId { First, Second, Third };

// Where a job's package goes.
enum class Destination {
    ProgramFolder,        // "<moduleDir>\upgrade\<file>"
    ProgramOrUserFolder,  // the per-user upgrade folder for placement kind 1
    TemporaryFolder,      // "<temp>\<file>"
};

// Which version the downloaded file must have.
enum class VersionCheck { None, ItemVersion, LatestUpdaterVersion };

// How a job uses the jobIdle hand-over with the window.
enum class IdleUse {
    WaitForWindow,  // waits before each item, clears it while working, sets it for a skip
    ClearOnly,      // single-file jobs: cleared at the start, never waited for
    None,           // the package job neither reads nor writes it
};

struct DownloadJobSpec {
    DownloadJobId id;
    DownloaderPairId pair;
    std::atomic<std::int32_t> SessionState::*state;
    unsigned stepMessage;
    unsigned doneMessage;
    Destination destination;
    std::uint64_t sizeLimit;  // a redirected download smaller than this is suspicious
    VersionCheck versionCheck;
    IdleUse idle;
    bool perItem;                // runs over list items (else one file)
    bool ensuresFolders;         // calls EnsureUpgradeFolders first
    bool preCheck;               // skips a package already in place with the item's version
    bool pausesBeforeRetry;      // 100 ms before acting on a suspicious download
    bool invalidatesBeforeDone;  // repaints the whole window before the final message
    bool setsJobFinished;        // jobFinished := true before the final message
};

const DownloadJobSpec& JobSpec(DownloadJobId id);

// Whether a per-item job takes an item. The package job takes only the first item whose tag is
// "keldrasetup" (when a package is to be installed) or "keldrasetup_silent"; the self-update job
// the item tagged exactly "tallix".
bool JobTakesItem(DownloadJobId id, const UpdateItem& item, bool installPackage);

// The destination path of a package.
struct DestinationInput {
    std::wstring moduleDir;          // with its trailing backslash
    std::wstring userUpgradeFolder;  // per-user upgrade folder
    std::wstring temporaryFolder;    // GetTempPathW, with its trailing backslash
    std::wstring fileName;
    std::int32_t placementKind = 0;
};
std::wstring DestinationPath(Destination destination, const DestinationInput& in);

// How often a redirect to a location that carries a hijack marker makes an item start again.
// Each attempt is judged by the redirects it met itself, so a retry through the download IP that
// is answered cleanly goes on as an ordinary download; a hijack that persists on every path would
// repeat the attempt for ever: after this many attempts the item counts as failed instead.
constexpr std::int32_t kHijackAttemptLimit = 3;
