#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "base/job_step.h"
#include "app/relocation.h"
#include "base/session_state.h"
#include "apply/apply_plan.h"
#include "apply/finish_rules.h"
#include "base/command_line.h"
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
    // Ending by image name: only programs whose image lies in one of the suite's folders.
    const std::vector<std::wstring> folders = {L"Z:\\w\\suite\\", L"", L"C:\\Dayloom"};
    const std::tuple<const wchar_t*, bool> images[] = {
        {L"Z:\\w\\suite\\pinnace.exe", true},
        {L"z:\\W\\SUITE\\Pinnace.EXE", true},             // any case
        {L"Z:/w/suite/pinnace.exe", true},                // slashes
        {L"Z:\\w\\suite\\upgrade\\f-fennick.exe", true},  // below it
        {L"C:\\Dayloom\\dayloom.exe", true},              // a folder without its backslash
        {L"Z:\\w\\suite2\\pinnace.exe", false},           // a folder that only starts alike
        {L"C:\\DayloomX\\dayloom.exe", false},
        {L"C:\\Program Files\\Other\\pinnace.exe", false},
        {L"Z:\\w\\suite\\", false},
        {L"", false},  // an image path that could not be read
    };
    for (const auto& [image, inside] : images) {
        EXPECT_EQ(ImageInFolders(image, folders), inside)
            << ::testing::PrintToString(std::wstring(image));
    }
    EXPECT_TRUE(ImageInFolders(L"c:\\s\\pinnace.exe", {L"c:\\s\\\\"}));  // a doubled backslash
    EXPECT_FALSE(ImageInFolders(L"c:\\s\\pinnace.exe", {}));
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
    EXPECT_TRUE(RestartsOlderMainWindow(L"keldra"));
    EXPECT_FALSE(RestartsOlderMainWindow(L"helvor"));
}

