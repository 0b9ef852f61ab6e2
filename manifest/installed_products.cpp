#include "manifest/installed_products.h"

#include "base/text.h"
#include "manifest/version.h"

namespace {

struct KeyRow {
    ProductKey product;
    RegistryRoot root;
    const wchar_t* path;
    const wchar_t* wow64Path;  // the path under WOW64
};

constexpr KeyRow kKeys[] = {
    {ProductKey::kMainProgram, RegistryRoot::kLocalMachine, L"Software\\Orvane\\Keldra",
     L"Software\\Wow6432Node\\Orvane\\Keldra"},
    {ProductKey::kOlderLine, RegistryRoot::kLocalMachine, L"Software\\orvane\\Helvor3",
     L"Software\\Wow6432Node\\orvane\\Helvor3"},
    {ProductKey::kCalendar, RegistryRoot::kCurrentUser, L"Software\\Orvane\\Dayloom",
     L"Software\\Orvane\\Dayloom"},
    {ProductKey::kFennick, RegistryRoot::kCurrentUser, L"Software\\Orvane\\Fennick3",
     L"Software\\Orvane\\Fennick3"},
    {ProductKey::kMarlow, RegistryRoot::kCurrentUser, L"Software\\Orvane\\Marlow",
     L"Software\\Orvane\\Marlow"},
    {ProductKey::kUpdater, RegistryRoot::kCurrentUser, L"Software\\Orvane\\Tallix",
     L"Software\\Orvane\\Tallix"},
};

// Setup packages that install without the main program.
const wchar_t* const kStandaloneSetups[] = {
    L"dayloomsetup",
    L"dayloomsetup_silent",
    L"pinnacesetup",
    L"pinnacesetup_silent",
};

bool EndsWithBackslash(const std::wstring& path) {
    return !path.empty() && path.back() == L'\\';
}

// `directory`, a backslash unless it already ends in one, and `name`.
std::wstring JoinWithBackslash(const std::wstring& directory, const std::wstring& name) {
    return EndsWithBackslash(directory) ? directory + name : directory + L"\\" + name;
}

bool IsUncPath(const std::wstring& path) {
    return path.compare(0, 2, L"\\\\") == 0;
}

bool HasDriveLetter(const std::wstring& path) {
    return path.size() >= 2 && path[1] == L':';
}

std::wstring ReadValue(const ProductProbe& probe, ProductKey product, const wchar_t* valueName) {
    if (!probe.readString) {
        return std::wstring();
    }
    return probe.readString(ProductRegistryKey(product, probe.wow64), valueName);
}

bool FileExists(const ProductProbe& probe, const std::wstring& path) {
    return probe.fileExists && probe.fileExists(path);
}

// The value of `product`'s key followed directly by `suffix`; empty when the value is empty.
std::wstring ValueFollowedBy(const ProductProbe& probe, ProductKey product,
                             const wchar_t* valueName, const wchar_t* suffix) {
    const std::wstring value = ReadValue(probe, product, valueName);
    return value.empty() ? std::wstring() : value + suffix;
}

}  // namespace

RegistryLocation ProductRegistryKey(ProductKey product, bool wow64) {
    RegistryLocation key;
    for (const KeyRow& row : kKeys) {
        if (row.product == product) {
            key.root = row.root;
            key.path = wow64 ? row.wow64Path : row.path;
        }
    }
    key.accessModifier = wow64 ? kKeyWow64_64Key : 0;
    return key;
}

std::wstring SuiteDirectoryOf(const std::wstring& modulePath) {
    const std::size_t slash = modulePath.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : modulePath.substr(0, slash + 1);
}

std::wstring AppendPath(const std::wstring& directory, const std::wstring& more) {
    std::wstring rest = more;
    if (!IsUncPath(rest)) {
        rest.erase(0, rest.find_first_not_of(L'\\'));
    }
    if (rest.empty()) {
        return directory;
    }
    if (directory.empty() || IsUncPath(rest) || HasDriveLetter(rest)) {
        return rest;
    }
    return JoinWithBackslash(directory, rest);
}

bool IsVersion6Line(const std::wstring& mainProgramVersion) {
    return IsNewer(kVersion6Threshold, mainProgramVersion);
}

std::wstring CalendarExecutablePath(const ProductProbe& probe) {
    const std::wstring directory = ReadValue(probe, ProductKey::kCalendar, kValueInstallDir);
    return directory.empty() ? std::wstring() : AppendPath(directory, L"dayloom.exe");
}

std::wstring CalendarPluginsPath(const ProductProbe& probe) {
    return ReadValue(probe, ProductKey::kCalendar, kValuePluginsPath);
}

std::wstring FennickExecutablePath(const ProductProbe& probe) {
    return ValueFollowedBy(probe, ProductKey::kFennick, kValueInstallDir, L"fennick.exe");
}

std::wstring MarlowExecutablePath(const ProductProbe& probe) {
    return ValueFollowedBy(probe, ProductKey::kMarlow, kValueInstallNewPath, L"\\marlow.exe");
}

std::wstring MarlowUpgradePath(const ProductProbe& probe) {
    return ValueFollowedBy(probe, ProductKey::kMarlow, kValueInstallNewPath, L"\\upgrade.exe");
}

std::wstring MarlowUpgradeInLocalAppData(const std::wstring& localAppData) {
    if (localAppData.empty()) {
        return std::wstring();
    }
    return AppendPath(localAppData, L"orvane\\marlow\\upgrade.exe");
}

bool MainProgramPresent(const std::wstring& suiteDirectory, const std::wstring& productKey,
                        const ProductProbe& probe) {
    if (FileExists(probe, suiteDirectory + L"keldra.exe")) {
        return true;
    }
    const std::wstring mainDir = ReadValue(probe, ProductKey::kMainProgram, kValueInstallDir);
    if (!mainDir.empty()) {
        const std::wstring exeName = ReadValue(probe, ProductKey::kMainProgram, kValueExeName);
        if (!exeName.empty() && FileExists(probe, JoinWithBackslash(mainDir, exeName))) {
            return true;
        }
    }
    const std::wstring olderDir = ReadValue(probe, ProductKey::kOlderLine, kValueInstallDir);
    if (!olderDir.empty() && FileExists(probe, JoinWithBackslash(olderDir, L"Helvor3.exe"))) {
        return true;
    }
    for (const wchar_t* setup : kStandaloneSetups) {
        if (EqualsNoCase(productKey, setup)) {
            return true;
        }
    }
    return false;
}
