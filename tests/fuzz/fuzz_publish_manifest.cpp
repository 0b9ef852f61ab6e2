// Lint's byte checks and XML view on any body a manifest host could serve: lint never says
// "clean" of a manifest the updater takes nothing from, every node it points at lies on a line of
// the text, and a release whose upgrade manifest gives no error holds the updater's own entry
// with a version the updater can match.
#include "manifest/settings_manifest.h"
#include "manifest/update_list.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/publish/lint.h"

namespace {

bool HasError(const std::vector<Finding>& findings) {
    for (const Finding& f : findings) {
        if (f.severity == Severity::kError)
            return true;
    }
    return false;
}

// Every node of the view within a bounded walk lies on a line of the text; the walk keeps its own
// list, as a hostile nesting would overflow a recursion.
void CheckLines(const ManifestXml& xml) {
    const std::size_t lines =
        1 + static_cast<std::size_t>(std::count(xml.Text().begin(), xml.Text().end(), L'\n'));
    std::vector<std::unique_ptr<ManifestNode>> pending;
    pending.push_back(xml.Root());
    for (std::size_t visited = 0; !pending.empty() && visited < 2000; ++visited) {
        std::unique_ptr<ManifestNode> node = std::move(pending.back());
        pending.pop_back();
        std::wstring text;
        FUZZ_CHECK(node->Text(text));
        FUZZ_CHECK(xml.LineOf(*node) <= lines + 1);
        std::size_t count = 0;
        FUZZ_CHECK(node->ChildCount(count));
        for (std::size_t i = 0; i < count; ++i)
            pending.push_back(node->Child(i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> bytes(data, data + size);
    for (const ManifestKind kind : {ManifestKind::kSettings, ManifestKind::kUpgrade}) {
        LoadedManifest m;
        LoadManifestBytes(kind, ManifestVariant::kClassic, bytes, m);
        std::vector<Finding> findings;
        LintBytes(m, findings);
        LintXml(m, findings);
        if (!m.xml->Parsed() || !m.xml->RootFound())
            FUZZ_CHECK(HasError(findings));
        CheckLines(*m.xml);
    }
    // The body as the classic upgrade manifest of an otherwise empty release.
    ReleaseManifests release;
    LoadManifestBytes(ManifestKind::kUpgrade, ManifestVariant::kClassic, bytes, release.upgrade[0]);
    LintOptions options;
    options.downloadOrigin = L"http://down.example";
    options.releaseVersion = L"3.2.0.17";
    const std::vector<Finding> findings = LintRelease(release, options);
    std::vector<Finding> upgradeErrors;
    for (const Finding& f : findings) {
        if (f.severity == Severity::kError && f.file == "/keldra/upgrade.xml")
            upgradeErrors.push_back(f);
    }
    if (upgradeErrors.empty()) {
        UpgradeReaderState state;
        UpdateList items;
        ReadUpgradeManifest(*release.upgrade[0].xml->Root(), ManifestVariant::kClassic, L"", state,
                            items);
        FUZZ_CHECK(IsFourPartVersion(state.latestUpdaterVersion));
    }
    return 0;
}
