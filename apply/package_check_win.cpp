#include "apply/package_check_win.h"

#include <windows.h>

#include <array>

#include "base/text.h"
#include "download/anomaly_win.h"
#include "manifest/file_version_win.h"
#include "trust/image_file_win.h"
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

}  // namespace

bool ProductCheck(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    const std::wstring fileName = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::wstring productName = FileVersionString(path, L"ProductName");
    const std::wstring originalName = FileVersionString(path, L"OriginalFileName");
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
    // A program cut short whose version resource survived is refused as well: its signature
    // may be the part that is missing, and a missing signature would pass for none.
    return versionOk && signatureOk && ProductCheck(path) && PackageIsWhole(path);
}

bool CheckPackageOrRecord(const std::wstring& path, const std::wstring& version) {
    std::wstring signer;
    if (CheckPackage(path, version, signer)) {
        return true;
    }
    RecordDownloadAnomaly(path, signer);
    return false;
}
