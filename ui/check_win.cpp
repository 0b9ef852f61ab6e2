// The check that the window's creation runs: manifests, decision, and the one outcome of the
// session (close at once, close after five seconds, wait for a click, start a job, or hand the
// enforced items to a second, hidden updater).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "base/command_line.h"
#include "base/text.h"
#include "apply/finish_win.h"
#include "build_values.h"
#include "download/download_jobs_win.h"
#include "manifest/com_ptr_win.h"
#include "manifest/file_version_win.h"
#include "manifest/history_win.h"
#include "manifest/installed_products.h"
#include "manifest/machine_win.h"
#include "manifest/manifest_readers_win.h"
#include "manifest/registry_win.h"
#include "report/error_box_win.h"
#include "res/resource.h"
#include "ui/main_frame_win.h"
#include "app/notice_record.h"
#include "app/notice_win.h"
#include "ui/placement_win.h"
#include "base/session_state.h"
#include "app/uptime.h"

namespace {

const wchar_t kNetworkErrorText[] = L"网络连接异常\r请检查是否有杀毒或者卫士程序拦截";
const wchar_t kNetworkErrorCaption[] = L"Helvor升级提示";

// The updater's own key: HKCU "Software\\Orvane\\Tallix".
RegistryKey UpdaterKey() {
    const RegistryLocation where = ProductRegistryKey(ProductKey::kUpdater, RunsUnderWow64());
    return RegistryKey(HKEY_CURRENT_USER, where.path, where.accessModifier);
}

double LocalNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return ToOleDate(LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond});
}

bool AnyItem(const UpdateList& items, bool (*test)(const UpdateItem&)) {
    for (const auto& item : items) {
        if (test(*item)) {
            return true;
        }
    }
    return false;
}

bool NeedsUpdate(const UpdateItem& item) {
    return item.updateNeeded;
}
bool NeedsEnforcedUpdate(const UpdateItem& item) {
    return item.updateNeeded && item.enforce;
}
bool NeedsOrdinaryUpdate(const UpdateItem& item) {
    return item.updateNeeded && !item.enforce;
}

std::wstring SecondUpdaterArguments(const SessionOptions& options) {
    if (!options.notice) {
        return L"-keldra -silent -enforce";
    }
    return L"-" + options.productKey + L" -silent -enforce -notice -from:" + options.fromValue;
}

}  // namespace

void CMainFrame::RunDecision() {
    DecideUpdates(items_, DecisionOptionsFrom(Options()), WindowsDecisionMachine(moduleDir_),
                  decision_);
}

bool CMainFrame::ProductInstalled() const {
    return MainProgramPresent(moduleDir_, Options().productKey, WindowsProductProbe());
}

void CMainFrame::StartAutoCloseTimer() {
    interactive_ = false;
    SetTimer(hwnd_, kAutoCloseTimer, kAutoCloseMs, nullptr);
}

void CMainFrame::CheckForUpdates() {
    SessionOptions& options = Options();
    SessionState& session = Session();

    ReseatTaskbarButtons();
    suiteProduct_ = options.productKey == L"helvor" || options.productKey == L"keldra";
    ShowWindow(hwnd_, SW_HIDE);
    smallIcon_.Reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));
    LoadSkinImages();
    PlaceFrame(hwnd_);

    history_.Create(hwnd_);
    history_.Show(SW_SHOW);
    shadow_.Create(hwnd_);
    shadow_.Show(SW_HIDE);
    history_.Show(SW_HIDE);
    const Rect frame = WindowScreenRect(hwnd_);
    shadow_.MoveWithoutResize(frame.left - kShadowMargin, frame.top - kShadowMargin);
    shadow_.Repaint();

    pluginsPath_ = CalendarPluginsPath(WindowsProductProbe());
    {
        ComApartment com;  // each manifest reader runs in its own COM initialisation
        FetchSettingsManifest(document_, TALLIX_MANIFEST_HOST, settings_);
    }
    version6_ = MainProgramIsVersion6(moduleDir_);

    UpgradeManifestOutcome upgrade;
    {
        ComApartment com;  // each manifest reader runs in its own COM initialisation
        UpgradeManifestRequest request;
        request.hostOrigin = TALLIX_MANIFEST_HOST;
        request.moduleDir = moduleDir_;
        request.version6Switch = settings_.version6Switch;
        request.targetProduct = options.productKey;
        request.runUpdateDecision = [this] {
            // The dependency list starts from the target's own depend text as the reader found
            // it; the decision appends the depend texts of installed components.
            decision_.targetDependency = upgrade_.targetDependency;
            RunDecision();
        };
        upgrade = FetchUpgradeManifest(document_, request, upgrade_, items_);
    }
    session.setupKind = upgrade_.setupKind;
    if (!upgrade.fetched) {
        if (!options.silent) {
            ShowErrorBox(hwnd_, kNetworkErrorText, kNetworkErrorCaption, MB_ICONINFORMATION);
        }
        jobKind_ = kJobSelfUpdate;
        SendNotice(hwnd_, kNoticeFailed, 100);
        PostClose();
        return;
    }

    selfUpdatePending_ = UpdaterUpdateAvailable(items_);
    if (selfUpdatePending_) {
        jobKind_ = kJobSelfUpdate;
        PostMessageW(hwnd_, UM_DOWNLOAD_STEP, 0, 0);
        return;
    }
    if (options.guardUpgrade) {
        RunGuardUpgrade(*this);
        ShowWindow(hwnd_, SW_HIDE);
        PostClose();
        return;
    }
    if (options.guardX64 && RunGuardRateLimit()) {
        ShowWindow(hwnd_, SW_HIDE);
        PostClose();
        return;
    }
    if (options.toolCodeGiven) {
        StartPackageJob(*this);
        session.setupKind = 1;
        return;
    }
    keldra6Visible_ = Keldra6WindowVisible();
    PrepareHistoryTemplate(*this);
    session.updatesAvailable = AnyItem(items_, NeedsUpdate);
    if (session.updatesAvailable) {
        FinishWithUpdates();
    } else {
        FinishWithoutUpdates();
    }
}

