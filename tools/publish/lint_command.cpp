#include "tools/publish/lint_command.h"

#include "tools/publish/output.h"

namespace {

const char* SeverityName(Severity s) {
    return s == Severity::kError ? "error" : "warning";
}

}  // namespace

int RunLintCommand(const std::string& manifests, int timeoutSeconds, const LintOptions& options,
                   Severity failOn, bool json, std::ostream& out, std::ostream& err) {
    const ReleaseManifests release = LoadRelease(ManifestSource(manifests, timeoutSeconds));
    if (!release.unreadable.empty()) {
        err << "tallix-publish: cannot read the manifests: " << TerminalSafe(release.unreadable)
            << "\n";
        return 2;
    }
    const std::vector<Finding> findings = LintRelease(release, options);
    std::size_t errors = 0;
    for (const Finding& f : findings)
        errors += f.severity == Severity::kError;
    if (json) {
        out << "{\"errors\":" << errors << ",\"warnings\":" << findings.size() - errors
            << ",\"findings\":[";
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const Finding& f = findings[i];
            out << (i ? "," : "") << "{\"severity\":" << Json(SeverityName(f.severity))
                << ",\"code\":" << Json(f.code) << ",\"file\":" << Json(f.file)
                << ",\"where\":" << Json(f.where) << ",\"message\":" << Json(f.message)
                << ",\"fix\":" << Json(f.fix) << "}";
        }
        out << "]}\n";
    } else if (findings.empty()) {
        out << "no findings\n";
    } else {
        std::vector<std::vector<std::string>> rows = {
            {"severity", "file", "where", "finding", "fix"}};
        for (const Finding& f : findings) {
            rows.push_back({SeverityName(f.severity), f.file, f.where,
                            f.message + " [" + f.code + "]", f.fix});
        }
        PrintTable(out, rows);
        out << errors << " error(s), " << findings.size() - errors << " warning(s)\n";
    }
    return LintExitStatus(findings, failOn);
}
