#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "apply/swap_plan.h"

namespace {

const std::wstring kSource = L"C:\\s\\upgrade\\pinnace.exe";
const std::wstring kTarget = L"C:\\s\\pinnace.exe";
const std::wstring kStaging = L"C:\\s\\pinnace.exe.new";
const std::wstring kDisplaced = L"C:\\s\\pinnace.exe.77.tmp";
const std::string kOld = "2.1.0.0:old program";
const std::string kNew = "2.1.0.1:the new program, longer";

// A folder of files with their contents (the version is the text before ":"), where copies,
// moves and a program that keeps its file in use fail as told. After `killAfter` steps of file
// operations the process is dead: nothing it asks for happens any more.
struct FakeDisk {
    std::map<std::wstring, std::string> files = {{kSource, kNew}, {kTarget, kOld}};
    int copyFailures = 0;    // copies that write half and fail (a full disk)
    bool copyShort = false;  // copies that report success but write half
    bool copyOtherVersion = false;
    int inUseRepairs = -1;  // repairs until the target may be replaced; -1: never in use
    bool renameAsideRefused = false;
    bool moveInRefused = false;  // after the target went aside
    int putBackFailures = 0;
    int killAfter = 1 << 30;

    int operations = 0;
    int copies = 0;
    int repairs = 0;
    int slept = 0;
    std::vector<std::wstring> scheduled = {};

    bool Alive() { return ++operations <= killAfter; }
    bool InUse() const { return inUseRepairs >= 0 && repairs < inUseRepairs; }

