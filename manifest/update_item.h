// One entry of the upgrade manifest, and the list that holds them for the whole run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct UpdateItem {
    std::wstring tag;               // the entry's node name in lower case
    std::wstring name;              // display name
    std::wstring fileName;          // name in the upgrade directory, from the download URL
    std::wstring installedVersion;  // found on this machine; empty when not installed
    std::wstring version;           // offered by the manifest
    std::wstring downloadUrl;       // absolute
    std::wstring className;
    std::wstring depend;
    bool updateNeeded = false;
    bool enforce = false;
    bool runDirect = false;
    bool copyFile = true;
    bool unattended = false;
    bool packageOk = true;
    std::int32_t placementKind = 0;
    // Set by the manifest reader when the package name is refused (RefuseHostilePackageNames):
    // nothing is looked up, fetched or installed under it.
    bool nameRefused = false;
};

// In manifest order. Entries are appended and never removed or reordered while the program runs,
// so a pointer to an item stays valid for the whole session.
using UpdateList = std::vector<std::unique_ptr<UpdateItem>>;
