#include "tools/publish/plan_release.h"

#include <algorithm>
#include <ctime>

#include "tools/publish/release_index_check.h"
#include "tools/publish/release_keys.h"
#include "tools/publish/xml_view.h"
#include "trust/release_rules.h"

namespace {

const wchar_t kEndsCheck[] =
    L"the check ends as if the manifest host could not be reached: the network error box unless "
    L"-silent, and the caller is told that the check failed";

std::wstring Wide(const std::string& text) {
    return Utf8ToUtf16(text);
}

void DropManifest(LoadedManifest& m) {
    m.present = false;
    m.bytes.clear();
    m.xml.reset();
}

}  // namespace

bool JudgeRelease(const ReleaseManifests& release, const ReleaseKeysOption& keys,
                  JudgedRelease& judged, std::string& error) {
    std::vector<ReleaseKey> loaded;
    IndexTrust trust;
    for (const std::string& path : keys.keyFiles) {
        auto key = ReleaseKey::LoadPublic(path, error);
        if (!key)
            return false;
        trust.keyIds.push_back(key->Id());
        loaded.push_back(std::move(*key));
    }
    trust.threshold = keys.threshold;
    trust.check = [](const void* keys, std::size_t key, const unsigned char* body, std::size_t size,
                     const std::vector<std::uint8_t>& signature) {
        return (*static_cast<const std::vector<ReleaseKey>*>(keys))[key].Verify(body, size,
                                                                                signature);
    };
    trust.context = &loaded;
    trust.now = static_cast<std::int64_t>(std::time(nullptr));
    const auto& bytes = release.index;
    if (!bytes) {
        judged.why = "no release index is served";
        return true;
    }
    IndexAssessment a = AssessReleaseIndex(bytes->data(), bytes->size(), trust);
    switch (a.verdict) {
        case IndexVerdict::kAccepted:
            judged.accepted = true;
            break;
        case IndexVerdict::kMalformed:
            judged.why = "the release index cannot be read";
            break;
        case IndexVerdict::kBelowThreshold:
            judged.why = "the release index has " + std::to_string(a.goodKeys) + " of the " +
                         std::to_string(keys.threshold) + " signatures needed";
            break;
        case IndexVerdict::kExpired:
            judged.why = "the release index expired on " + FormatIndexTime(a.index.expires);
            break;
        case IndexVerdict::kRolledBack:
            judged.why = "the release number goes back";
            break;
    }
    judged.index = std::move(a.index);
    return true;
}

void KeepVouchedManifests(ReleaseManifests& release, const JudgedRelease& judged) {
    for (LoadedManifest* m : {&release.settings, &release.upgrade[0], &release.upgrade[1],
                              &release.history[0], &release.history[1]}) {
        if (!judged.accepted || !ManifestVouched(*m, judged.index))
            DropManifest(*m);
    }
}

void HardenPrediction(Prediction& p, const JudgedRelease& judged, const ReleaseManifests& kept,
                      const std::vector<std::string>& served) {
    const std::wstring index = Wide(kReleaseIndexPath);
    const ManifestVariant variant =
        p.variant == L"classic" ? ManifestVariant::kClassic : ManifestVariant::kVersion6;
    const LoadedManifest& upgrade = kept.Upgrade(variant);
    const bool upgradeRefused =
        !upgrade.present && std::find(served.begin(), served.end(), upgrade.file) != served.end();
    if (!judged.accepted || upgradeRefused) {
        Prediction ended;
        ended.machine = p.machine;
        ended.variant = p.variant;
        ended.requests.push_back(index);
        if (judged.accepted) {
            ended.requests.push_back(Wide(kept.settings.file));
            ended.requests.push_back(Wide(upgrade.file));
        }
        ended.why = judged.accepted
                        ? Wide(upgrade.file) + L" is not the manifest the release index names"
                        : Wide(judged.why);
        ended.outcome = kEndsCheck;
        p = std::move(ended);
        return;
    }
    p.requests.insert(p.requests.begin(), index);
    // What the plan takes for granted, a package arriving whole, does not hold for one the
    // index does not name.
    for (const PlannedDownload& d : p.downloads) {
        const std::string path = IndexPathOfUrl(d.url);
        if (path.empty() || FindIndexedFile(judged.index.packages, path) == nullptr) {
            p.unpredicted.push_back(L"the package of " + d.tag + L" (" + d.url +
                                    L") is not in the release index: it is refused and the item "
                                    L"fails, which this plan does not follow");
        }
    }
}
