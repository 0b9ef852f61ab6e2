// The manifest readers of the check routine on Windows: each one fetches its manifest from the
// manifest host, loads it into the shared document and walks the root with the portable reader.
// A manifest that cannot be fetched or parsed contributes nothing, and the reader still returns
// normally; the values it would have set keep what the caller gave them.
#pragma once

#include <functional>
#include <string>

#include "manifest/manifest_document_win.h"
#include "manifest/manifest_text.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_list.h"

// The load step shared by the readers. Fetches `url`; when a body came back, loads it as raw
// bytes into `document` and finds the root named `rootName` (an empty root when the body is not
// such a manifest). Returns whether a body came back. COM must be initialised on this thread.
bool FetchAndLoadManifest(ManifestDocument& document, const std::wstring& url,
                          const std::wstring& rootName);

// True when the main program in `moduleDir` (keldra.exe, product version) is newer than 6.0.0.0.
// `moduleDir` ends in a backslash.
bool MainProgramIsVersion6(const std::wstring& moduleDir);

// The variant of the upgrade and history manifests: the classic one only when the settings
// manifest left its version-6 switch clear, the main program in `moduleDir` is not of the
// version-6 line and keldra.exe exists there.
ManifestVariant SuiteManifestVariant(const std::wstring& moduleDir, bool version6Switch);

// Reads the settings manifest of `hostOrigin` into `settings`. Returns whether a body was fetched.
bool FetchSettingsManifest(ManifestDocument& document, const std::wstring& hostOrigin,
                           UpdaterSettings& settings);

struct UpgradeManifestRequest {
    std::wstring hostOrigin;      // the manifest host, an "http://" origin
    std::wstring moduleDir;       // the updater's directory (the suite directory), with "\\"
    bool version6Switch = false;  // as the settings manifest left it
    std::wstring targetProduct;   // the product named on the command line; may be empty
    // Runs the update decision over the list once the manifest has been read, whether or not
    // anything was fetched. May be empty.
    std::function<void()> runUpdateDecision;
};

struct UpgradeManifestOutcome {
    bool fetched = false;                                 // a body came back from the host
    ManifestVariant variant = ManifestVariant::kClassic;  // the variant asked for
};

// Reads the upgrade manifest of the variant that the request's suite calls for, appends its
// entries to `list` and records the reader's side values in `state`; then runs the decision.
UpgradeManifestOutcome FetchUpgradeManifest(ManifestDocument& document,
                                            const UpgradeManifestRequest& request,
                                            UpgradeReaderState& state, UpdateList& list);
