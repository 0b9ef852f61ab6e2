// The publisher's signing commands for the updater with release keys:
//   keygen PREFIX [--bits N]
//   sign RELEASE_DIR --release N --expires TIME|DAYSd --key PRIVATE.key [--key ...]
//        [--previous DIR_OR_URL] [--download-host ORIGIN] [--json]
//   verify DIR_OR_URL --key PUBLIC.pub [--key ...] [--threshold N] [--last-release N]
//          [--download-host ORIGIN] [--json]
// Each takes --help. Exit status: 0 done or clean, 1 refused or findings, 2 a usage error.
#pragma once

#include <ostream>
#include <string>
#include <vector>

bool IsReleaseCommand(const std::string& command);

// `args` begins with the command's name.
int RunReleaseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The usage lines of the three commands.
std::string ReleaseCommandsUsage();
