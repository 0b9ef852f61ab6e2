// The plan of the normal job and of what its end does: the downloads, the windows closed, the
// files replaced, the programs started again, the caller's record and the report at close.
#include "app/notice_record.h"
#include "apply/apply_plan.h"
#include "apply/finish_rules.h"
#include "base/session_state.h"
#include "base/text.h"
#include "download/download_rules.h"
#include "download/job_table.h"
#include "manifest/installed_products.h"
#include "report/usage_report.h"
#include "tools/publish/plan_session.h"
#include "trust/release_index.h"

namespace {

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

// InstallAndRelaunch of the normal job.
void InstallAndRelaunch(PlanSession& s, bool keldra6Visible) {
    RelaunchList relaunch;
    for (const auto& item : s.items) {
        if (item->updateNeeded && item->packageOk)
            Close(s, *item, relaunch);
    }
    for (const auto& item : s.items) {
        if (item->updateNeeded && item->packageOk)
            Apply(s, *item);
    }
    Relaunch(s, relaunch, keldra6Visible);
    if (s.machine.WindowExists(kOlderMainClass, false) &&
        RestartsOlderMainWindow(s.options.productKey)) {
        s.p.closedWindows.push_back(kOlderMainClass);
        s.p.starts.push_back(
            {s.machine.suiteDirectory + L"\\keldra.exe", L"/fromtallix", L"shell"});
    }
}

// The caller wants only its own product and what it depends on; nothing is started again.
void InstallForCaller(PlanSession& s) {
    RelaunchList relaunch;
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
    PlanNotice(s, kNoticeFinished, false);
}

}  // namespace

std::wstring HostPath(const std::wstring& url) {
    const std::wstring path = UrlPath(url);
    return path.empty() ? L"/" : path;
}

void PlanNotice(PlanSession& s, int status, bool onlyWithNotice) {
    if ((onlyWithNotice && !s.options.notice) || !s.noticeWindow)
        return;
    s.p.records.push_back(L"notice to " + s.options.fromValue + L": status " +
                          std::to_wstring(status) + L", 100%, \"" + s.lastPackagePath + L"\"");
}

void PlanUpdateCount(PlanSession& s, int count) {
    if (!s.machine.WindowExists(L"_Keldra6", false))
        return;
    s.p.records.push_back(L"update count to _Keldra6: " + std::to_wstring(count));
}

void PlanReports(PlanSession& s) {
    const UpdateItem* sibling = FindSiblingItem(s.items);
    if (sibling != nullptr && sibling->updateNeeded)
        s.p.requests.push_back(L"/receive/tallix.aspx");
}

void PlanDownloads(PlanSession& s) {
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

void PlanDownloadDone(PlanSession& s, int setupKind, bool keldra6Visible) {
    const DownloadDoneEnd end = DecideDownloadDone(s.options, kJobNormalUpdate, setupKind);
    const bool calendarRecord = IsCalendarSetupKey(s.options.productKey);
    switch (end) {
        case DownloadDoneEnd::kHandOver:
            break;  // not the normal job's
        case DownloadDoneEnd::kInstallForCaller:
            InstallForCaller(s);
            return;
        case DownloadDoneEnd::kInstallAndRelaunch:
            InstallAndRelaunch(s, keldra6Visible);
            break;
        case DownloadDoneEnd::kLeaveInUpgradeFolder:
            s.p.outcome += L"; the packages stay in the upgrade folder";
            break;
        case DownloadDoneEnd::kWaitForClick:
            s.p.outcome += L"; the window then shows and waits for a click to install";
            return;
    }
    if (calendarRecord)
        s.p.unpredicted.push_back(L"the calendar's staged update record");
}