// What the end of a job leads to: the self-update hands over whatever the switches; a caller's
// own run installs only its product; otherwise the setup kind decides.
TEST(FinishRules, TheEndOfTheJob) {
    using E = DownloadDoneEnd;
    SessionOptions plain;
    SessionOptions notice;
    notice.notice = true;
    SessionOptions execute;
    execute.execute = true;
    SessionOptions direct;
    direct.directRunInterface = true;
    const std::tuple<SessionOptions, int, int, E> cases[] = {
        {notice, kJobSelfUpdate, 0, E::kHandOver},
        {notice, kJobNormalUpdate, 1, E::kInstallForCaller},
        {execute, kJobNormalUpdate, 2, E::kInstallForCaller},
        {direct, kJobMainSetup, 0, E::kInstallForCaller},
        {plain, kJobNormalUpdate, 0, E::kInstallAndRelaunch},
        {plain, kJobMainSetup, 2, E::kLeaveInUpgradeFolder},
        {plain, kJobNormalUpdate, 1, E::kWaitForClick},
        {plain, kJobNormalUpdate, 3, E::kWaitForClick},
    };
    int i = 0;
    for (const auto& [options, jobKind, setupKind, end] : cases) {
        EXPECT_EQ(DecideDownloadDone(options, jobKind, setupKind), end) << "case " << i;
        ++i;
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
const wchar_t kStaged[] = L"c:\\s\\\\tallix.exe.new";
const wchar_t kBackup[] = L"c:\\s\\\\OldVersion\\tallix3.2.0.17.exe";

// A file system of a few paths with their sizes (the installed updater 7 bytes, the new build
// 9). The copy command makes its target appear after a chosen number of existence checks; the
// installed updater refuses to be replaced for some rounds (it still runs); the backup copy can
// fail or come out short, the staged copy come out short, and the installed updater vanish while
// the new build is copied.
struct FakeMachine {
    std::map<std::wstring, long long> files = {};
    int replacesRefused = 0;   // rounds in which the installed updater still runs
    int checksBeforeCopy = 0;  // existence checks before the staged copy shows up
    long long backupSize = 7;  // what the backup copy writes; -1: nothing
    long long stagedSize = 9;  // what the copy of the new build writes
    bool vanishes = false;     // the installed updater is taken away while the copy is made
    std::wstring stagedVersion =
        {};  // the version the staged copy reads with (the new build has none)
    std::wstring pendingCopy = {};
    long long pendingSize = 0;
    std::vector<std::wstring> commands = {};
    std::vector<std::wstring> started = {};
    int sleeps = 0;

    RelocationOps Ops() {
        RelocationOps ops;
        ops.exists = [this](const std::wstring& path) {
            if (!pendingCopy.empty() && path == pendingCopy && checksBeforeCopy-- <= 0) {
                files[pendingCopy] = pendingSize;
                pendingCopy.clear();
            }
            return files.count(path) > 0;
        };
        ops.createDirectory = [](const std::wstring&) {};
        ops.deleteFile = [this](const std::wstring& path) { files.erase(path); };
        ops.replace = [this](const std::wstring& from, const std::wstring& to) {
            if (files.count(from) == 0 || (files.count(to) > 0 && replacesRefused-- > 0)) {
                return false;
            }
            files[to] = files[from];
            files.erase(from);
            return true;
        };
        ops.fileVersion = [this](const std::wstring& path) {
            if (path == kStaged) {
                return stagedVersion;
            }
            return path == kInstalled ? std::wstring(L"3.2.0.17") : std::wstring();
        };
        ops.fileSize = [this](const std::wstring& path) -> long long {
            if (path == kNew) {
                return 9;
            }
            return files.count(path) > 0 ? files[path] : -1;
        };
        ops.runCommand = [this](const std::wstring& command) {
            commands.push_back(command);
            if (command.find(L"\"  \"" + std::wstring(kStaged)) != std::wstring::npos) {
                pendingCopy = kStaged;
                pendingSize =
                    command.find(L"OldVersion") == std::wstring::npos ? stagedSize : files[kBackup];
                if (vanishes) {
                    files.erase(kInstalled);
                }
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

TEST(Relocation, PathsLowerCasedWithoutUpgradeThenBackupStagedCopyMovedInAndStart) {
    const RelocationPaths p = RelocationPathsFor(L"C:\\Program Files\\Keldra\\Upgrade\\tallix.exe");
    EXPECT_EQ(p.base, L"c:\\program files\\keldra\\");
    EXPECT_EQ(p.installed, L"c:\\program files\\keldra\\\\tallix.exe");
    EXPECT_EQ(p.staged, L"c:\\program files\\keldra\\\\tallix.exe.new");
    EXPECT_EQ(RelocationBackupPath(p, L"3.2.0.17"),
              L"c:\\program files\\keldra\\\\OldVersion\\tallix3.2.0.17.exe");
    EXPECT_EQ(RelocationBackupPath(p, L""), L"c:\\program files\\keldra\\\\OldVersion\\tallix.exe");
    // Outside an upgrade folder the installed file is the running one.
    EXPECT_EQ(RelocationPathsFor(L"D:\\Suite\\tallix.exe").installed, L"d:\\suite\\\\tallix.exe");
    EXPECT_EQ(CopyCommand(L"a b", L"c"), L"copy \"a b\"  \"c\"");
    const long long kNever = 1 << 30;
    // An installed updater, the size of the backup copy and of the staged copy, rounds in which
    // the installed updater refuses to be replaced, existence checks before the staged copy
    // shows up (one right after the copy, then one after each wait), whether the installed one
    // vanishes after its backup; the result, the commands run, the pauses, and which updater is
    // left at the installed path (0 none, 7 the old one, 9 the new one). No case leaves the
    // suite without a whole updater it had, or a staged copy behind.
    const std::tuple<bool, long long, long long, long long, int, bool, bool, std::size_t, int,
                     long long>
        cases[] = {
            {true, 7, 9, 3, 0, false, true, 2, 3, 9},
            {false, 7, 9, 0, 0, false, true, 1, 0, 9},  // no installed updater: no backup
            {true, 7, 9, kNever, 0, false, false, 2, kRelocationDeleteRounds, 7},  // never lets go
            {false, 7, 9, 0, 9, false, true, 1, 9, 9},
            {false, 7, 9, 0, 10, false, false, 1, 10, 9},  // too late to start, but in place
            {false, 7, 9, 0, 60, false, false, 1, kRelocationAppearWaits, 0},
            // The backup failed or came out short: nothing is copied in.
            {true, -1, 9, 0, 0, false, false, 1, 0, 7},
            {true, 3, 9, 0, 0, false, false, 1, 0, 7},
            // The new copy never arrived, or arrived short: the installed updater never left.
            {true, 7, 9, 0, 60, false, false, 2, kRelocationAppearWaits, 7},
            {true, 7, 5, 0, 0, false, false, 2, 0, 7},
            // The installed updater was taken away and the new copy is short: the backup is put
            // back the same way.
            {true, 7, 5, 0, 0, true, false, 3, 0, 7},
        };
    for (const auto& [installed, backupSize, stagedSize, refusals, checks, vanishes, result,
                      commands, pauses, left] : cases) {
        FakeMachine m{.replacesRefused = static_cast<int>(refusals),
                      .checksBeforeCopy = checks,
                      .backupSize = backupSize,
                      .stagedSize = stagedSize,
                      .vanishes = vanishes};
        if (installed) {
            m.files = {{kInstalled, 7}, {kBackup, 5}};
        }
        SCOPED_TRACE(::testing::Message() << backupSize << " " << stagedSize << " " << refusals
                                          << " " << checks << " " << vanishes);
        EXPECT_EQ(RunRelocation(kNew, L"-keldra", m.Ops()), result);
        ASSERT_EQ(m.commands.size(), commands);
        EXPECT_EQ(m.sleeps, pauses);
        EXPECT_EQ(m.started, result ? std::vector<std::wstring>{L"c:\\s\\\\tallix.exe|-keldra"}
                                    : std::vector<std::wstring>{});
        EXPECT_EQ(m.files.count(kInstalled) > 0 ? m.files[kInstalled] : 0, left);
        EXPECT_EQ(m.files.count(kStaged), 0u);
        if (installed) {
            EXPECT_EQ(m.commands[0],
                      std::wstring(L"copy \"") + kInstalled + L"\"  \"" + kBackup + L"\"");
        }
        if (commands >= 2 && (installed || commands == 1)) {
            EXPECT_EQ(m.commands[installed ? 1 : 0],
                      L"copy \"C:\\S\\upgrade\\tallix.exe\"  \"c:\\s\\\\tallix.exe.new\"");
        }
        if (commands == 3) {
            EXPECT_EQ(m.commands.back(),
                      std::wstring(L"copy \"") + kBackup + L"\"  \"" + kStaged + L"\"");
        }
    }
    // A staged copy of the right size but another version (another file came in its place) is
    // not moved in.
    FakeMachine other{.files = {{kInstalled, 7}}, .stagedVersion = L"9.9.9.9"};
    EXPECT_FALSE(RunRelocation(kNew, L"", other.Ops()));
    EXPECT_EQ(other.files[kInstalled], 7);
    EXPECT_EQ(other.files.count(kStaged), 0u);
    // A staged copy left by a relocation that was killed is replaced by a fresh one.
    FakeMachine m{.files = {{kInstalled, 7}, {kStaged, 4}}};
    EXPECT_TRUE(RunRelocation(kNew, L"", m.Ops()));
    EXPECT_EQ(m.files[kInstalled], 9);
    EXPECT_EQ(m.files.count(kStaged), 0u);
}

}  // namespace
