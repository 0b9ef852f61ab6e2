// The packages command: every entry's package in the release folder, with the version resource
// and the signer the updater will check it against.
#pragma once

#include <ostream>
#include <string>

#include "tools/publish/plan_command.h"

// Returns 0 when every package is in place and passes, 1 when any does not.
int RunPackagesCommand(const std::string& manifests, const std::string& releaseDir,
                       const PublishHosts& hosts, bool json, std::ostream& out);