// True when this guard check comes too soon after the last one and must end; otherwise records
// now as the time of the last check.
bool CMainFrame::RunGuardRateLimit() {
    const double now = LocalNow();
    const RegistryKey key = UpdaterKey();
    if (GuardCheckRateLimited(DecodeUptime(key.ReadBinary(kValueUptime)), now,
                              Options().commandLine)) {
        return true;
    }
    key.WriteBinary(kValueUptime, EncodeUptime(now));  // a failure leaves the old value
    return false;
}

void CMainFrame::FinishWithoutUpdates() {
    const SessionOptions& options = Options();
    if (options.silent || options.notice) {
        DeleteTree(moduleDir_ + L"\\upgrade", true);
        SendNotice(hwnd_, kNoticeFinished, 100);
        HideFrameAndShadow();
        PostClose();
        return;
    }
    if (EqualsNoCase(options.productKey, L"keldra6")) {
        HideFrameAndShadow();
        SendUpdateCount(hwnd_, 0);
        PostClose();
        return;
    }
    productInstalled_ = ProductInstalled();
    if (!productInstalled_) {
        jobKind_ = kJobMainSetup;  // the window offers to install the product
        return;
    }
    DeleteTree(moduleDir_ + L"\\upgrade", true);
    StartAutoCloseTimer();
}

void CMainFrame::FinishWithUpdates() {
    const SessionOptions& options = Options();
    SessionState& session = Session();

    std::uint32_t ordinary = 0;
    for (const auto& item : items_) {
        ordinary += NeedsOrdinaryUpdate(*item) ? 1 : 0;
    }
    if (EqualsNoCase(options.productKey, L"keldra6")) {
        SendUpdateCount(hwnd_, ordinary);
    }
    productInstalled_ = ProductInstalled();
    session.productUpdatePending = TargetUpdateAvailable(items_, options.productKey);
    const bool showHistory = ReadHistoryManifest(*this);

    if (Contains(options.productKey, L"pinnacesetup")) {
        session.setupKind = options.silent ? 1 : 0;
    } else if (Contains(options.productKey, L"dayloomsetup")) {
        session.setupKind = options.silent ? 2 : 0;
    }
    jobKind_ = kJobNormalUpdate;
    const bool enforcedPending = AnyItem(items_, NeedsEnforcedUpdate);

    if (options.enforce) {
        if (enforcedPending) {
            StartEnforcedJob(*this);
        } else {
            PostClose();
        }
    } else {
        if (enforcedPending) {
            // A second, hidden updater takes the enforced items; this one keeps the others.
            const std::wstring arguments = SecondUpdaterArguments(options);
            ShellExecuteW(nullptr, L"open", OwnExecutablePath().c_str(), arguments.c_str(), L"",
                          SW_HIDE);
            for (auto& item : items_) {
                if (item->enforce) {
                    item->updateNeeded = false;
                }
            }
            if (!AnyItem(items_, NeedsUpdate)) {
                if (options.silent) {
                    SetWindowPos(hwnd_, HWND_TOPMOST, -10000, -10000, kFrameWidth, kFrameHeight,
                                 SWP_NOACTIVATE);
                    HideFrameAndShadow();
                    PostClose();
                } else {
                    StartAutoCloseTimer();
                    return;
                }
            }
        }
        bool productIsEnforcedItem = false;
        for (const auto& item : items_) {
            productIsEnforcedItem |= item->enforce && EqualsNoCase(item->tag, options.productKey);
        }
        const int kind = session.setupKind;
        if (kind == 1 || kind == 2 || (options.notice && !productIsEnforcedItem) ||
            options.execute) {
            startReason_ = 1;
            PostMessageW(hwnd_, UM_DOWNLOAD_STEP, 0, 0);
        } else if (options.directRunInterface) {
            startReason_ = 2;
            PostMessageW(hwnd_, UM_DOWNLOAD_STEP, 0, 0);
        }
    }
    if (showHistory) {
        BuildHistoryPage(*this);
    }
}
