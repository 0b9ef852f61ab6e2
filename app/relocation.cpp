#include "app/relocation.h"

#include "base/text.h"

RelocationPaths RelocationPathsFor(const std::wstring& modulePath) {
    const std::size_t slash = modulePath.rfind(L'\\');
    const std::wstring directory =
        slash == std::wstring::npos ? std::wstring() : modulePath.substr(0, slash + 1);
    RelocationPaths paths;
    paths.base = ReplaceAll(ToLowerAscii(directory), L"\\upgrade", L"");
    paths.installed = paths.base + L"\\tallix.exe";
    paths.backupDirectory = paths.base + L"\\OldVersion";
    return paths;
}

std::wstring RelocationBackupPath(const RelocationPaths& paths, const std::wstring& version) {
    return paths.backupDirectory + L"\\tallix" + version + L".exe";
}

std::wstring CopyCommand(const std::wstring& from, const std::wstring& to) {
    return L"copy \"" + from + L"\"  \"" + to + L"\"";
}

bool RunRelocation(const std::wstring& modulePath, const std::wstring& commandLine,
                   const RelocationOps& ops) {
    const RelocationPaths paths = RelocationPathsFor(modulePath);
    ops.createDirectory(paths.backupDirectory);
    const std::wstring backup = RelocationBackupPath(paths, ops.fileVersion(paths.installed));
    if (ops.exists(backup)) {
        ops.deleteFile(backup);
    }
    const bool hadInstalled = ops.exists(paths.installed);
    if (hadInstalled) {
        ops.runCommand(CopyCommand(paths.installed, backup));
        // Without a whole backup the installed updater is the only one there is: keep it.
        const long long size = ops.fileSize(paths.installed);
        if (!ops.exists(backup) || size < 0 || ops.fileSize(backup) != size) {
            return false;
        }
    }
    for (int round = 0; ops.exists(paths.installed); ++round) {
        if (round == kRelocationDeleteRounds) {
            return false;  // the old updater is still there: leave it as it is
        }
        ops.sleep(kRelocationPauseMs);
        ops.deleteFile(paths.installed);
    }
    ops.runCommand(CopyCommand(modulePath, paths.installed));
    int waits = 0;
    while (!ops.exists(paths.installed) && waits < kRelocationAppearWaits) {
        ops.sleep(kRelocationPauseMs);
        ++waits;
    }
    if (!ops.exists(paths.installed)) {
        if (hadInstalled) {
            // The new copy never arrived: the old updater goes back in place, not started.
            ops.runCommand(CopyCommand(backup, paths.installed));
        }
        return false;
    }
    if (waits > kRelocationStartWaits) {
        return false;
    }
    ops.start(paths.installed, commandLine);
    return true;
}
