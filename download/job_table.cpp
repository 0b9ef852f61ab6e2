#include "download/job_table.h"

#include "base/text.h"

namespace {

// clang-format off
const DownloadJobSpec kJobs[] = {
    {DownloadJobId::Normal, DownloaderPairId::First, &SessionState::normalJobState,
     UM_DOWNLOAD_STEP, UM_DOWNLOAD_DONE, Destination::ProgramOrUserFolder, 1000,
     VersionCheck::ItemVersion, IdleUse::WaitForWindow,
     /*perItem*/ true, /*ensuresFolders*/ true, /*preCheck*/ true, /*pausesBeforeRetry*/ true,
     /*invalidatesBeforeDone*/ true, /*setsJobFinished*/ false},
    {DownloadJobId::Enforced, DownloaderPairId::Second, &SessionState::enforcedJobState,
     UM_ENFORCE_STEP, UM_ENFORCE_DONE, Destination::ProgramFolder, 1000,
     VersionCheck::ItemVersion, IdleUse::WaitForWindow,
     true, true, true, false, false, false},
    {DownloadJobId::Package, DownloaderPairId::Third, &SessionState::packageJobState,
     UM_PACKAGE_STEP, UM_PACKAGE_DONE, Destination::TemporaryFolder, 1000,
     VersionCheck::ItemVersion, IdleUse::None,
     true, false, true, false, false, false},
    {DownloadJobId::MainSetup, DownloaderPairId::First, &SessionState::normalJobState,
     UM_DOWNLOAD_STEP, UM_DOWNLOAD_DONE, Destination::ProgramFolder, 10000,
     VersionCheck::None, IdleUse::ClearOnly,
     false, true, false, false, false, true},
    {DownloadJobId::SelfUpdate, DownloaderPairId::First, &SessionState::normalJobState,
     UM_DOWNLOAD_STEP, UM_DOWNLOAD_DONE, Destination::ProgramFolder, 10000,
     VersionCheck::LatestUpdaterVersion, IdleUse::ClearOnly,
     false, true, false, true, false, true},
};
// clang-format on

}  // namespace

const DownloadJobSpec& JobSpec(DownloadJobId id) {
    return kJobs[static_cast<int>(id)];
}

bool JobTakesItem(DownloadJobId id, const UpdateItem& item, bool installPackage) {
    switch (id) {
        case DownloadJobId::Normal:
            return item.updateNeeded && !item.enforce;
        case DownloadJobId::Enforced:
            return item.updateNeeded && item.enforce;
        case DownloadJobId::Package:
            return EqualsNoCase(item.tag, installPackage ? L"keldrasetup" : L"keldrasetup_silent");
        case DownloadJobId::SelfUpdate:
            return item.tag == L"tallix";
        case DownloadJobId::MainSetup:
            return false;
    }
    return false;
}

std::wstring DestinationPath(Destination destination, const DestinationInput& in) {
    switch (destination) {
        case Destination::ProgramOrUserFolder:
            if (in.placementKind == 1) {
                return in.userUpgradeFolder + L"\\" + in.fileName;
            }
            [[fallthrough]];
        case Destination::ProgramFolder:
            return in.moduleDir + L"\\upgrade\\" + in.fileName;
        case Destination::TemporaryFolder:
            return in.temporaryFolder + L"\\" + in.fileName;
    }
    return std::wstring();
}
