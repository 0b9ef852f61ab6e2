#include "manifest/manifest_readers_win.h"

#include <windows.h>
#include <shlwapi.h>

#include <memory>

#include "manifest/file_version_win.h"
#include "manifest/installed_products.h"
#include "manifest/manifest_fetch_win.h"
#include "trust/release_gate.h"

namespace {

const wchar_t kMainProgramFile[] = L"keldra.exe";

}  // namespace

bool FetchAndLoadManifest(ManifestDocument& document, const std::wstring& url,
                          const std::wstring& rootName) {
    const std::optional<FetchedManifest> body = FetchManifest(url);
    // With an accepted release index, a manifest other than the one it names counts as not
    // fetched (a build without release keys has no gate).
    const ReleaseGate* gate = ActiveReleaseGate();
    if (!body ||
        (gate != nullptr && !gate->ManifestMatches(url, body->bytes.data(), body->count))) {
        return false;
    }
    document.SetRawBytes(true);
    document.Load(body->bytes.data(), body->count);
    document.SetRootName(rootName);
    document.FindRoot();
    return true;
}

bool MainProgramIsVersion6(const std::wstring& moduleDir) {
    return IsVersion6Line(FileProductVersion(moduleDir + kMainProgramFile));
}

ManifestVariant SuiteManifestVariant(const std::wstring& moduleDir, bool version6Switch) {
    const bool mainProgramExists = PathFileExistsW((moduleDir + kMainProgramFile).c_str()) != FALSE;
    return ChooseManifestVariant(version6Switch, MainProgramIsVersion6(moduleDir),
                                 mainProgramExists);
}

bool FetchSettingsManifest(ManifestDocument& document, const std::wstring& hostOrigin,
                           UpdaterSettings& settings) {
    const ComApartment com;
    const std::wstring url =
        BuildManifestUrl(hostOrigin, ManifestKind::kSettings, ManifestVariant::kClassic);
    const bool fetched = FetchAndLoadManifest(document, url, kSettingsRootName);
    if (fetched) {
        if (const std::unique_ptr<ManifestNode> root = document.Root()) {
            ReadSettingsManifest(*root, settings);  // a failure keeps what was read before it
        }
    }
    // No interface may outlive this thread's COM initialisation.
    document.Clear();
    return fetched;
}

UpgradeManifestOutcome FetchUpgradeManifest(ManifestDocument& document,
                                            const UpgradeManifestRequest& request,
                                            UpgradeReaderState& state, UpdateList& list) {
    UpgradeManifestOutcome outcome;
    outcome.variant = SuiteManifestVariant(request.moduleDir, request.version6Switch);
    {
        const ComApartment com;
        const std::wstring url =
            BuildManifestUrl(request.hostOrigin, ManifestKind::kUpgrade, outcome.variant);
        outcome.fetched = FetchAndLoadManifest(document, url, kUpgradeRootName);
        if (outcome.fetched) {
            if (const std::unique_ptr<ManifestNode> root = document.Root()) {
                ReadUpgradeManifest(*root, outcome.variant, request.targetProduct, state, list);
            }
        }
        document.Clear();
    }
    if (request.runUpdateDecision) {
        request.runUpdateDecision();
    }
    return outcome;
}
