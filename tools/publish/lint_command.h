// The lint command: the findings of a release's manifests as a table or JSON.
#pragma once

#include <ostream>
#include <string>

#include "tools/publish/lint.h"

// Prints the findings; returns 0 or 1 by LintExitStatus, 2 when the manifests cannot be read.
int RunLintCommand(const std::string& manifests, int timeoutSeconds, const LintOptions& options,
                   Severity failOn, bool json, std::ostream& out, std::ostream& err);
