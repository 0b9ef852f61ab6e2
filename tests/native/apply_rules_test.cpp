#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "base/job_step.h"
#include "app/relocation.h"
#include "base/session_state.h"
#include "apply/apply_plan.h"
#include "apply/finish_rules.h"
#include "tests/native/decision_machine_fake.h"

namespace {

UpdateItem Item(const wchar_t* tag, bool copyFile, bool runDirect) {
    UpdateItem item;
    item.tag = tag;
    item.fileName = std::wstring(tag) + L".exe";
    item.className = L"_Class";
    item.copyFile = copyFile;
    item.runDirect = runDirect;
    item.updateNeeded = true;
    return item;
}

std::string Describe(const ApplyPlan& p) {
    return std::string(p.guard ? "guard " : "") + (p.skip ? "skip " : "") +
           (p.terminateFennick ? "end-fennick " : "") + "c" +
           std::to_string(static_cast<int>(p.copy)) + " r" +
           std::to_string(static_cast<int>(p.run)) + (p.hideWindowFirst ? " hide" : "");
}

TEST(PlanItem, ApplyDecisionOrderAndWhatIsClosed) {
    // tag, copy file, run direct, in the anomaly list, direct-run interface; the plan.
    const std::tuple<const wchar_t*, bool, bool, bool, bool, const char*> cases[] = {
        // The guard takes its four tags before the anomaly list is looked at.
        {L"WardelDll", true, false, true, false, "guard c0 r0"},
        {L"wardel_x64", true, true, false, false, "guard c0 r0"},
        // A file in the anomaly list is left alone: not even its program is closed.
        {L"pinnace", true, true, true, false, "skip c0 r0"},
        {L"pinnace", true, false, false, false, "c2 r0"},
        {L"pinnace", true, true, false, true, "c2 r3"},
        {L"pinnacesetup", false, true, false, true, "c0 r1 hide"},
        {L"pinnacesetup", false, true, false, false, "c0 r1"},
        {L"glasswispsetup", false, true, false, false, "c0 r2"},
        {L"glasswispsetup", true, true, false, false, "c2 r3"},
        {L"Fennick", false, false, false, false, "end-fennick c1 r0"},
        {L"fennick", true, false, false, false, "end-fennick c2 r0"},
        {L"upgrade", true, false, false, false, "c3 r0"},
        {L"upgrade", false, false, false, false, "c0 r0"},
    };
    for (const auto& [tag, copyFile, runDirect, inAnomalyList, directRun, plan] : cases) {
        EXPECT_EQ(Describe(PlanApplyItem(Item(tag, copyFile, runDirect), inAnomalyList, directRun)),
                  plan)
            << ::testing::PrintToString(std::wstring(tag));
    }
    // Fennick is ended only when it needs the update.
    UpdateItem fennick = Item(L"fennick", false, false);
    fennick.updateNeeded = false;
    EXPECT_FALSE(PlanApplyItem(fennick, false, false).terminateFennick);
    EXPECT_EQ(FennickLeftoverPath(L"C:\\Fennick3\\fennick.exe"),
              L"C:\\Fennick3\\upgrade\\f-fennick.exe");
    // Closing: tag, file name, placement kind, run from the calendar; a relaunch ("+") and the
    // classes of the windows to close.
    const std::tuple<const wchar_t*, const wchar_t*, int, bool, const wchar_t*> closes[] = {
        {L"weather", L"weather.dll", 1, false, L"+_Keldra_LunarCalendar,_SkyDial_LunarCalendar,"},
        {L"chime", L"chime.snd", 1, false, L"_Class,"},
        {L"weather", L"weather.dll", 1, true, L"_Class,"},
        {L"dayloom", L"dayloom.exe", 0, false, L"_Class,_SkyDial_LunarCalendar,"},
        {L"Dayloom", L"dayloom.exe", 0, false, L"_Class,"},  // exact tag only
        {L"keldra", L"keldra.exe", 0, false, L"_Class,"},
    };
    for (const auto& [tag, fileName, placement, fromCalendar, expected] : closes) {
        UpdateItem item = Item(tag, true, false);
        item.fileName = fileName;
        item.placementKind = placement;
        const ClosePlan plan = PlanCloseItem(item, fromCalendar);
        std::wstring described = plan.relaunchCalendar ? L"+" : L"";
        for (const std::wstring& name : plan.classes) {
            described += name + L",";
        }
        EXPECT_EQ(described, expected) << fileName;
    }
}

TEST(GuardFiles, EachBuildLooksAtItsOwnItemsAndTheLibraryVersionIsThe32BitOne) {
    // The tag, the guard items ("*": needs an update) and the selection: l (library),
    // e (executable), d (defer to the executable).
    const std::tuple<const wchar_t*, const wchar_t*, const char*> cases[] = {
        {L"wardeldll", L"wardeldll* wardel* wardel_x64dll wardel_x64", "led"},
        {L"wardel", L"wardeldll* wardel* wardel_x64dll wardel_x64", "le"},
        {L"wardeldll", L"wardeldll* wardel wardel_x64dll wardel_x64", "l"},
        {L"wardel", L"wardeldll* wardel wardel_x64dll* wardel_x64*", "l"},
        {L"wardel_x64dll", L"wardeldll* wardel* wardel_x64dll* wardel_x64*", "led"},
        {L"wardel_x64", L"wardeldll wardel wardel_x64dll wardel_x64*", "e"},
    };
    for (const auto& [tag, items, selected] : cases) {
        const GuardSelection s = SelectGuardFiles(tag, decision_fake::Entries(items));
        EXPECT_EQ(std::string(s.librarySelected ? "l" : "") + (s.executableSelected ? "e" : "") +
                      (s.deferToExecutable ? "d" : ""),
                  selected)
            << tag;
    }
    EXPECT_FALSE(SelectGuardFiles(L"wardel", UpdateList()).executableSelected);
    // Both builds use the version of the 32-bit library item.
    EXPECT_EQ(GuardLibraryVersion(decision_fake::Entries(
                  L"wardel:9.9.9.9 wardeldll:2.0.0.1 wardel_x64dll:9.9.9.9 wardel_x64:9.9.9.9")),
              L"2.0.0.1");
    EXPECT_EQ(GuardBuildName(L"wardeldll"), L"wardel");
    EXPECT_EQ(GuardBuildName(L"wardel_x64dll"), L"wardel_x64");
}

TEST(Relaunch, BothTablesFirstMatchWinsAndEachStartsWithItsParameters) {
    using R = RelaunchStart;
    // tag, unattended, system code; the start after finishing and after an enforced update.
    const std::tuple<const wchar_t*, bool, int, R, R> cases[] = {
        {L"HeatWatch", true, 23, R::kTray, R::kTray},
        {L"linkward", false, 5, R::kTray, R::kTray},
        {L"wardel_x64", true, 23, R::kGuard, R::kExplorer},
        {L"Wardel", false, 23, R::kOwnedOpen, R::kOpen},  // the guard rule keeps the case
        {L"dayloom", true, 23, R::kExplorer, R::kExplorer},
        {L"dayloom", true, 18, R::kOwnedOpen, R::kOpen},  // before Vista: the shell opens it
        {L"dayloom", true, 19, R::kExplorer, R::kExplorer},
        {L"Keldra", false, 23, R::kMainProgram, R::kMainProgram},
        {L"keldra", true, 23, R::kExplorer, R::kExplorer},
        {L"fennick", true, 23, R::kExplorer, R::kFennickExplorer},
        {L"pinnace", false, 23, R::kOwnedOpen, R::kOpen},
    };
    for (const auto& [tag, unattended, osCode, finish, enforced] : cases) {
        const RelaunchEntry entry{tag, L"", false, unattended};
        EXPECT_EQ(ChooseRelaunch(RelaunchTable::kFinish, entry, osCode), finish) << tag;
        EXPECT_EQ(ChooseRelaunch(RelaunchTable::kEnforced, entry, osCode), enforced) << tag;
    }
    // The parameters and owner of each start.
    EXPECT_EQ(ShellStartFor(RelaunchStart::kTray, true).parameters, L" /tray");
    EXPECT_EQ(ShellStartFor(RelaunchStart::kMainProgram, true).parameters, L"/fromtallix");
    EXPECT_EQ(ShellStartFor(RelaunchStart::kMainProgram, false).parameters, L"/fromtallix /hide");
    EXPECT_TRUE(ShellStartFor(RelaunchStart::kGuard, false).ownedByWindow);
    EXPECT_TRUE(ShellStartFor(RelaunchStart::kOwnedOpen, false).ownedByWindow);
    EXPECT_FALSE(ShellStartFor(RelaunchStart::kOpen, false).ownedByWindow);
    EXPECT_EQ(ShellStartFor(RelaunchStart::kOpen, false).parameters, L"/fromtallix");
    EXPECT_EQ(ExplorerCommandLine(L"C:\\windows\\explorer.exe", L"C:\\s\\dayloom.exe"),
              L"C:\\windows\\explorer.exe C:\\s\\dayloom.exe");
}

TEST(FinishRules, HandOverCallerWantsItemAndCalendarRecord) {
    const HandoverFacts good{.listEmpty = false,
                             .firstEntryVersion = L"3.2.0.18",
                             .newVersion = L"3.2.0.18",
                             .currentVersion = L"3.2.0.17",
                             .signatureAccepted = true,
                             .productAccepted = true};
    EXPECT_TRUE(ShouldHandOver(good));
    auto with = [&](auto change) {
        HandoverFacts f = good;
        change(f);
        return ShouldHandOver(f);
    };
    EXPECT_FALSE(with([](HandoverFacts& f) { f.listEmpty = true; }));
    EXPECT_FALSE(with([](HandoverFacts& f) { f.firstEntryVersion = L"3.2.0.19"; }));
    EXPECT_FALSE(with([](HandoverFacts& f) { f.currentVersion = L"3.2.0.18"; }));  // equal
    EXPECT_FALSE(with([](HandoverFacts& f) { f.currentVersion = L"3.3.0.0"; }));   // older
    EXPECT_FALSE(with([](HandoverFacts& f) { f.signatureAccepted = false; }));
    EXPECT_FALSE(with([](HandoverFacts& f) { f.productAccepted = false; }));
    EXPECT_EQ(HandoverParameters(L"-Keldra  -silent"), L"-Keldra  -silent -resetnew ");
    // The caller wants its own product or its dependencies; the calendar's setup keeps a record.
    EXPECT_TRUE(CallerWantsItem(L"Dayloom", L"dayloom", L""));
    EXPECT_TRUE(CallerWantsItem(L"weather", L"dayloom", L"chime,weather,"));
    EXPECT_FALSE(CallerWantsItem(L"pinnace", L"dayloom", L"chime,weather,"));
    EXPECT_TRUE(IsCalendarSetupKey(L"dayloomsetup_silent"));
    EXPECT_TRUE(IsCalendarSetupKey(L"PINNACESETUP"));
    EXPECT_FALSE(IsCalendarSetupKey(L"dayloom"));
    using C = CalendarRecord;
    EXPECT_EQ(DecideCalendarRecord(true, true, L"3.0.0.2", L"3.0.0.1"), C::kWrite);
    EXPECT_EQ(DecideCalendarRecord(true, true, L"3.0.0.1", L"3.0.0.1"), C::kDelete);
    EXPECT_EQ(DecideCalendarRecord(true, true, L"3.0.0.0", L"3.0.0.1"), C::kDelete);
    EXPECT_EQ(DecideCalendarRecord(true, true, L"", L"3.0.0.1"), C::kLeave);
    EXPECT_EQ(DecideCalendarRecord(false, true, L"3.0.0.2", L""), C::kLeave);
    EXPECT_EQ(DecideCalendarRecord(true, false, L"3.0.0.2", L"3.0.0.1"), C::kLeave);
    // The staged package is the upgrade folder followed by the name, or nothing at all: a name
    // from "http://h/\\\\host\\share\\d.exe" never makes a share path, nor a drive path.
    EXPECT_EQ(StagedCalendarPackage(L"C:\\S\\", L"dayloomsetup.exe"),
              L"C:\\S\\\\upgrade\\dayloomsetup.exe");
    for (const wchar_t* hostile :
         {L"\\\\host\\share\\d.exe", L"D:\\d.exe", L"D:d.exe", L"..\\d.exe",
          L"\uFF3C\uFF3Chost\uFF3Cd.exe", L"DAYLOO~1.EXE", L""}) {
        EXPECT_EQ(StagedCalendarPackage(L"C:\\S\\", hostile), L"") << hostile;
    }
}

std::string Describe(const StepAction& a) {
    return std::string(a.startThread ? "start " : "") + (a.reportProgress ? "progress " : "") +
           (a.countDownload ? "count " : "") + (a.reportFailure ? "failure " : "") +
           (a.releaseJob ? "release " : "") + "-> " + std::to_string(a.newState);
}

TEST(JobSteps, EachJobsStepByStateAndTheWaitForDependencies) {
    // The state; the step of the normal, the enforced and the package job.
    const std::tuple<std::int32_t, const char*, const char*, const char*> cases[] = {
        {kJobReady, "start -> 2", "-> 2", "-> 2"},
        {kJobRunning, "progress -> -1", "progress -> -1", "progress -> -1"},
        {kJobDownloaded, "count release -> -1", "release -> -1", "release -> -1"},
        // A failed enforced item lets the hidden run go on with its next item.
        {kJobFailed, "failure release -> 0", "failure release -> 0", "-> 0"},
        {kJobEndedAfterFailure, "-> -1", "-> -1", "-> -1"},
        {7, "-> -1", "-> -1", "-> -1"}};
    for (const auto& [state, normal, enforced, package] : cases) {
        EXPECT_EQ(Describe(StepFor(state, kNormalJobSteps)), normal) << state;
        EXPECT_EQ(Describe(StepFor(state, kEnforcedJobSteps)), enforced) << state;
        EXPECT_EQ(Describe(StepFor(state, kPackageJobSteps)), package) << state;
    }
    // Waiting for dependencies: the depend text, the count before; the pauses and the count after.
    const std::tuple<const wchar_t*, int, int, int> waits[] = {
        {L"here.dll,gone.dll,", 0, 1, 1},
        {L"here.dll", 0, 0, 0},
        {L"gone1.dll,gone2.dll", 49, 1, 0},  // the 50th pauses, the 51st resets instead
        {L"gone.dll", 50, 0, 0},
    };
    for (const auto& [depend, countBefore, pauses, countAfter] : waits) {
        int paused = 0;
        int count = countBefore;
        WaitForDependencies(
            depend, [](const std::wstring& name) { return name == L"here.dll"; },
            [&paused](int ms) { paused += ms; }, count);
        EXPECT_EQ(paused, 100 * pauses) << depend;
        EXPECT_EQ(count, countAfter) << depend;
    }
}

const wchar_t kNew[] = L"C:\\S\\upgrade\\tallix.exe";
const wchar_t kInstalled[] = L"c:\\s\\\\tallix.exe";
const wchar_t kBackup[] = L"c:\\s\\\\OldVersion\\tallix3.2.0.17.exe";

// A file system of a few paths with their sizes; the copy command makes its target appear after
// a chosen number of existence checks, the installed updater disappears only after some delete
// attempts, and the backup copy can fail or come out short.
struct FakeMachine {
    std::map<std::wstring, long long> files;
    int deletesBeforeGone = 0;  // delete attempts that fail on the installed file
    int checksBeforeCopy = 0;   // existence checks before the new copy shows up
    long long backupSize = 7;   // what the backup copy writes; -1: nothing
    std::wstring pendingCopy;
    std::vector<std::wstring> commands;
    std::vector<std::wstring> started;
    int sleeps = 0;

