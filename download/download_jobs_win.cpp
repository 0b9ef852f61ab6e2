// The download jobs: one procedure, run on a worker thread, with the differences of the five
// jobs taken from the job table. Each item is downloaded on the job's downloader pair, checked
// (signature, redirect, size, version), retried once through the download IP when it did not
// arrive or looked tampered with, and reported to the window by a posted step message whose
// meaning the job state carries; the window's handling of it sets jobIdle for the next item.
#include "download/download_jobs_win.h"

#include <windows.h>
#include <process.h>

#include <memory>

#include "base/command_line.h"
#include "base/session_state.h"
#include "base/unique_handle_win.h"
#include "build_values.h"
#include "download/anomaly_win.h"
#include "download/download_rules.h"
#include "download/downloader_status_win.h"
#include "download/job_host_win.h"
#include "download/job_table.h"
#include "manifest/file_version_win.h"
#include "manifest/update_list.h"
#include "manifest/version.h"
#include "base/os_code.h"
#include "trust/image_file_win.h"
#include "trust/release_gate.h"
#include "trust/signature_win.h"

namespace {

constexpr DWORD kIdlePollMs = 200;
constexpr DWORD kSuspiciousPauseMs = 100;

// The window's three downloader pairs. They live as long as the process (as the window does),
// so that a download thread left behind by a timed-out wait never outlives its downloader.
DownloaderPair<CDownloaderStatus>& FirstPair() {
    static auto* pair = new DownloaderPair<CDownloaderStatus>();
    return *pair;
}
DownloaderPair<CDownloaderStatus_Enforce>& SecondPair() {
    static auto* pair = new DownloaderPair<CDownloaderStatus_Enforce>();
    return *pair;
}
DownloaderPair<CDownloaderStatus_Union>& ThirdPair() {
    static auto* pair = new DownloaderPair<CDownloaderStatus_Union>();
    return *pair;
}

struct PairRef {
    PLDownloader& downloader;
    CDownloaderStatus& status;
};

PairRef PairOf(DownloaderPairId id) {
    switch (id) {
        case DownloaderPairId::Second:
            return {SecondPair().downloader, SecondPair().status};
        case DownloaderPairId::Third:
            return {ThirdPair().downloader, ThirdPair().status};
        case DownloaderPairId::First:
        default:
            return {FirstPair().downloader, FirstPair().status};
    }
}

std::uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring TemporaryFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

// What one run of the procedure works on: the item (null for the main-setup job and for a
// self-update without its item) and its file name and URL.
struct JobFile {
    UpdateItem* item = nullptr;
    std::wstring fileName;
    std::wstring url;
    std::wstring expectedVersion;  // for the version check
};

enum class ItemOutcome { Reported, Skipped };

class DownloadJob {
  public:
    DownloadJob(const DownloadJobSpec& spec, JobHost& host)
        : spec_(spec), host_(host), pair_(PairOf(spec.pair)), state_(Session().*spec.state) {}

    void Run();

  private:
    ItemOutcome RunItem(const JobFile& file);
    bool DownloadArrivedAfterWait(const std::wstring& destination, DWORD waitResult,
                                  const JobFile& file, bool& retry);
    DWORD Download(const JobFile& file, const std::wstring& destination);
    std::wstring Destination(const JobFile& file) const;
    void Report(std::int32_t state, WPARAM failed);
    void ReportFailed(const JobFile& file);
    void SendFinal();

