// The relocation process: the new updater build, started from the upgrade folder with
// "-resetnew", puts itself in place of the installed updater. Copies go through the command
// interpreter, whose output is read from a pipe and thrown away.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "app/notice_win.h"
#include "app/relocation.h"
#include "app/startup_win.h"
#include "apply/replace_file_win.h"
#include "base/unique_handle_win.h"
#include "manifest/file_version_win.h"

namespace {

constexpr DWORD kReadPiece = 1023;

}  // namespace

bool RunCommandCaptured(const std::wstring& command, std::wstring& output) {
    output.clear();
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueKernelHandle readEnd;
    UniqueKernelHandle writeEnd;
    if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0)) {
        return false;
    }
    STARTUPINFOW startup = {};
    GetStartupInfoW(&startup);
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    startup.wShowWindow = SW_HIDE;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    std::wstring text = L"cmd.exe /c " + command;
    std::vector<wchar_t> line(text.begin(), text.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    writeEnd.Reset();  // the command's end closes when it ends, which ends the reads
    for (;;) {
        char buffer[kReadPiece + 1] = {};
        DWORD read = 0;
        if (!ReadFile(readEnd.Get(), buffer, kReadPiece, &read, nullptr) || read == 0) {
            break;
        }
        buffer[read] = '\0';
        const int wide = MultiByteToWideChar(CP_ACP, 0, buffer, -1, nullptr, 0);
        if (wide > 1) {
            std::wstring piece(static_cast<std::size_t>(wide), L'\0');
            MultiByteToWideChar(CP_ACP, 0, buffer, -1, piece.data(), wide);
            piece.resize(static_cast<std::size_t>(wide - 1));
            output += piece;
        }
    }
    return true;
}

std::wstring RelocationMutexName() {
    wchar_t user[261] = {};
    DWORD length = 261;
    GetUserNameW(user, &length);
    return std::wstring(user) + L"_tallix_orvane_relocation";
}

bool RelocationUnderWay() {
    UniqueKernelHandle held(OpenMutexW(SYNCHRONIZE, FALSE, RelocationMutexName().c_str()));
    // A relocation that runs elevated holds a mutex this process may not open: it is under way
    // all the same.
    return held.Valid() || GetLastError() == ERROR_ACCESS_DENIED;
}

void RemoveOldVersion(const std::wstring& moduleDir) {
    if (!RelocationUnderWay()) {
        DeleteTree(moduleDir + L"\\OldVersion", true);
    }
}

void Relocate() {
    // Held while this process runs: another updater that closes meanwhile leaves "OldVersion"
    // alone, since the backup in it may be the only whole updater there is. The system releases
    // it when this process ends, however it ends.
    UniqueKernelHandle relocating(CreateMutexW(nullptr, TRUE, RelocationMutexName().c_str()));
    RelocationOps ops;
    ops.exists = [](const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; };
    ops.createDirectory = [](const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); };
    ops.deleteFile = [](const std::wstring& path) { DeleteFileW(path.c_str()); };
    ops.replace = [](const std::wstring& from, const std::wstring& to) {
        return MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    };
    ops.fileVersion = [](const std::wstring& path) { return FileProductVersion(path); };
    ops.fileSize = FileSizeOf;
    ops.runCommand = [](const std::wstring& command) {
        std::wstring discarded;
        RunCommandCaptured(command, discarded);
    };
    ops.sleep = [](int ms) { Sleep(static_cast<DWORD>(ms)); };
    ops.start = [](const std::wstring& file, const std::wstring& parameters) {
        ShellExecuteW(nullptr, L"open", file.c_str(), parameters.c_str(), L"", SW_SHOW);
    };
    RunRelocation(OwnExecutablePath(), Options().commandLine, ops);
}
