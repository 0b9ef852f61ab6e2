// The lint of the release index: what an updater built with release keys would refuse, found
// without the keys (the signatures are checked by the verify command, which is given them).
#include <ctime>

#include "tools/publish/lint.h"
#include "tools/publish/release_index_check.h"
#include "trust/release_rules.h"

namespace {

constexpr std::int64_t kSoonSeconds = 7 * 24 * 60 * 60;

}  // namespace

void LintReleaseIndex(const ReleaseManifests& release, const LintOptions& options,
                      std::vector<Finding>& out) {
    if (!release.index)
        return;
    const std::vector<unsigned char>& bytes = *release.index;
    const std::optional<ReleaseIndex> index = ParseReleaseIndex(bytes.data(), bytes.size());
    const auto add = [&](Severity severity, const char* code, const std::string& file,
                         const std::string& message, const std::string& fix) {
        out.push_back({severity, code, file, "", message, fix});
    };
    if (!index) {
        add(Severity::kError, "index-form", kReleaseIndexPath,
            "the release index cannot be read: an updater built with release keys ends every "
            "check",
            "write it with tallix-publish sign");
        return;
    }
    if (index->signatures.empty()) {
        add(Severity::kError, "index-unsigned", kReleaseIndexPath,
            "the release index carries no signature: an updater built with release keys ends "
            "every check",
            "sign it with tallix-publish sign");
    }
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (IndexExpired(index->expires, now)) {
        add(Severity::kError, "index-expired", kReleaseIndexPath,
            "the release index expired on " + FormatIndexTime(index->expires) +
                ": an updater built with release keys ends every check",
            "sign the release again with a later expiry");
    } else if (index->expires - now < kSoonSeconds) {
        add(Severity::kWarning, "index-expiry", kReleaseIndexPath,
            "the release index expires on " + FormatIndexTime(index->expires) +
                ": machines stop taking the release then",
            "sign a new release before then");
    }
    for (const IndexProblem& p : CompareWithIndex(release, *index, options.downloadOrigin)) {
        add(p.error ? Severity::kError : Severity::kWarning, "index-mismatch", p.file, p.message,
            p.fix);
    }
}
