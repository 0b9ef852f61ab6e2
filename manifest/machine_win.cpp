#include "manifest/machine_win.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "manifest/file_version_win.h"
#include "base/registry_win.h"

namespace {

HKEY RootKey(RegistryRoot root) {
    return root == RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::wstring ReadRegistryString(const RegistryLocation& location, const std::wstring& valueName) {
    const RegistryKey key(RootKey(location.root), location.path,
                          static_cast<REGSAM>(location.accessModifier));
    return key.ReadString(valueName);
}

bool PathExists(const std::wstring& path) {
    return !path.empty() && PathFileExistsW(path.c_str()) != FALSE;
}

// An empty path would name the updater itself to the version reader; here it names nothing.
std::wstring ProductVersionOf(const std::wstring& path) {
    return path.empty() ? std::wstring() : FileProductVersion(path);
}

}  // namespace

std::wstring ModuleDirectory() {
    return SuiteDirectoryOf(OwnExecutablePath());
}

std::wstring LocalAppDataFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, folder))) {
        return std::wstring();
    }
    return folder;
}

ProductProbe WindowsProductProbe() {
    ProductProbe probe;
    probe.wow64 = RunsUnderWow64();
    probe.fileExists = PathExists;
    probe.readString = ReadRegistryString;
    return probe;
}

DecisionMachine WindowsDecisionMachine(const std::wstring& suiteDirectory) {
    DecisionMachine machine;
    machine.probe = WindowsProductProbe();
    machine.fileVersion = ProductVersionOf;
    machine.localAppData = LocalAppDataFolder;
    machine.suiteDirectory = suiteDirectory;
    // machine.secondPluginDirectory stays empty: nothing in the program names that directory.
    return machine;
}

RegistryKey UpdaterRegistryKey() {
    const RegistryLocation where = ProductRegistryKey(ProductKey::kUpdater, RunsUnderWow64());
    return RegistryKey(HKEY_CURRENT_USER, where.path, where.accessModifier);
}
