// The manifest command: the upgrade manifests of a release folder's packages, for the updater to
// read. Each package (a ".exe" below the folder) becomes the entry tagged with its file name's
// stem in lower case, with its version resource's version and its install file below the base
// URL (a path that begins with "/" when the base is the download host, so that the retry through
// the download IP works). The classic manifest gets the classic element names, the version-6 one
// its own. A package is refused, with the reason, when its tag is no element name the updater's
// XML component reads, when it has no version resource, or when the updater's signer rule would
// not pass it (unsigned packages included). Nothing is written while any package is refused.
#pragma once

#include <ostream>
#include <string>

#include "tools/publish/plan_command.h"

struct ManifestRequest {
    std::string releaseDir;
    std::wstring base;   // the URL the release folder is served at
    std::string outDir;  // where keldra/upgrade.xml and keldra/upgrade6s.xml are written; empty:
                         // only show the entries
    std::string merge;   // manifests to merge into (a folder or URL); empty: new manifests
    int timeoutSeconds = 10;
};

// Why `tag` cannot be an entry's element name, or "" when it can: an XML name of ASCII letters,
// digits, "_", "-" and "." that begins with a letter or "_", does not begin with "xml" and is not
// the settings element's name in any letter case.
std::string ManifestTagProblem(const std::string& tag);

// Returns 0 when every package made an entry (and the files were written when asked), 1 when a
// package was refused or a manifest to merge into cannot take the entries, 2 when the release
// folder or the manifests to merge into cannot be read.
int RunManifestCommand(const ManifestRequest& request, const PublishHosts& hosts, bool json,
                       std::ostream& out, std::ostream& err);
