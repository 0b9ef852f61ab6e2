// What the download jobs read and write on the update session. The session implements it; the
// jobs (and the upgrade folders) see nothing else of it, so the download code never depends on
// the layers above it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "manifest/update_item.h"

class JobHost {
  public:
    virtual ~JobHost() = default;

    // The window the jobs post their steps to and the status objects send their progress to.
    virtual HWND JobWindow() const = 0;
    // The updater's own directory with its trailing backslash.
    virtual const std::wstring& ModuleDir() const = 0;
    // The update list, owned by the session for the whole run; the jobs write only `packageOk`.
    virtual UpdateList& Items() = 0;
    // The per-user upgrade folder, computed by EnsureUpgradeFolders.
    virtual const std::wstring& UserUpgradeFolder() const = 0;
    virtual void SetUserUpgradeFolder(const std::wstring& folder) = 0;
    // The address that replaces the download host's name on a retry.
    virtual std::wstring DownloadIp() const = 0;
    // The texts that mark a hijacked redirect.
    virtual std::vector<std::wstring> HijackMarkers() const = 0;
    // The download URL of the main setup as the upgrade manifest gave it, its name in the upgrade
    // folder (empty when refused), and the download base that a relative URL is appended to.
    virtual std::wstring MainSetupUrl() const = 0;
    virtual std::wstring MainSetupFileName() const = 0;
    virtual std::wstring DownloadBase() const = 0;
    // The version of the updater that the upgrade manifest offers.
    virtual std::wstring LatestUpdaterVersion() const = 0;
};
