// Installing a new updater build over the installed one. The new build, downloaded into the
// upgrade subdirectory and started from there with "-resetnew", keeps a backup of the installed
// updater, copies itself beside it, checks the copy and moves it over the installed updater in
// one replacing move, starts it with the original command line and ends. At no moment is the
// suite without a whole updater at the installed path. The steps are written against a few file
// and process operations so that their order and bounds can be followed without Windows.
#pragma once

#include <functional>
#include <string>

struct RelocationPaths {
    std::wstring base;             // the suite directory, lower case, trailing backslash
    std::wstring installed;        // base + "\\tallix.exe"
    std::wstring backupDirectory;  // base + "\\OldVersion"
    std::wstring staged;           // the new copy before it is moved in (StagingName)
};

// Paths from the running executable's full path: its directory (with the backslash) lower-cased,
// with every "\\upgrade" removed. The doubled backslashes of the joins are kept; the file system
// accepts them.
RelocationPaths RelocationPathsFor(const std::wstring& modulePath);

// The backup of the installed updater: backup directory + "\\tallix" + its version + ".exe".
std::wstring RelocationBackupPath(const RelocationPaths& paths, const std::wstring& version);

// "copy \"from\"  \"to\"" (two blanks), run by the command interpreter.
std::wstring CopyCommand(const std::wstring& from, const std::wstring& to);

// The swap loop's bound: rounds of 100 ms in which the installed updater must let itself be
// replaced (a running program cannot be). The old updater ends right after it starts the new
// copy, but its close sends the usage reports first, and a statistics host that does not answer
// holds it for the system's connection attempt (about 21 seconds on Windows); 30 seconds lets
// that pass. A copy started outside the upgrade folder (the installed file is the running file
// itself) ends after these 30 seconds without starting anything.
constexpr int kRelocationDeleteRounds = 300;
constexpr int kRelocationPauseMs = 100;
// The staged copy must appear within this many waits after the copy command, or nothing starts
// (it is still moved in); the waiting itself goes on up to kRelocationAppearWaits.
constexpr int kRelocationStartWaits = 9;
constexpr int kRelocationAppearWaits = 50;

struct RelocationOps {
    std::function<bool(const std::wstring& path)> exists;
    std::function<void(const std::wstring& path)> createDirectory;
    std::function<void(const std::wstring& path)> deleteFile;
    // Moves `from` over `to` in one step, replacing it; false when `to` may not be replaced
    // (a running program) or the move fails.
    std::function<bool(const std::wstring& from, const std::wstring& to)> replace;
    std::function<std::wstring(const std::wstring& path)> fileVersion;  // empty when none
    std::function<long long(const std::wstring& path)> fileSize;        // -1 when unreadable
    std::function<void(const std::wstring& command)> runCommand;        // output discarded
    std::function<void(int ms)> sleep;
    std::function<void(const std::wstring& file, const std::wstring& parameters)> start;
};

// The relocation; `modulePath` is the running (new) executable, `commandLine` the command line
// without "-resetnew". Returns whether the installed copy was started. The suite is never left
// without an updater: nothing is done before the backup is really there (present, same size);
// the new copy is placed beside the installed one and must have the running image's size before
// it is moved over it; a copy that does not arrive whole is deleted and the installed updater
// stays. Should the installed updater be missing when the new one cannot be put in its place,
// the backup is put there the same way and its arrival checked.
bool RunRelocation(const std::wstring& modulePath, const std::wstring& commandLine,
                   const RelocationOps& ops);