    RelocationOps Ops(const std::wstring& installed) {
        RelocationOps ops;
        ops.exists = [this](const std::wstring& path) {
            if (!pendingCopy.empty() && path == pendingCopy && checksBeforeCopy-- <= 0) {
                files[pendingCopy] = 9;
                pendingCopy.clear();
            }
            return files.count(path) > 0;
        };
        ops.createDirectory = [](const std::wstring&) {};
        ops.deleteFile = [this, installed](const std::wstring& path) {
            if (path == installed && deletesBeforeGone-- > 0) {
                return;
            }
            files.erase(path);
        };
        ops.fileVersion = [installed](const std::wstring& path) {
            return path == installed ? std::wstring(L"3.2.0.17") : std::wstring();
        };
        ops.fileSize = [this](const std::wstring& path) {
            return files.count(path) > 0 ? files[path] : -1;
        };
        ops.runCommand = [this](const std::wstring& command) {
            commands.push_back(command);
            const std::size_t backup = command.find(L"OldVersion");
            if (backup == std::wstring::npos) {
                pendingCopy = kInstalled;
            } else if (command.find(L"tallix.exe\"  \"") == std::wstring::npos) {
                files[kInstalled] = backupSize;  // the backup copied back
            } else if (backupSize >= 0) {
                files[kBackup] = backupSize;
            }
        };
        ops.sleep = [this](int) { ++sleeps; };
        ops.start = [this](const std::wstring& file, const std::wstring& parameters) {
            started.push_back(file + L"|" + parameters);
        };
        return ops;
    }
};

TEST(Relocation, PathsLowerCasedWithoutUpgradeThenBackupDeleteCopyAndStart) {
    const RelocationPaths p = RelocationPathsFor(L"C:\\Program Files\\Keldra\\Upgrade\\tallix.exe");
    EXPECT_EQ(p.base, L"c:\\program files\\keldra\\");
    EXPECT_EQ(p.installed, L"c:\\program files\\keldra\\\\tallix.exe");
    EXPECT_EQ(RelocationBackupPath(p, L"3.2.0.17"),
              L"c:\\program files\\keldra\\\\OldVersion\\tallix3.2.0.17.exe");
    EXPECT_EQ(RelocationBackupPath(p, L""), L"c:\\program files\\keldra\\\\OldVersion\\tallix.exe");
    // Outside an upgrade folder the installed file is the running one.
    EXPECT_EQ(RelocationPathsFor(L"D:\\Suite\\tallix.exe").installed, L"d:\\suite\\\\tallix.exe");
    EXPECT_EQ(CopyCommand(L"a b", L"c"), L"copy \"a b\"  \"c\"");
    // An installed updater (with an old backup) and the size of the backup copy, delete attempts
    // that fail, existence checks before the new copy shows up (one right after the copy, then
    // one after each wait); the result, the commands run, the pauses, and which updater is left
    // at the installed path (0 none, 7 the old one, 9 the new one).
    const std::tuple<bool, long long, int, int, bool, std::size_t, int, long long> cases[] = {
        {true, 7, 3, 0, true, 2, 4, 9},
        {false, 7, 0, 0, true, 1, 0, 9},  // no installed updater: no backup
        {true, 7, 1 << 30, 0, false, 1, kRelocationDeleteRounds, 7},  // never goes
        {false, 7, 0, 9, true, 1, 9, 9},
        {false, 7, 0, 10, false, 1, 10, 9},  // too late to start, but in place
        {false, 7, 0, 60, false, 1, kRelocationAppearWaits, 0},
        // The backup failed or came out short: nothing is deleted, nothing is copied in.
        {true, -1, 0, 0, false, 1, 0, 7},
        {true, 3, 0, 0, false, 1, 0, 7},
        // The new copy never arrived: the backup goes back in place, nothing starts.
        {true, 7, 0, 60, false, 3, 1 + kRelocationAppearWaits, 7}};
    for (const auto& [installed, backupSize, failingDeletes, checks, result, commands, pauses,
                      left] : cases) {
        FakeMachine m;
        if (installed) {
            m.files = {{kInstalled, 7}, {kBackup, 5}};
        }
        m.backupSize = backupSize;
        m.deletesBeforeGone = failingDeletes;
        m.checksBeforeCopy = checks;
        SCOPED_TRACE(::testing::Message() << backupSize << " " << failingDeletes << " " << checks);
        EXPECT_EQ(RunRelocation(kNew, L"-keldra", m.Ops(kInstalled)), result);
        ASSERT_EQ(m.commands.size(), commands);
        EXPECT_EQ(m.sleeps, pauses);
        EXPECT_EQ(m.started, result ? std::vector<std::wstring>{L"c:\\s\\\\tallix.exe|-keldra"}
                                    : std::vector<std::wstring>{});
        EXPECT_EQ(m.files.count(kInstalled) > 0 ? m.files[kInstalled] : 0, left);
        if (installed) {
            EXPECT_EQ(m.commands[0],
                      std::wstring(L"copy \"") + kInstalled + L"\"  \"" + kBackup + L"\"");
        }
        if (commands == 3) {
            EXPECT_EQ(m.commands.back(),
                      std::wstring(L"copy \"") + kBackup + L"\"  \"" + kInstalled + L"\"");
        }
        if (result) {
            EXPECT_EQ(m.commands.back(),
                      L"copy \"C:\\S\\upgrade\\tallix.exe\"  \"c:\\s\\\\tallix.exe\"");
        }
    }
}

}  // namespace
