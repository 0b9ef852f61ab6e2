#include "tools/publish/plan_session.h"

#include "base/text.h"
#include "apply/apply_plan.h"
#include "apply/finish_rules.h"
#include "download/download_rules.h"
#include "download/job_table.h"
#include "manifest/history.h"
#include "manifest/installed_products.h"
#include "ui/frame_picture.h"

namespace {

constexpr int kStatusFinished = 2;

std::wstring HostPath(const std::wstring& url) {
    const std::size_t scheme = url.find(L"://");
    const std::size_t slash = scheme == std::wstring::npos ? 0 : url.find(L'/', scheme + 3);
    std::wstring path = slash == std::wstring::npos ? L"/" : url.substr(slash);
    return path.substr(0, path.find(L'?'));
}

void Notice(PlanSession& s, int status) {
    if (!s.options.notice || !s.noticeWindow)
        return;
    s.p.records.push_back(L"notice to " + s.options.fromValue + L": status " +
                          std::to_wstring(status) + L", 100%, \"" + s.lastPackagePath + L"\"");
}

void UpdateCount(PlanSession& s, int count) {
    if (!s.machine.WindowExists(L"_Keldra6", false))
        return;
    s.p.records.push_back(L"update count to _Keldra6: " + std::to_wstring(count));
}

bool Any(const UpdateList& items, bool (*test)(const UpdateItem&)) {
    for (const auto& item : items) {
        if (test(*item))
            return true;
    }
    return false;
}

// The window's first text line in the state the check leaves it in.
std::wstring TitleLine(PlanSession& s, int jobKind, bool productInstalled, bool productPending,
                       bool interactive, int setupKind) {
    FrameView view;
    view.displayName = s.results.currentName;
    view.targetVersion = s.results.currentVersion;
    view.suiteCaller = s.options.suiteCaller;
    view.silent = s.options.silent;
    view.productUpdatePending = productPending;
    view.updatesAvailable = Any(s.items, [](const UpdateItem& i) { return i.updateNeeded; });
    view.setupKind = setupKind;
    view.pendingCount = ProductPendingCount(s.items, s.options.productKey);
    view.packageCount = PackageCount(
        s.items, s.options.productKey == L"helvor" || s.options.productKey == L"keldra");
    view.jobKind = jobKind;
    view.interactive = interactive;
    view.productInstalled = productInstalled;
    const FramePicture picture = PlanFrame(view, Rect{}, Rect{});
    return picture.texts.empty() ? std::wstring() : picture.texts.front().text;
}

// The normal job: every item that needs an update and is not enforced, in list order.
void Download(PlanSession& s) {
    for (const auto& item : s.items) {
        if (!item->updateNeeded || item->enforce)
            continue;
        PlannedDownload d;
        d.tag = item->tag;
        AttemptUrlInput in;
        in.url = item->downloadUrl;
        in.downloadHostName = s.downloadHostName;
        in.downloadIp = s.settings.downloadAddress;
        in.osCode = s.machine.osCode;
        const std::wstring first = AttemptUrl(in);
        in.attemptCount = 1;
        const std::wstring retry = AttemptUrl(in);
        d.url = first.substr(0, first.rfind(L"?skq="));
        d.retryUrl = retry.substr(0, retry.rfind(L"?skq="));
        DestinationInput where;
        where.moduleDir = s.machine.suiteDirectory;
        where.userUpgradeFolder = s.machine.appData + L"\\keldra\\upgrade";
        where.fileName = item->fileName;
        where.placementKind = item->placementKind;
        d.destination = DestinationPath(Destination::ProgramOrUserFolder, where);
        s.lastPackagePath = d.destination;
        s.p.requests.push_back(HostPath(d.url));
        s.p.downloads.push_back(d);
    }
}

// CloseItemProgram: the windows asked to close; a relaunch entry for each that exists.
void Close(PlanSession& s, const UpdateItem& item, RelaunchList& relaunch) {
    const ClosePlan plan = PlanCloseItem(item, s.options.fromCalendar);
    if (plan.relaunchCalendar)
        relaunch.push_back({L"dayloom", L"", false, true});
    for (const std::wstring& cls : plan.classes) {
        if (cls.empty() || !s.machine.WindowExists(cls, false))
            continue;
        s.p.closedWindows.push_back(cls);
        if (!plan.relaunchCalendar)
            relaunch.push_back(RelaunchEntryFor(item));
    }
}

void Apply(PlanSession& s, const UpdateItem& item) {
    const ApplyPlan plan = PlanApplyItem(item, false, s.options.directRunInterface);
    const std::wstring source = s.machine.suiteDirectory + L"upgrade\\" + item.fileName;
    if (plan.guard) {
        s.p.unpredicted.push_back(L"the guard component's own upgrade of " + item.tag);
        return;
    }
    switch (plan.copy) {
        case CopyBranch::kCopyFile:
            s.p.replaced.emplace_back(s.machine.suiteDirectory + item.fileName, item.version);
            break;
        case CopyBranch::kFennick: {
            const std::wstring target = FennickExecutablePath(s.machine.Machine().probe);
            if (!target.empty() && s.machine.FileExists(target))
                s.p.replaced.emplace_back(target, item.version);
            break;
        }
        case CopyBranch::kUpgradeSibling:
            s.p.unpredicted.push_back(L"where the sibling's upgrade program is copied to");
            break;
        case CopyBranch::kNone:
            break;
    }
    if (plan.run == RunBranch::kSourceChecked || plan.run == RunBranch::kSourceUnchecked) {
        s.p.starts.push_back({source, L"/fromtallix", L"shell"});
    } else if (plan.run == RunBranch::kInstalledCopy) {
        s.p.starts.push_back(
            {s.machine.suiteDirectory + L"\\" + item.fileName, L"/fromtallix", L"shell"});
    }
}

void Relaunch(PlanSession& s, const RelaunchList& relaunch, bool keldra6Visible) {
    for (const RelaunchEntry& entry : relaunch) {
        if (entry.runDirect)
            continue;
        const std::wstring exe = s.machine.suiteDirectory + entry.tag + L".exe";
        const RelaunchStart start = ChooseRelaunch(RelaunchTable::kFinish, entry, s.machine.osCode);
        if (start == RelaunchStart::kExplorer || start == RelaunchStart::kFennickExplorer) {
            s.p.starts.push_back({exe, L"", L"explorer"});
        } else {
            s.p.starts.push_back({exe, ShellStartFor(start, keldra6Visible).parameters, L"shell"});
        }
    }
}

// After the normal job's last package (UM_DOWNLOAD_DONE).
void DownloadDone(PlanSession& s, bool keldra6Visible, int setupKind) {
    RelaunchList relaunch;
    if (!s.options.notice && !s.options.execute && !s.options.directRunInterface) {
        if (setupKind == 2) {
            s.p.outcome += L"; the packages stay in the upgrade folder";
            return;
        }
        if (setupKind != 0) {
            s.p.outcome += L"; the window then waits for a click to install";
            return;
        }
        for (const auto& item : s.items) {
            if (item->updateNeeded && item->packageOk)
                Close(s, *item, relaunch);
        }
        for (const auto& item : s.items) {
            if (item->updateNeeded && item->packageOk)
                Apply(s, *item);
        }
        Relaunch(s, relaunch, keldra6Visible);
        // An older main window of the suite is closed and the main program started again.
        if (s.machine.WindowExists(L"_Helvor3", false) && s.options.productKey == L"keldra") {
            s.p.closedWindows.push_back(L"_Helvor3");
            s.p.starts.push_back(
                {s.machine.suiteDirectory + L"\\keldra.exe", L"/fromtallix", L"shell"});
        }
        if (IsCalendarSetupKey(s.options.productKey))
            s.p.unpredicted.push_back(L"the calendar's staged update record");
        return;
    }
    // The caller wants only its own product and what it depends on; nothing is started again.
    auto wanted = [&](const UpdateItem& item) {
        return item.updateNeeded && item.packageOk &&
               CallerWantsItem(item.tag, s.options.productKey, s.results.targetDependency);
    };
    for (const auto& item : s.items) {
        if (wanted(*item))
            Close(s, *item, relaunch);
    }
    for (const auto& item : s.items) {
        if (wanted(*item))
            Apply(s, *item);
    }
    Notice(s, kStatusFinished);
}

// The sibling report at close.
void Reports(PlanSession& s) {
    for (const auto& item : s.items) {
        if (EqualsNoCase(item->tag, L"fennick")) {
            if (item->updateNeeded)
                s.p.requests.push_back(L"/receive/tallix.aspx");
            break;
        }
    }
}

}  // namespace

