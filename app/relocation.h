// Installing a new updater build over the installed one. The new build, downloaded into the
// upgrade subdirectory and started from there with "-resetnew", keeps a backup of the installed
// updater, copies itself over it, starts it with the original command line and ends. The steps
// are written against a few file and process operations so that their order and bounds can be
// followed without Windows.
#pragma once

#include <functional>
#include <string>

struct RelocationPaths {
    std::wstring base;             // the suite directory, lower case, trailing backslash
    std::wstring installed;        // base + "\\tallix.exe"
    std::wstring backupDirectory;  // base + "\\OldVersion"
};

// Paths from the running executable's full path: its directory (with the backslash) lower-cased,
// with every "\\upgrade" removed. The doubled backslashes of the joins are kept; the file system
// accepts them.
RelocationPaths RelocationPathsFor(const std::wstring& modulePath);

// The backup of the installed updater: backup directory + "\\tallix" + its version + ".exe".
std::wstring RelocationBackupPath(const RelocationPaths& paths, const std::wstring& version);

// "copy \"from\"  \"to\"" (two blanks), run by the command interpreter.
std::wstring CopyCommand(const std::wstring& from, const std::wstring& to);

// The delete loop's bound: rounds of 100 ms in which the installed updater must be gone. The old
// updater ends right after it starts the new copy, but its close sends the usage reports first,
// and a statistics host that does not answer holds it for the system's connection attempt (about
// 21 seconds on Windows); 30 seconds lets that pass. A copy started outside the upgrade folder
// (the installed file is the running file itself) ends after these 30 seconds without starting
// anything.
constexpr int kRelocationDeleteRounds = 300;
constexpr int kRelocationPauseMs = 100;
// The new copy must appear within this many waits after the copy command, or nothing starts;
// the waiting itself goes on up to kRelocationAppearWaits.
constexpr int kRelocationStartWaits = 9;
constexpr int kRelocationAppearWaits = 50;

struct RelocationOps {
    std::function<bool(const std::wstring& path)> exists;
    std::function<void(const std::wstring& path)> createDirectory;
    std::function<void(const std::wstring& path)> deleteFile;
    std::function<std::wstring(const std::wstring& path)> fileVersion;  // empty when none
    std::function<long long(const std::wstring& path)> fileSize;        // -1 when unreadable
    std::function<void(const std::wstring& command)> runCommand;        // output discarded
    std::function<void(int ms)> sleep;
    std::function<void(const std::wstring& file, const std::wstring& parameters)> start;
};

// The relocation; `modulePath` is the running (new) executable, `commandLine` the command line
// without "-resetnew". Returns whether the installed copy was started. The suite is never left
// without an updater: the installed one is deleted only once its backup is really there (present,
// same size), and when the new copy does not arrive the backup is copied back (nothing starts).
bool RunRelocation(const std::wstring& modulePath, const std::wstring& commandLine,
                   const RelocationOps& ops);
