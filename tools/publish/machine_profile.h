// One kind of machine, described for the plan: which files of the suite are where and at which
// product version, the registry values the decision reads, the system and the windows that are
// open. Profiles are JSON:
//   {"name": "one release behind",
//    "system": {"osCode": 23, "wow64": false},
//    "suiteDirectory": "C:\\Program Files (x86)\\Orvane\\Keldra\\",
//    "files": {"keldra.exe": "5.9.2.1", "C:\\Dayloom\\dayloom.exe": "3.0.0.1"},
//    "registry": {"HKCU\\Software\\Orvane\\Dayloom\\Install_Dir": "C:\\Dayloom\\"},
//    "windows": [{"class": "_Keldra6", "visible": true}]}
// A file name without a drive or a leading backslash lies in the suite directory; a version ""
// is a file without a version resource.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "manifest/update_decision.h"

struct ProfileWindow {
    std::wstring className;
    bool visible = true;
};

struct MachineProfile {
    std::string name;
    std::string source;  // the file it came from
    int osCode = 23;     // Windows 7
    bool wow64 = false;
    std::wstring suiteDirectory = L"C:\\Program Files (x86)\\Orvane\\Keldra\\";
    std::wstring localAppData = L"C:\\Users\\user\\AppData\\Local";
    std::wstring appData = L"C:\\Users\\user\\AppData\\Roaming";
    std::map<std::wstring, std::wstring> files;     // lower-cased full path -> version
    std::map<std::wstring, std::wstring> registry;  // "HKCU\\path\\value" -> text
    std::vector<ProfileWindow> windows;

    bool FileExists(const std::wstring& path) const;
    std::wstring FileVersion(const std::wstring& path) const;
    bool WindowExists(const std::wstring& className, bool mustBeVisible) const;
    // The services the update decision asks of the machine, answered from the profile.
    DecisionMachine Machine() const;
};

// Reads a profile from a JSON file; nothing, with `error` set, when it cannot be read.
std::optional<MachineProfile> LoadProfile(const std::string& path, std::string& error);
std::optional<MachineProfile> ParseProfile(const std::string& json, std::string& error);