    SwapOps Ops() {
        SwapOps ops;
        // A copy is two steps: the target emptied and half written, then the rest.
        ops.copy = [this](const std::wstring& from, const std::wstring& to) {
            if (!Alive() || files.count(from) == 0) {
                return false;
            }
            ++copies;
            const std::string data = files[from];
            files[to] = data.substr(0, data.size() / 2);
            if (!Alive()) {
                return false;
            }
            if (copyFailures > 0) {
                --copyFailures;
                files[to] = data.substr(0, data.size() / 2);
                return false;
            }
            files[to] = copyShort          ? data.substr(0, data.size() / 2)
                        : copyOtherVersion ? "9.9.9.9" + data.substr(7)
                                           : data;
            return true;
        };
        ops.move = [this](const std::wstring& from, const std::wstring& to, bool replace) {
            if (!Alive() || files.count(from) == 0 || (files.count(to) > 0 && !replace)) {
                return false;
            }
            const bool aside = from == kTarget;
            const bool in = from == kStaging && to == kTarget;
            const bool back = from == kDisplaced;
            if ((aside && renameAsideRefused) || (in && files.count(kTarget) > 0 && InUse()) ||
                (in && moveInRefused && files.count(kDisplaced) > 0) ||
                (back && putBackFailures-- > 0)) {
                return false;
            }
            files[to] = files[from];
            files.erase(from);
            return true;
        };
        ops.remove = [this](const std::wstring& path) {
            if (Alive()) {
                files.erase(path);
            }
        };
        ops.exists = [this](const std::wstring& path) { return files.count(path) > 0; };
        ops.size = [this](const std::wstring& path) -> long long {
            return files.count(path) > 0 ? static_cast<long long>(files[path].size()) : -1;
        };
        ops.version = [this](const std::wstring& path) {
            if (files.count(path) == 0) {
                return std::wstring();
            }
            const std::string text = files[path].substr(0, files[path].find(':'));
            return std::wstring(text.begin(), text.end());
        };
        ops.repairAccess = [this](const std::wstring&) { ++repairs; };
        ops.deleteAtRestart = [this](const std::wstring& path) { scheduled.push_back(path); };
        ops.sleep = [this](int ms) { slept += ms; };
        ops.ticks = [] { return 77ul; };
        return ops;
    }
};

// The target as it stands: "old", "new", "none" or what else is there.
std::string TargetIs(FakeDisk& disk) {
    if (disk.files.count(kTarget) == 0) {
        return "none";
    }
    const std::string& data = disk.files[kTarget];
    return data == kOld ? "old" : data == kNew ? "new" : "damaged";
}

TEST(SwapPlan, FaultsAtEveryStepLeaveTheOldFileOrTheNewOneWhole) {
    const FakeDisk inUse{.inUseRepairs = 1000};
    const FakeDisk stale{.files = {{kSource, kNew}, {kTarget, kOld}, {kStaging, "x"}}};
    const FakeDisk held{.inUseRepairs = 1000, .renameAsideRefused = true};
    const FakeDisk notIn{.inUseRepairs = 1000, .moveInRefused = true};
    const FakeDisk backLate{.inUseRepairs = 1000, .moveInRefused = true, .putBackFailures = 3};
    struct Case {
        const char* name;
        FakeDisk disk;
        bool result;
        const char* target;
        int copies;
        int slept;
        bool displacedScheduled = false;  // the old file lies aside, deleted at the next restart
        SwapPolicy policy = kReplacePolicy;
    } cases[] = {
        {"free target", {}, true, "new", 1, 0},
        {"no target yet", {.files = {{kSource, kNew}}}, true, "new", 1, 0},
        {"stale staged copy", stale, true, "new", 1, 0},
        {"disk full, then space", {.copyFailures = 3}, true, "new", 4, 600},
        {"disk full", {.copyFailures = 100}, false, "old", 21, 4000},
        {"copy comes out short", {.copyShort = true}, false, "old", 21, 4000},
        {"copy of another version", {.copyOtherVersion = true}, false, "old", 21, 4000},
        {"in use until access repaired", {.inUseRepairs = 5}, true, "new", 1, 1000},
        {"in use", inUse, true, "new", 1, 4000, true},
        {"in use, held without renaming", held, false, "old", 1, 4000},
        {"in use, new file not moved in", notIn, false, "old", 1, 4000},
        {"in use, moved back in the fourth round", backLate, false, "old", 1, 4300},
        {"guard copy, in use", inUse, false, "old", 1, 2000, false, kGuardCopyPolicy},
        {"guard-upgrade run, in use", inUse, false, "old", 1, 5000, false, kGuardSyncPolicy},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDisk& disk = c.disk;
        EXPECT_EQ(SwapIn(kSource, kTarget, c.policy, disk.Ops()), c.result);
        EXPECT_EQ(TargetIs(disk), c.target);
        EXPECT_EQ(disk.copies, c.copies);
        EXPECT_EQ(disk.slept, c.slept);
        EXPECT_EQ(disk.files.count(kStaging), 0u);
        EXPECT_EQ(disk.files.count(kSource), 1u);  // the caller decides about the package
        EXPECT_EQ(disk.files.count(kDisplaced) > 0 ? disk.files[kDisplaced] : "",
                  c.displacedScheduled ? kOld : "");
        EXPECT_EQ(disk.scheduled, c.displacedScheduled ? std::vector<std::wstring>{kDisplaced}
                                                       : std::vector<std::wstring>{});
    }
    EXPECT_EQ(StagingName(kTarget), kStaging);
    EXPECT_EQ(DisplacedName(kTarget, 77), kDisplaced);
    EXPECT_EQ(DisplacedName(kTarget, 0xFFFFFFFFul), kTarget + L".-1.tmp");  // as "%d" gives it
}

TEST(SwapPlan, MovedBackForNoRoundTheOldFileStaysWholeAsideAndIsNotDeleted) {
    FakeDisk disk{.inUseRepairs = 1000, .moveInRefused = true, .putBackFailures = 1000};
    EXPECT_FALSE(SwapIn(kSource, kTarget, kReplacePolicy, disk.Ops()));
    EXPECT_EQ(TargetIs(disk), "none");
    EXPECT_EQ(disk.files[kDisplaced], kOld);
    EXPECT_TRUE(disk.scheduled.empty());
    EXPECT_EQ(disk.files.count(kStaging), 0u);
    EXPECT_EQ(disk.slept, 4000 + (kPutBackRounds - 1) * 100);
}

TEST(SwapPlan, KilledAfterAnyOperationTheTargetIsTheOldOrTheNewFileWhole) {
    // The state after each operation of a whole run, free and in use: the name is empty only in
    // the last resort, between moving the old file aside and moving the new one in, and the old
    // file then lies whole under its displaced name.
    for (const bool inUse : {false, true}) {
        FakeDisk whole{.inUseRepairs = inUse ? 1000 : -1};
        ASSERT_TRUE(SwapIn(kSource, kTarget, kReplacePolicy, whole.Ops()));
        for (int kill = 0; kill <= whole.operations; ++kill) {
            SCOPED_TRACE(::testing::Message() << "in use " << inUse << ", killed after " << kill);
            FakeDisk disk{.inUseRepairs = whole.inUseRepairs, .killAfter = kill};
            SwapIn(kSource, kTarget, kReplacePolicy, disk.Ops());
            const std::string target = TargetIs(disk);
            if (target == "none") {
                EXPECT_TRUE(inUse);
                EXPECT_EQ(disk.files[kDisplaced], kOld);
                EXPECT_EQ(disk.files.count(kStaging) > 0 ? disk.files[kStaging] : "", kNew);
            } else {
                EXPECT_TRUE(target == "old" || target == "new") << target;
            }
        }
    }
}

}  // namespace
