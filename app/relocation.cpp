#include "app/relocation.h"

#include "apply/swap_plan.h"
#include "base/text.h"

RelocationPaths RelocationPathsFor(const std::wstring& modulePath) {
    const std::size_t slash = modulePath.rfind(L'\\');
    const std::wstring directory =
        slash == std::wstring::npos ? std::wstring() : modulePath.substr(0, slash + 1);
    RelocationPaths paths;
    paths.base = ReplaceAll(ToLowerAscii(directory), L"\\upgrade", L"");
    paths.installed = paths.base + L"\\tallix.exe";
    paths.backupDirectory = paths.base + L"\\OldVersion";
    paths.staged = StagingName(paths.installed);
    return paths;
}

std::wstring RelocationBackupPath(const RelocationPaths& paths, const std::wstring& version) {
    return paths.backupDirectory + L"\\tallix" + version + L".exe";
}

std::wstring CopyCommand(const std::wstring& from, const std::wstring& to) {
    return L"copy \"" + from + L"\"  \"" + to + L"\"";
}

namespace {

// Copies `from` beside the installed updater through the command interpreter and waits for the
// copy to appear. The number of waits it took, or -1 when it did not arrive whole (`size`
// bytes and the version of `from`); a copy that is not whole is deleted.
int Stage(const RelocationPaths& paths, const std::wstring& from, long long size,
          const RelocationOps& ops) {
    if (ops.exists(paths.staged)) {
        ops.deleteFile(paths.staged);  // left by a relocation that was killed
    }
    ops.runCommand(CopyCommand(from, paths.staged));
    int waits = 0;
    while (!ops.exists(paths.staged) && waits < kRelocationAppearWaits) {
        ops.sleep(kRelocationPauseMs);
        ++waits;
    }
    if (size < 0 || !ops.exists(paths.staged) || ops.fileSize(paths.staged) != size ||
        ops.fileVersion(paths.staged) != ops.fileVersion(from)) {
        ops.deleteFile(paths.staged);
        return -1;
    }
    return waits;
}

// Moves the staged copy over the installed path in one step, retrying while the installed
// updater still runs; the staged copy is deleted when the bound is reached.
bool MoveIn(const RelocationPaths& paths, const RelocationOps& ops) {
    for (int round = 0;; ++round) {
        if (ops.replace(paths.staged, paths.installed)) {
            return true;
        }
        if (round == kRelocationDeleteRounds) {
            ops.deleteFile(paths.staged);
            return false;
        }
        ops.sleep(kRelocationPauseMs);
    }
}

}  // namespace

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
    // The new copy is written beside the installed updater, which stays whole until the copy,
    // checked against the running image's size, replaces it in one move.
    const int waits = Stage(paths, modulePath, ops.fileSize(modulePath), ops);
    if (waits >= 0 && MoveIn(paths, ops)) {
        if (waits > kRelocationStartWaits) {
            return false;  // in place, but too late to start
        }
        ops.start(paths.installed, commandLine);
        return true;
    }
    if (hadInstalled && !ops.exists(paths.installed)) {
        // Something else took the installed updater away meanwhile: the backup goes back in
        // place the same way, checked by its size, and nothing starts.
        if (Stage(paths, backup, ops.fileSize(backup), ops) >= 0) {
            MoveIn(paths, ops);
        }
    }
    return false;
}
