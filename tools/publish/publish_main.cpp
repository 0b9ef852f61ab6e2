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
#include "tools/publish/plan_release.h"
#include "tools/publish/release_command.h"
#include "tools/publish/report_store.h"

#include <fstream>

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kUsage = 2;

int Usage(const std::string& problem) {
    std::cerr << "tallix-publish: " << problem << "\n"
              << "usage: tallix-publish lint MANIFEST_DIR_OR_URL [--json] [--download-host ORIGIN]"
                 " [--release VERSION]\n"
              << "       tallix-publish plan MANIFEST_DIR_OR_URL --machine PROFILE.json"
                 " [--machine ...] [--switches \"-keldra -silent\"] [--click] [--json]\n"
                 "                           [--key PUBLIC.pub ... [--threshold N]]\n"
              << "       tallix-publish packages MANIFEST_DIR_OR_URL RELEASE_DIR [--json]\n"
              << "       tallix-publish manifest RELEASE_DIR --base URL [--json]\n"
              << "       tallix-publish stats LOG_OR_DB [--db PATH] [--encoding NAME] [--json]\n"
              << "       tallix-publish keygen|sign|verify ... (each with --help)\n";
    return kUsage;
}

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    std::vector<std::string> machines;
    std::string switches;
    std::string db = "tallix-reports.db";
    std::string base;
    std::string encoding = "GBK";
    bool json = false;
    bool click = false;
    PublishHosts hosts;
    ReleaseKeysOption keys;  // plan: an updater built with these release keys
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
        } else if (arg == "--key") {
            if (!value(text))
                return false;
            a.keys.keyFiles.push_back(text);
        } else if (arg == "--threshold") {
            if (!value(text))
                return false;
            a.keys.threshold = static_cast<unsigned>(std::atoi(text.c_str()));
        } else if (arg == "--base") {
            if (!value(a.base))
                return false;
        } else if (arg == "--db") {
            if (!value(a.db))
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

// Loads a log into the database (unless the argument is the database itself) and prints the
// summaries. Findings: report requests the decoder refused.
int Stats(const Arguments& a) {
    if (a.positional.size() != 1)
        return Usage("stats takes one log or database");
    const std::string& input = a.positional[0];
    const bool isDb = IsSqliteFile(input);
    ReportStore store(isDb ? input : a.db);
    if (!store.Ok()) {
        std::cerr << "tallix-publish: " << store.Error() << "\n";
        return kUsage;
    }
    ReportStore::LoadResult loaded;
    if (!isDb) {
        std::ifstream in(input, std::ios::binary);
        if (!in) {
            std::cerr << "tallix-publish: cannot read " << input << "\n";
            return kUsage;
        }
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        loaded = store.Load(lines, a.encoding);
    }
    const auto summaries = store.Summaries();
    if (a.json) {
        std::cout << "{\"added\":" << loaded.added << ",\"known\":" << loaded.known
                  << ",\"malformed\":" << loaded.malformed << ",\"summaries\":[";
        for (std::size_t i = 0; i < summaries.size(); ++i) {
            std::cout << (i ? "," : "") << "{\"title\":" << Json(summaries[i].title)
                      << ",\"rows\":[";
            for (std::size_t r = 0; r < summaries[i].rows.size(); ++r) {
                std::cout << (r ? "," : "") << "[";
                for (std::size_t c = 0; c < summaries[i].rows[r].size(); ++c) {
                    std::cout << (c ? "," : "") << Json(summaries[i].rows[r][c]);
                }
                std::cout << "]";
            }
            std::cout << "]}";
        }
        std::cout << "]}\n";
    } else {
        if (!isDb) {
            std::cout << "loaded " << loaded.added << " new report(s), " << loaded.known
                      << " already known, " << loaded.malformed << " malformed\n";
        }
        for (const auto& summary : summaries) {
            std::cout << "\n" << summary.title << ":\n";
            PrintTable(std::cout, summary.rows);
        }
    }
    return loaded.malformed > 0 ? kFindings : kClean;
}

}  // namespace

int main(int argc, char** argv) {
    // The signing commands parse their own options.
    if (argc >= 2 && IsReleaseCommand(argv[1]))
        return RunReleaseCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                 std::cerr);
    Arguments a;
    std::string problem;
    if (!Parse(argc, argv, a, problem))
        return Usage(problem);
    if (a.command == "lint")
        return Lint(a);
    if (a.command == "stats")
        return Stats(a);
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
        if (!a.keys.keyFiles.empty() &&
            (a.keys.threshold == 0 || a.keys.threshold > a.keys.keyFiles.size())) {
            return Usage("--threshold must be from 1 to the number of keys");
        }
        return RunPlanCommand(a.positional[0], a.machines, a.switches, a.click, a.hosts, a.json,
                              std::cout, std::cerr, a.keys.keyFiles.empty() ? nullptr : &a.keys);
    }
    return Usage("unknown command " + a.command);
}