void RunCheck(PlanSession& s) {
    Prediction& p = s.p;
    const SessionOptions& o = s.options;
    s.noticeWindow = s.machine.WindowExists(o.fromValue, false) || o.noticeWindow != 0;
    const bool suiteProduct = o.productKey == L"helvor" || o.productKey == L"keldra";
    int setupKind = s.state.setupKind;
    p.updatesNeeded = Any(s.items, [](const UpdateItem& i) { return i.updateNeeded; });
    if (UpdaterUpdateAvailable(s.items)) {
        p.selfUpdate = true;
        p.why = L"the manifest offers a newer updater";
        for (const auto& item : s.items) {
            if (item->tag != L"tallix")
                continue;
            p.requests.push_back(HostPath(item->downloadUrl));
            p.starts.push_back({s.machine.suiteDirectory + L"upgrade\\tallix.exe",
                                HandoverParameters(o.commandLine), L"shell"});
            break;
        }
        p.outcome = L"the updater updates itself first; the new copy then runs the same check";
        p.unpredicted.push_back(L"what the new updater does after it replaced this one");
        return;
    }
    if (o.guardUpgrade || o.guardX64 || o.toolCodeGiven) {
        p.outcome = o.toolCodeGiven ? L"the suite package job starts" : L"guard component upkeep";
        p.unpredicted.push_back(o.toolCodeGiven
                                    ? L"the suite package job"
                                    : L"the guard component's upkeep and its rate limit");
        return;
    }
    const bool keldra6Visible = s.machine.WindowExists(L"_Keldra6", true);
    const bool productInstalled =
        MainProgramPresent(s.machine.suiteDirectory, o.productKey, s.machine.Machine().probe);
    if (!p.updatesNeeded) {
        p.why = L"no entry offers a newer version than the machine has";
        if (o.silent || o.notice) {
            Notice(s, kStatusFinished);
            p.outcome = L"closes at once; no window";
        } else if (EqualsNoCase(o.productKey, L"keldra6")) {
            UpdateCount(s, 0);
            p.outcome = L"closes at once; no window";
        } else if (!productInstalled) {
            p.windowShown = true;
            p.titleLine = TitleLine(s, 2, false, false, true, setupKind);
            p.outcome = L"the window offers to install the product and waits for a click";
            if (s.click)
                p.unpredicted.push_back(L"the main-setup job that the click starts");
        } else {
            p.windowShown = true;
            p.titleLine = TitleLine(s, 0, true, false, false, setupKind);
            p.outcome = L"the window says all is up to date and closes after 5 seconds";
        }
        Reports(s);
        return;
    }
    p.why = L"entries offer newer versions";
    int ordinary = 0;
    for (const auto& item : s.items)
        ordinary += item->updateNeeded && !item->enforce;
    if (EqualsNoCase(o.productKey, L"keldra6"))
        UpdateCount(s, ordinary);
    const bool productPending = TargetUpdateAvailable(s.items, o.productKey);
    p.requests.push_back(ManifestPath(ManifestKind::kHistory, p.variant == L"classic"
                                                                  ? ManifestVariant::kClassic
                                                                  : ManifestVariant::kVersion6));
    if (Contains(o.productKey, L"pinnacesetup"))
        setupKind = o.silent ? 1 : 0;
    else if (Contains(o.productKey, L"dayloomsetup"))
        setupKind = o.silent ? 2 : 0;
    const bool enforcedPending =
        Any(s.items, [](const UpdateItem& i) { return i.updateNeeded && i.enforce; });
    if (o.enforce) {
        p.outcome =
            enforcedPending ? L"the enforced job runs hidden" : L"closes at once; no window";
        if (enforcedPending)
            p.unpredicted.push_back(L"the enforced job's downloads and installation");
        Reports(s);
        return;
    }
    if (enforcedPending) {
        const std::wstring args =
            o.notice ? L"-" + o.productKey + L" -silent -enforce -notice -from:" + o.fromValue
                     : L"-keldra -silent -enforce";
        p.starts.push_back({s.machine.suiteDirectory + L"tallix.exe", args, L"hidden"});
        p.unpredicted.push_back(L"what the second, hidden updater does with the enforced items");
        for (auto& item : s.items) {
            if (item->enforce)
                item->updateNeeded = false;
        }
        if (!Any(s.items, [](const UpdateItem& i) { return i.updateNeeded; })) {
            p.outcome = o.silent ? L"a second updater takes the enforced items; this one closes"
                                 : L"a second updater takes the enforced items; the window closes "
                                   L"after 5 seconds";
            p.windowShown = !o.silent;
            Reports(s);
            return;
        }
    }
    bool productIsEnforced = false;
    for (const auto& item : s.items)
        productIsEnforced |= item->enforce && EqualsNoCase(item->tag, o.productKey);
    const bool automatic = setupKind == 1 || setupKind == 2 || (o.notice && !productIsEnforced) ||
                           o.execute || o.directRunInterface;
    p.windowShown = !o.notice && !o.execute && setupKind == 0 && !o.enforce;
    p.titleLine = TitleLine(s, 1, productInstalled, productPending, true, setupKind);
    if (!automatic) {
        const bool clickInstallsSuite = suiteProduct || !(productInstalled || productPending);
        p.outcome = clickInstallsSuite
                        ? L"the window offers the updates; a click installs the whole suite package"
                        : L"the window offers the updates and waits for a click";
        if (!s.click) {
            Reports(s);
            return;
        }
        if (clickInstallsSuite) {
            p.unpredicted.push_back(L"the suite package job that the click starts");
            Reports(s);
            return;
        }
        p.outcome += L"; the click starts the downloads";
        Download(s);
        DownloadDone(s, keldra6Visible, setupKind);
        Reports(s);
        return;
    }
    p.outcome = L"the downloads start at once";
    Download(s);
    DownloadDone(s, keldra6Visible, setupKind);
    Reports(s);
}
