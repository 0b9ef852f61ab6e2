#include "manifest/history_win.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "base/text.h"
#include "base/unique_handle_win.h"
#include "build_values.h"
#include "manifest/com_ptr_win.h"
#include "manifest/manifest_fetch_win.h"
#include "manifest/manifest_readers_win.h"
#include "base/registry_win.h"
#include "base/os_code.h"
#include "res/resource.h"

namespace {

constexpr int kWriteAttempts = 5;
constexpr DWORD kWritePauseMs = 20;

using RedirectionOff = BOOL(WINAPI*)(PVOID*);
using RedirectionBack = BOOL(WINAPI*)(PVOID);

// Switches the file-system redirection of a 32-bit process on a 64-bit system off for its
// lifetime, where the system has it.
class NoRedirection {
  public:
    NoRedirection() {
        static const auto off = reinterpret_cast<RedirectionOff>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Wow64DisableWow64FsRedirection")));
        static const auto back = reinterpret_cast<RedirectionBack>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Wow64RevertWow64FsRedirection")));
        back_ = back;
        switchedOff_ = off != nullptr && back != nullptr && off(&old_);
    }
    ~NoRedirection() {
        if (switchedOff_) {
            back_(old_);
        }
    }
    NoRedirection(const NoRedirection&) = delete;
    NoRedirection& operator=(const NoRedirection&) = delete;

  private:
    RedirectionBack back_ = nullptr;
    PVOID old_ = nullptr;
    bool switchedOff_ = false;
};

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteWhole(const std::wstring& path, const void* bytes, DWORD size) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.Get(), bytes, size, &written, nullptr) && written == size;
}

bool ReadWhole(const std::wstring& path, std::string& bytes) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() ||
           (ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
            read == bytes.size());
}

// The depend text of the first update item tagged like the product (ignoring case).
std::wstring TargetDepend(const UpdateList& items, const std::wstring& product) {
    for (const auto& item : items) {
        if (EqualsNoCase(item->tag, product)) {
            return item->depend;
        }
    }
    return std::wstring();
}

bool StartWith(const std::wstring& program, const std::wstring& url) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = program.c_str();
    info.lpParameters = url.empty() ? nullptr : url.c_str();
    info.nShow = SW_SHOW;
    return ShellExecuteExW(&info) != FALSE;
}

}  // namespace

std::wstring HistoryPagePath() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder, length <= MAX_PATH ? length : 0) + L"history.html";
}

std::vector<HistoryRecord>& HistoryRecords() {
    static std::vector<HistoryRecord> records;
    return records;
}

bool WriteHistoryTemplate(const std::wstring& path) {
    const NoRedirection noRedirection;
    if (Exists(path) && !DeleteFileW(path.c_str())) {
        const std::wstring aside =
            path + L"." + std::to_wstring(static_cast<int>(GetTickCount())) + L".tmp";
        if (!MoveFileW(path.c_str(), aside.c_str())) {
            return false;
        }
        MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    HMODULE module = GetModuleHandleW(nullptr);
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_HISTORY_PAGE), L"RES");
        HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (bytes != nullptr && WriteWhole(path, bytes, SizeofResource(module, found))) {
            break;
        }
        Sleep(kWritePauseMs);
    }
    // Five failures still end as a success: the page step then finds no file and builds nothing.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return true;
}

bool ReadHistoryManifest(ManifestDocument& document, const std::wstring& moduleDir,
                         bool version6Switch, UpdateList& items) {
    std::vector<HistoryRecord>& records = HistoryRecords();
    const std::size_t before = records.size();
    {
        const ComApartment com;
        const ManifestVariant variant = SuiteManifestVariant(moduleDir, version6Switch);
        const std::wstring url =
            BuildManifestUrl(TALLIX_MANIFEST_HOST, ManifestKind::kHistory, variant);
        if (FetchAndLoadManifest(document, url, kUpgradeRootName)) {
            if (const std::unique_ptr<ManifestNode> root = document.Root()) {
                ReadHistoryRecords(*root, records);  // a failure keeps what was read before it
            }
        }
        document.Clear();  // no interface may outlive this COM initialisation
    }
    CopyItemFields(items, records);
    return records.size() > before;
}

bool BuildHistoryPage(const UpdateList& items, HistoryPageInputs in) {
    const std::wstring path = HistoryPagePath();
    if (!Exists(path)) {
        return false;
    }
    std::string bytes;
    const bool read = ReadWhole(path, bytes);
    DeleteFileW(path.c_str());
    if (read) {
        in.targetDepend = TargetDepend(items, in.targetProduct);
        const std::wstring page =
            InsertPageText(ReadTemplateText(bytes), HistoryPageText(HistoryRecords(), in));
        // The C runtime's Unicode text mode, written out by hand: mark, UTF-16LE, CR before LF.
        const std::string file = EncodePageFile(page);
        WriteWhole(path, file.data(), static_cast<DWORD>(file.size()));
    }
    return true;  // also when the template could not be read: the browser then finds no page
}

void OpenWebAddress(const std::wstring& url) {
    if (StartWith(url, std::wstring())) {
        return;
    }
    if (GetOsCode() >= kOsCodeWindows8) {
        const RegistryKey key(HKEY_CURRENT_USER,
                              L"Software\\Classes\\ActivatableClasses\\Package\\DefaultBrowser_"
                              L"NOPUBLISHERID\\Server\\DefaultBrowserServer");
        const std::wstring program = key.ReadString(L"ExePath");
        if (!program.empty() && StartWith(program, url)) {
            return;
        }
    }
    wchar_t programFiles[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES | CSIDL_FLAG_CREATE, nullptr, 0,
                                   programFiles))) {
        const std::wstring explorer =
            std::wstring(programFiles) + L"\\Internet Explorer\\iexplore.exe";
        if (Exists(explorer)) {
            StartWith(explorer, url);
        }
    }
}
