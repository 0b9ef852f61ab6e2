#include "app/relocation.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

TEST(RelocationPaths, LowerCasedWithoutUpgrade) {
    const RelocationPaths p = RelocationPathsFor(L"C:\\Program Files\\Keldra\\Upgrade\\tallix.exe");
    EXPECT_EQ(p.base, L"c:\\program files\\keldra\\");
    EXPECT_EQ(p.installed, L"c:\\program files\\keldra\\\\tallix.exe");
    EXPECT_EQ(RelocationBackupPath(p, L"3.2.0.17"),
              L"c:\\program files\\keldra\\\\OldVersion\\tallix3.2.0.17.exe");
    EXPECT_EQ(RelocationBackupPath(p, L""), L"c:\\program files\\keldra\\\\OldVersion\\tallix.exe");
    // Outside an upgrade folder the installed file is the running one.
    EXPECT_EQ(RelocationPathsFor(L"D:\\Suite\\tallix.exe").installed, L"d:\\suite\\\\tallix.exe");
    EXPECT_EQ(CopyCommand(L"a b", L"c"), L"copy \"a b\"  \"c\"");
}

// A file system of a few paths; the copy command makes its target appear after a chosen number
// of existence checks, and the installed updater disappears only after some delete attempts.
struct FakeMachine {
    std::set<std::wstring> files;
    int deletesBeforeGone = 0;  // delete attempts that fail on the installed file
    int checksBeforeCopy = 0;   // existence checks before the new copy shows up
    std::wstring pendingCopy;
    std::vector<std::wstring> commands;
    std::vector<std::wstring> started;
    int sleeps = 0;

    RelocationOps Ops(const std::wstring& installed) {
        RelocationOps ops;
        ops.exists = [this](const std::wstring& path) {
            if (!pendingCopy.empty() && path == pendingCopy && checksBeforeCopy-- <= 0) {
                files.insert(pendingCopy);
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
        ops.runCommand = [this](const std::wstring& command) {
            commands.push_back(command);
            if (command.find(L"OldVersion") == std::wstring::npos) {
                pendingCopy = L"c:\\s\\\\tallix.exe";
            }
        };
        ops.sleep = [this](int) { ++sleeps; };
        ops.start = [this](const std::wstring& file, const std::wstring& parameters) {
            started.push_back(file + L"|" + parameters);
        };
        return ops;
    }
};

const wchar_t kNew[] = L"C:\\S\\upgrade\\tallix.exe";
const wchar_t kInstalled[] = L"c:\\s\\\\tallix.exe";

TEST(RunRelocation, BacksUpReplacesAndStartsWithTheCommandLine) {
    FakeMachine m;
    m.files = {kInstalled, L"c:\\s\\\\OldVersion\\tallix3.2.0.17.exe"};
    m.deletesBeforeGone = 3;
    EXPECT_TRUE(RunRelocation(kNew, L"-keldra", m.Ops(kInstalled)));
    ASSERT_EQ(m.commands.size(), 2u);
    EXPECT_EQ(m.commands[0],
              L"copy \"c:\\s\\\\tallix.exe\"  \"c:\\s\\\\OldVersion\\tallix3.2.0.17.exe\"");
    EXPECT_EQ(m.commands[1], L"copy \"C:\\S\\upgrade\\tallix.exe\"  \"c:\\s\\\\tallix.exe\"");
    EXPECT_EQ(m.started, std::vector<std::wstring>{L"c:\\s\\\\tallix.exe|-keldra"});
}

TEST(RunRelocation, NoInstalledUpdaterMeansNoBackup) {
    FakeMachine m;
    EXPECT_TRUE(RunRelocation(kNew, L"-keldra", m.Ops(kInstalled)));
    EXPECT_EQ(m.commands.size(), 1u);
}

TEST(RunRelocation, TheDeleteLoopIsBounded) {
    FakeMachine m;
    m.files = {kInstalled};
    m.deletesBeforeGone = 1 << 30;  // the running file itself: it never goes
    EXPECT_FALSE(RunRelocation(kNew, L"-keldra", m.Ops(kInstalled)));
    EXPECT_EQ(m.sleeps, kRelocationDeleteRounds);
    EXPECT_EQ(m.commands.size(), 1u);  // the backup only
    EXPECT_TRUE(m.started.empty());
}

TEST(RunRelocation, StartsOnlyWhenTheCopyAppearsWithinNineWaits) {
    struct Case {
        int checksBeforeCopy;
        bool started;
    };
    // One check right after the copy, then one after each wait.
    const Case cases[] = {{0, true}, {9, true}, {10, false}, {60, false}};
    for (const Case& c : cases) {
        FakeMachine m;
        m.checksBeforeCopy = c.checksBeforeCopy;
        EXPECT_EQ(RunRelocation(kNew, L"-x", m.Ops(kInstalled)), c.started) << c.checksBeforeCopy;
        EXPECT_LE(m.sleeps, kRelocationAppearWaits);
    }
}

}  // namespace