    const DownloadJobSpec& spec_;
    JobHost& host_;
    PairRef pair_;
    std::atomic<std::int32_t>& state_;
    std::int32_t attemptCount_ = 0;
    const IndexedFile* indexed_ = nullptr;  // the release index's entry of the item's package
};

std::wstring DownloadJob::Destination(const JobFile& file) const {
    DestinationInput in;
    in.moduleDir = host_.ModuleDir();
    in.userUpgradeFolder = host_.UserUpgradeFolder();
    in.temporaryFolder = TemporaryFolder();
    in.fileName = file.fileName;
    in.placementKind = file.item != nullptr ? file.item->placementKind : 0;
    return DestinationPath(spec_.destination, in);
}

void DownloadJob::Report(std::int32_t state, WPARAM failed) {
    state_ = state;
    PostMessageW(host_.JobWindow(), spec_.stepMessage, failed, 0);
}

// An item that could not be brought whole is not installed, and its program is not closed for
// it: the finishing steps close and apply only items whose package is ok.
void DownloadJob::ReportFailed(const JobFile& file) {
    if (file.item != nullptr) {
        file.item->packageOk = false;
    }
    Report(kJobFailed, 1);
}

void DownloadJob::SendFinal() {
    HWND window = host_.JobWindow();
    if (spec_.invalidatesBeforeDone) {
        InvalidateRect(window, nullptr, FALSE);
    }
    if (spec_.setsJobFinished) {
        Session().jobFinished = true;
    }
    SendMessageW(window, spec_.doneMessage, 0, 0);
}

// Loads the task into the pair's downloader, starts it and waits for its thread.
DWORD DownloadJob::Download(const JobFile& file, const std::wstring& destination) {
    AttemptUrlInput url;
    url.url = file.url;
    url.tickCount = GetTickCount();
    url.attemptCount = attemptCount_;
    url.downloadHostName = TALLIX_DOWNLOAD_HOST_NAME;
    url.downloadIp = host_.DownloadIp();
    url.osCode = GetOsCode();

    PLDownloadTask task;
    task.url = AttemptUrl(url);
    task.folder = host_.ModuleDir() + L"\\upgrade";
    task.name = file.fileName;
    task.path = destination;
    task.freshDownload = 1;
    task.userValue = 0;
    task.initialState = kDownloadReady;
    task.sizeLimit = indexed_ != nullptr ? indexed_->size : 0;
    pair_.status.SetWindow(host_.JobWindow());
    pair_.downloader.SetCallback(&pair_.status);
    pair_.downloader.SetTask(task, 0);
    if (!pair_.downloader.Start()) {
        return WAIT_FAILED;
    }
    UniqueHandle<KernelHandleTraits> thread(pair_.downloader.DuplicateThreadHandle());
    if (!thread) {
        return WAIT_FAILED;
    }
    const DWORD waited = WaitForSingleObject(thread.Get(), TALLIX_DOWNLOAD_WAIT_MS);
    if (waited != WAIT_OBJECT_0) {
        // A download that outlives its wait is stopped: it would otherwise go on reading and
        // writing its temporary file (which cannot be deleted while it is open) until the
        // process ends. Stopping closes its connection and its file; its thread writes nothing
        // more and ends on its next read.
        pair_.downloader.Stop();
    }
    return waited;
}

ItemOutcome DownloadJob::RunItem(const JobFile& file) {
    SessionState& session = Session();
    attemptCount_ = 0;
    if (spec_.idle == IdleUse::WaitForWindow) {
        while (!session.jobIdle) {
            Sleep(kIdlePollMs);
        }
    }
    for (;;) {
        // One attempt.
        if (spec_.idle != IdleUse::None) {
            session.jobIdle = false;
        }
        state_ = kJobRunning;
        const std::wstring destination = Destination(file);
        if (!IsSafePackagePath(destination.substr(0, destination.size() - file.fileName.size()),
                               file.fileName) ||
            !IndexedPackage(file.url, indexed_)) {
            // A name that leaves the download folder (a path, a drive, a device, or too long
            // for it) is refused, and so is a package that an accepted release index does not
            // name: nothing is deleted, fetched or installed for the item, and the job goes on
            // with the next one.
            ReportFailed(file);
            return ItemOutcome::Reported;
        }
        session.SetLastPackagePath(destination);
        // A file that carries the item's version but was cut short (its version resource
        // survived, its signature did not) is not taken as in place: it is fetched again.
        if (spec_.preCheck && file.item != nullptr &&
            FileProductVersion(destination) == file.item->version && PackageIsWhole(destination) &&
            PackageFileFits(destination, indexed_)) {
            if (spec_.idle == IdleUse::WaitForWindow) {
                session.jobIdle = true;
            }
            return ItemOutcome::Skipped;
        }
        DeleteFileW(destination.c_str());

        // The redirects of this attempt are the log's records from here on. The first logged
        // redirect of the name stays the same for every later attempt, so judging by it would
        // hold a clean retry through the download IP for the earlier hijack; the log itself (and
        // with it the report) keeps every record.
        const std::size_t redirectsBefore = Redirects().Size();
        const DWORD waitResult = Download(file, destination);
        ++attemptCount_;
        if (!PackageFileFits(destination, indexed_)) {
            // Bytes or a size other than the release index names are removed before any other
            // check, and count as a download that did not arrive.
            DeleteFileW(destination.c_str());
            DeleteFileW((destination + L".tmp").c_str());
            if (attemptCount_ == 1) {
                continue;
            }
            ReportFailed(file);
            return ItemOutcome::Reported;
        }

        std::wstring signer;
        const bool signatureOk = VerifyPackageSignature(destination, signer);
        bool marked = false;
        const bool redirected =
            FindRedirect(file.fileName, host_.HijackMarkers(), marked, redirectsBefore);
        bool suspicious = false;
        if (marked) {
            suspicious = true;
            if (attemptCount_ >= kHijackAttemptLimit) {
                // A hijack that does not go away: the item fails rather than loop for ever, and
                // the tampered file is not left where the installers would look.
                DeleteFileW(destination.c_str());
                DeleteFileW((destination + L".tmp").c_str());
                ReportFailed(file);
                return ItemOutcome::Reported;
            }
        } else if (redirected && attemptCount_ < 2 &&
                   (!signatureOk || FileSize(destination) < spec_.sizeLimit)) {
            suspicious = true;
        }
        if (suspicious) {
            // The new attempt starts with the pre-check: a suspicious file that nevertheless
            // carries the item's version stays and the item is taken as in place.
            if (spec_.pausesBeforeRetry) {
                Sleep(kSuspiciousPauseMs);
            }
            MarkRedirectReported(file.fileName);
            RecordDownloadAnomaly(destination, signer);
            continue;
        }

        bool retry = false;
        if (DownloadArrivedAfterWait(destination, waitResult, file, retry)) {
            Report(kJobDownloaded, 0);
            return ItemOutcome::Reported;
        }
        if (retry) {
            continue;
        }
        ReportFailed(file);
        return ItemOutcome::Reported;
    }
}

// Whether the file arrived and is reported as downloaded; `retry` asks for a new attempt.
bool DownloadJob::DownloadArrivedAfterWait(const std::wstring& destination, DWORD waitResult,
                                           const JobFile& file, bool& retry) {
    // Arrived means: the download ended whole by its announced length, and the file on disk is
    // whole by its own headers (a cut signature would otherwise read as none).
    if (waitResult == WAIT_OBJECT_0 && pair_.status.Done() && PackageIsWhole(destination)) {
        if (spec_.versionCheck != VersionCheck::None) {
            const std::wstring version = FileProductVersion(destination);
            if (IsNewer(version, file.expectedVersion) && attemptCount_ == 1) {
                retry = true;
                return false;
            }
            if (spec_.perItem && file.item != nullptr) {
                file.item->packageOk = version == file.item->version;
            }
        }
        return true;
    }
    // Neither the partial file nor a renamed one that did not prove whole (a body without a
    // length, or cut in its signature) stays where the pre-check of the next attempt or the
    // installers would take it.
    DeleteFileW((destination + L".tmp").c_str());
    DeleteFileW(destination.c_str());
    retry = attemptCount_ == 1;
    return false;
}

void DownloadJob::Run() {
    SessionState& session = Session();
    if (spec_.ensuresFolders) {
        EnsureUpgradeFolders(host_);
    }
    if (spec_.idle == IdleUse::WaitForWindow) {
        session.jobIdle = true;
    } else if (spec_.idle == IdleUse::ClearOnly) {
        session.jobIdle = false;
        state_ = kJobRunning;
    }

    if (spec_.id == DownloadJobId::MainSetup) {
        JobFile file;
        file.url = MainSetupDownloadUrl(host_.MainSetupUrl(), host_.DownloadBase());
        file.fileName = host_.MainSetupFileName();  // empty when refused: nothing is fetched
        RunItem(file);
        SendFinal();
        return;
    }
    if (spec_.id == DownloadJobId::SelfUpdate) {
        JobFile file;
        file.fileName = L"tallix.exe";
        file.expectedVersion = host_.LatestUpdaterVersion();
        for (const auto& item : host_.Items()) {
            if (JobTakesItem(spec_.id, *item, false)) {
                file.item = item.get();
                file.url = item->downloadUrl;
                break;
            }
        }
        RunItem(file);
        SendFinal();
        return;
    }

    const bool installPackage = Options().installPackage;
    for (const auto& item : host_.Items()) {
        if (!JobTakesItem(spec_.id, *item, installPackage)) {
            continue;
        }
        JobFile file;
        file.item = item.get();
        file.url = item->downloadUrl;
        file.expectedVersion = item->version;
        file.fileName = spec_.id == DownloadJobId::Package
                            ? L"keldrasetup_" + Options().toolCode + L".exe"
                            : item->fileName;
        const ItemOutcome outcome = RunItem(file);
        if (spec_.id == DownloadJobId::Package) {
            // Only the first entry with the package's tag is fetched; a skipped package (already
            // in place) goes straight to the final message as well.
            (void)outcome;
            break;
        }
    }
    // The window handles the last item's step (installing it, or telling the caller that it
    // failed) before the final message: the final message is sent and so overtakes a posted
    // step, whose state the finishing handler would otherwise overwrite.
    if (spec_.idle == IdleUse::WaitForWindow) {
        while (!session.jobIdle) {
            Sleep(kIdlePollMs);
        }
    }
    SendFinal();
}

struct JobStart {
    DownloadJobId id;
    JobHost* host;
};

void __cdecl JobThread(void* parameter) {
    std::unique_ptr<JobStart> start(static_cast<JobStart*>(parameter));
    DownloadJob(JobSpec(start->id), *start->host).Run();
}

void StartJob(DownloadJobId id, JobHost& host) {
    auto* start = new JobStart{id, &host};
    if (_beginthread(JobThread, 0, start) == static_cast<uintptr_t>(-1)) {
        delete start;
    }
}

}  // namespace

void StartNormalUpdateJob(JobHost& host) {
    StartJob(DownloadJobId::Normal, host);
}
void StartMainSetupJob(JobHost& host) {
    StartJob(DownloadJobId::MainSetup, host);
}
void StartSelfUpdateJob(JobHost& host) {
    StartJob(DownloadJobId::SelfUpdate, host);
}
void StartEnforcedJob(JobHost& host) {
    StartJob(DownloadJobId::Enforced, host);
}
void StartPackageJob(JobHost& host) {
    StartJob(DownloadJobId::Package, host);
}

void StopNormalDownloader() {
    FirstPair().downloader.Stop();
}

int NormalDownloadPercent() {
    return FirstPair().status.Percent();
}
int EnforcedDownloadPercent() {
    return SecondPair().status.Percent();
}
int PackageDownloadPercent() {
    return ThirdPair().status.Percent();
}
