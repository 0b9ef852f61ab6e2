// Where the suite's products record their installation, how their files are found from those
// records, and whether the main program is on this machine. The registry and the file system are
// reached through the small services of ProductProbe, so the rules themselves are portable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

enum class RegistryRoot { kCurrentUser, kLocalMachine };

// The registry keys of the suite's products and of the updater itself.
enum class ProductKey {
    kMainProgram,  // keldra
    kOlderLine,    // Helvor3
    kCalendar,     // dayloom
    kFennick,      // Fennick3
    kMarlow,
    kUpdater,  // tallix
};

// Access modifier that selects the 64-bit registry view.
constexpr std::uint32_t kKeyWow64_64Key = 0x100;

struct RegistryLocation {
    RegistryRoot root = RegistryRoot::kCurrentUser;
    std::wstring path;
    std::uint32_t accessModifier = 0;  // added to the read access when the key is opened
};

// The key of `product`. Under WOW64 every key is read in the 64-bit view, and the two machine-wide
// keys (main program, older line) are then looked for below "Software\\Wow6432Node" explicitly.
RegistryLocation ProductRegistryKey(ProductKey product, bool wow64);

// Value names under the product keys.
inline const wchar_t kValueInstallDir[] = L"Install_Dir";
inline const wchar_t kValueExeName[] = L"ExeName";
inline const wchar_t kValuePluginsPath[] = L"PluginsPath";
inline const wchar_t kValueInstallNewPath[] = L"Install_NewPath";
inline const wchar_t kValueUpdateVersion[] = L"updateversion";
inline const wchar_t kValueUpdatePath[] = L"updatepath";
inline const wchar_t kValueUpdateHistory[] = L"updatehistory";
inline const wchar_t kValueUptime[] = L"uptime";

// The platform services the lookups use.
struct ProductProbe {
    bool wow64 = false;
    std::function<bool(const std::wstring& path)> fileExists;
    // A string value of a key; the empty string when the key or value is missing, unreadable or
    // not of a string type.
    std::function<std::wstring(const RegistryLocation& key, const std::wstring& valueName)>
        readString;
};

// The directory of a module path, keeping its trailing backslash ("C:\\a\\tallix.exe" gives
// "C:\\a\\"); empty when the path has no backslash.
std::wstring SuiteDirectoryOf(const std::wstring& modulePath);

// Joins a directory and a relative path the way the shell's path-append does: leading
// backslashes of `more` are dropped (unless it is a "\\\\server" path), one backslash separates
// the two, and a `more` that is itself rooted ("X:..." or "\\\\server") replaces the directory.
// "." and ".." components are kept as they are.
std::wstring AppendPath(const std::wstring& directory, const std::wstring& more);

// True when the main program's version is of the version-6 line (newer than 6.0.0.0).
bool IsVersion6Line(const std::wstring& mainProgramVersion);

// Install-directory lookups. Each gives the empty string when the product's registry value is
// empty (the product is not installed).
std::wstring CalendarExecutablePath(const ProductProbe& probe);  // Install_Dir + dayloom.exe
std::wstring CalendarPluginsPath(const ProductProbe& probe);     // PluginsPath
std::wstring FennickExecutablePath(const ProductProbe& probe);   // Install_Dir + "fennick.exe"
std::wstring MarlowExecutablePath(const ProductProbe& probe);    // Install_NewPath + "\\marlow.exe"
std::wstring MarlowUpgradePath(const ProductProbe& probe);  // Install_NewPath + "\\upgrade.exe"

// The sibling's upgrade program below the user's local application-data folder; empty when the
// folder is unknown.
std::wstring MarlowUpgradeInLocalAppData(const std::wstring& localAppData);

// True as soon as one of these holds, tested in this order: keldra.exe exists in the suite
// directory; the main program's key names an install directory and an executable that exists;
// the older line's key names an install directory holding Helvor3.exe; `productKey` is one of the
// setup packages that need no installed main program.
bool MainProgramPresent(const std::wstring& suiteDirectory, const std::wstring& productKey,
                        const ProductProbe& probe);
