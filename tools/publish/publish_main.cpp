// tallix-publish: the publisher's checks of a release before it ships.
//   lint MANIFEST_DIR_OR_URL
//   plan MANIFEST_DIR_OR_URL --machine PROFILE.json [--machine ...] [--switches "-keldra -silent"]
// Every command prints a table, or JSON with --json. Exit status: 0 clean, 1 findings, 2 usage.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "build_values.h"
#include "tools/publish/lint.h"
#include "tools/publish/output.h"
#include "tools/publish/packages_command.h"
#include "tools/publish/plan_command.h"
#include "tools/publish/stats_command.h"

#include <unistd.h>

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kUsage = 2;

int Usage(const std::string& problem) {
    std::cerr
        << "tallix-publish: " << problem << "\n"
        << "usage: tallix-publish lint MANIFEST_DIR_OR_URL [--json] [--download-host ORIGIN]"
           " [--release VERSION]\n"
        << "       tallix-publish plan MANIFEST_DIR_OR_URL --machine PROFILE.json"
           " [--machine ...] [--switches \"-keldra -silent\"] [--click] [--json]\n"
        << "       tallix-publish packages MANIFEST_DIR_OR_URL RELEASE_DIR [--json]\n"
        << "       tallix-publish manifest RELEASE_DIR --base URL [--json]\n"
        << "       tallix-publish stats LOG... | DB [--db PATH] [--encoding NAME] [--html FILE]"
           " [--json] [--batch LINES] [--unloaded FILE]\n"
        << "       tallix-publish stats [LOG...] --clickhouse URL [--cluster NAME]"
           " [--encoding NAME] [--html FILE] [--json] [--batch LINES] [--unloaded FILE]\n";
    return kUsage;
}

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    std::vector<std::string> machines;
    std::string switches;
    std::string db;
    std::string clickhouse;
    std::string cluster;
    std::string batch;
    std::string unloaded;
    std::string html;
    std::string base;
    std::string encoding = "GBK";
    bool json = false;
    bool click = false;
    PublishHosts hosts;
};

bool Parse(int argc, char** argv, Arguments& a, std::string& problem) {
    if (argc < 2) {
        problem = "no command";
        return false;
    }
    a.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                problem = arg + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--json") {
            a.json = true;
        } else if (arg == "--click") {
            a.click = true;
        } else if (arg == "--machine") {
            if (!value(text))
                return false;
            a.machines.push_back(text);
        } else if (arg == "--base") {
            if (!value(a.base))
                return false;
        } else if (arg == "--db") {
            if (!value(a.db))
                return false;
        } else if (arg == "--clickhouse") {
            if (!value(a.clickhouse))
                return false;
        } else if (arg == "--cluster") {
            if (!value(a.cluster))
                return false;
        } else if (arg == "--batch") {
            if (!value(a.batch))
                return false;
        } else if (arg == "--unloaded") {
            if (!value(a.unloaded))
                return false;
        } else if (arg == "--html") {
            if (!value(a.html))
                return false;
        } else if (arg == "--encoding") {
            if (!value(a.encoding))
                return false;
        } else if (arg == "--switches") {
            if (!value(a.switches))
                return false;
        } else if (arg == "--download-host" || arg == "--download-ip" || arg == "--manifest-host" ||
                   arg == "--statistics-host" || arg == "--release") {
            if (!value(text))
                return false;
            const std::wstring wide = Utf8ToUtf16(text);
            if (arg == "--download-host")
                a.hosts.download = wide;
            if (arg == "--download-ip")
                a.hosts.downloadIp = wide;
            if (arg == "--manifest-host")
                a.hosts.manifest = wide;
            if (arg == "--statistics-host")
                a.hosts.statistics = wide;
            if (arg == "--release")
                a.hosts.release = wide;
        } else if (arg.rfind("--", 0) == 0) {
            problem = "unknown option " + arg;
            return false;
        } else {
            a.positional.push_back(arg);
        }
    }
    return true;
}

int Lint(const Arguments& a) {
    if (a.positional.size() != 1)
        return Usage("lint takes one manifest folder or URL");
    const ReleaseManifests release = LoadRelease(ManifestSource(a.positional[0]));
    LintOptions options;
    options.downloadOrigin = a.hosts.download;
    options.releaseVersion = a.hosts.release;
    const std::vector<Finding> findings = LintRelease(release, options);
    std::size_t errors = 0;
    for (const Finding& f : findings)
        errors += f.severity == Severity::kError;
    if (a.json) {
        std::cout << "{\"errors\":" << errors << ",\"warnings\":" << findings.size() - errors
                  << ",\"findings\":[";
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const Finding& f = findings[i];
            std::cout << (i ? "," : "") << "{\"severity\":"
                      << Json(f.severity == Severity::kError ? "error" : "warning")
                      << ",\"code\":" << Json(f.code) << ",\"file\":" << Json(f.file)
                      << ",\"where\":" << Json(f.where) << ",\"message\":" << Json(f.message)
                      << ",\"fix\":" << Json(f.fix) << "}";
        }
        std::cout << "]}\n";
    } else {
        std::vector<std::vector<std::string>> rows = {
            {"severity", "file", "where", "finding", "fix"}};
        for (const Finding& f : findings) {
            rows.push_back({f.severity == Severity::kError ? "error" : "warning", f.file, f.where,
                            f.message + " [" + f.code + "]", f.fix});
        }
        if (findings.empty()) {
            std::cout << "no findings\n";
        } else {
            PrintTable(std::cout, rows);
            std::cout << errors << " error(s), " << findings.size() - errors << " warning(s)\n";
        }
    }
    return findings.empty() ? kClean : kFindings;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments a;
    std::string problem;
    if (!Parse(argc, argv, a, problem))
        return Usage(problem);
    if (a.command == "lint")
        return Lint(a);
    if (a.command == "stats") {
        StatsOptions stats;
        stats.inputs = a.positional;
        stats.db = a.db;
        stats.clickhouse = a.clickhouse;
        stats.cluster = a.cluster;
        stats.encoding = a.encoding;
        stats.html = a.html;
        stats.json = a.json;
        if (!a.batch.empty()) {
            char* end = nullptr;
            stats.batchLines = std::strtoll(a.batch.c_str(), &end, 10);
            if (*end != '\0' || stats.batchLines < 1)
                return Usage("--batch takes a number of lines");
        }
        if (!a.unloaded.empty())
            stats.unloaded = a.unloaded;
        return RunStatsCommand(stats, std::cout, std::cerr,
                               isatty(STDERR_FILENO) ? &std::cerr : nullptr);
    }
    if (a.command == "manifest") {
        if (a.positional.size() != 1 || a.base.empty())
            return Usage("manifest takes a release folder and --base URL");
        return RunManifestCommand(a.positional[0], Utf8ToUtf16(a.base), a.hosts, a.json, std::cout);
    }
    if (a.command == "packages") {
        if (a.positional.size() != 2)
            return Usage("packages takes a manifest folder or URL and a release folder");
        return RunPackagesCommand(a.positional[0], a.positional[1], a.hosts, a.json, std::cout);
    }
    if (a.command == "plan") {
        if (a.positional.size() != 1 || a.machines.empty()) {
            return Usage("plan takes one manifest folder or URL and at least one --machine");
        }
        return RunPlanCommand(a.positional[0], a.machines, a.switches, a.click, a.hosts, a.json,
                              std::cout, std::cerr);
    }
    return Usage("unknown command " + a.command);
}
