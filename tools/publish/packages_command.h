// The packages command: every entry's package in the release folder, with the version resource
// and the signer the updater will check it against.
#pragma once

#include <ostream>
#include <string>

#include "tools/publish/pe_package.h"
#include "tools/publish/plan_command.h"

// What the updater makes of a package, and how bad that is.
struct PackageVerdict {
    enum class Level { kOk, kWarning, kError };
    Level level = Level::kError;
    std::string text;
};

// The verdict on a package file named `fileName` whose entry offers `expected`. A missing file,
// one that is no Windows program, a version resource that differs and a signer that is not the
// maker are errors; an unsigned package is a warning: the updater accepts it, but a redirected
// copy of it counts as suspicious.
PackageVerdict JudgePackage(bool found, const PackageFacts& facts, const std::wstring& fileName,
                            const std::wstring& expected);

// Returns 2 when the manifests or the release folder cannot be read; 1 when a package has an
// error, or a warning and `errorsOnly` is false; 0 otherwise.
int RunPackagesCommand(const std::string& manifests, const std::string& releaseDir,
                       int timeoutSeconds, const PublishHosts& hosts, bool errorsOnly, bool json,
                       std::ostream& out, std::ostream& err);
