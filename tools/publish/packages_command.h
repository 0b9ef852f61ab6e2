// The packages command: every entry's package in the release folder, with the version resource
// and the signer the updater will check it against.
#pragma once

#include <ostream>
#include <string>

#include "tools/publish/plan_command.h"

// Returns 0 when every package is in place and passes, 1 when any does not.
int RunPackagesCommand(const std::string& manifests, const std::string& releaseDir,
                       const PublishHosts& hosts, bool json, std::ostream& out);

// The manifest command: the upgrade manifest's entries written from the packages of a release
// folder (tag from the file name, version from the version resource, install file from `base`
// and the package's path in the folder), for the publisher to merge. A package below the
// download host gets a path that begins with "/", so that its retry through the download IP
// works. Returns 1 when a package has no version resource.
int RunManifestCommand(const std::string& releaseDir, const std::wstring& base,
                       const PublishHosts& hosts, bool json, std::ostream& out);
