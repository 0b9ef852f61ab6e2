// tallix-publish: the publisher's checks of a release before it ships. The commands and their
// options are the tables below; the usage text is made from them, so it lists every option.
// Exit status: 0 clean, 1 findings, 2 a usage error or something that cannot be read.
#include <cstdint>
#include <limits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "build_values.h"
#include "tools/publish/lint_command.h"
#include "tools/publish/manifest_command.h"
#include "tools/publish/output.h"
#include "tools/publish/packages_command.h"
#include "tools/publish/plan_command.h"
#include "tools/publish/plan_release.h"
#include "tools/publish/release_command.h"
#include "tools/publish/stats_command.h"

#include <unistd.h>

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kUsage = 2;

constexpr std::size_t kAnyNumber = SIZE_MAX;

struct CommandSpec {
    const char* name;
    const char* synopsis;    // what follows the name
    std::size_t positional;  // how many arguments it takes, or kAnyNumber (the command checks)
    const char* summary;
};

constexpr CommandSpec kCommands[] = {
    {"lint", "MANIFEST_DIR_OR_URL", 1, "what the updater would mishandle in a release's manifests"},
    {"plan", "MANIFEST_DIR_OR_URL --machine PROFILE.json [--machine ...]", 1,
     "what the updater would do on each described machine"},
    {"packages", "MANIFEST_DIR_OR_URL RELEASE_DIR", 2,
     "each entry's package, read as the updater will check it"},
    {"manifest", "RELEASE_DIR --base URL", 1,
     "the upgrade manifests of a release folder's packages, written whole or merged"},
    {"stats", "LOG... | DB | [LOG...] --clickhouse URL", kAnyNumber,
     "the usage reports of statistics logs, loaded into the store and summarised"},
};

struct OptionSpec {
    const char* name;
    const char* value;     // null for a switch without a value
    const char* commands;  // the commands that take it, separated by blanks
    const char* help;
};

constexpr OptionSpec kOptions[] = {
    {"--json", nullptr, "lint plan packages manifest stats", "print JSON instead of a table"},
    {"--fail-on", "warning|error", "lint packages",
     "the findings that make the exit status 1 (default: warning, i.e. any finding)"},
    {"--timeout", "SECONDS", "lint packages manifest",
     "give up on a manifest host after this long (default 10)"},
    {"--machine", "PROFILE.json", "plan", "a machine to predict (repeatable)"},
    {"--switches", "TEXT", "plan", "the updater's command line, e.g. \"-keldra -silent\""},
    {"--click", nullptr, "plan", "click the offer's main button"},
    {"--base", "URL", "manifest", "where the release folder is served"},
    {"--out", "DIR", "manifest", "write keldra/upgrade.xml and keldra/upgrade6s.xml below DIR"},
    {"--merge", "MANIFEST_DIR_OR_URL", "manifest",
     "merge into the upgrade manifests found there instead of writing new ones"},
    {"--db", "PATH", "stats", "the SQLite database (default tallix-reports.db)"},
    {"--clickhouse", "URL", "stats",
     "a ClickHouse server's HTTP interface as the store instead of SQLite"},
    {"--cluster", "NAME", "stats",
     "with --clickhouse: spread the reports over the shards of this cluster"},
    {"--batch", "LINES", "stats", "log lines per stored batch"},
    {"--unloaded", "FILE", "stats",
     "where lines of standard input that the store did not take are appended"
     " (default tallix-unloaded.log)"},
    {"--html", "FILE", "stats", "also write the summaries as one page with charts"},
    {"--encoding", "NAME", "stats",
     "the reporting computers' ANSI code page, an iconv name (default GBK)"},
    {"--download-host", "ORIGIN", "lint plan packages manifest",
     "the download host, http://host[:port]"},
    {"--download-ip", "ADDRESS", "plan", "the built-in download IP"},
    {"--manifest-host", "ORIGIN", "plan", "the manifest host"},
    {"--statistics-host", "ORIGIN", "plan", "the statistics host"},
    {"--release", "VERSION", "lint plan", "the updater release being published"},
    {"--key", "PUBLIC.pub", "plan",
     "predict an updater built with this release key (repeatable; keygen makes keys)"},
    {"--threshold", "N", "plan", "how many of the --key keys must have signed (default 1)"},
};

bool Takes(const OptionSpec& option, const std::string& command) {
    const std::string list = std::string(" ") + option.commands + " ";
    return list.find(" " + command + " ") != std::string::npos;
}

void PrintUsage(std::ostream& out) {
    out << "usage: tallix-publish COMMAND ARGUMENTS [OPTIONS]\n"
           "       tallix-publish --help | -h | help\n"
           "       tallix-publish --version\n\ncommands:\n";
    for (const CommandSpec& c : kCommands) {
        out << "  " << c.name << " " << c.synopsis << "\n      " << c.summary << "\n";
    }
    out << "\noptions:\n";
    for (const OptionSpec& o : kOptions) {
        out << "  " << o.name << (o.value ? std::string(" ") + o.value : std::string())
            << "\n      " << o.help << " (" << o.commands << ")\n";
    }
    out << "\nsigning commands, for an updater built with release keys (each also takes --help):\n"
        << ReleaseCommandsUsage();
    out << "\nexit status: 0 clean, 1 findings, 2 a usage error or something that cannot be "
           "read\n";
}

int Usage(const std::string& problem) {
    std::cerr << "tallix-publish: " << TerminalSafe(problem)
              << "\nrun \"tallix-publish --help\" for the commands and their options\n";
    return kUsage;
}

struct Arguments {
    const CommandSpec* command = nullptr;
    std::vector<std::string> positional;
    std::vector<std::string> machines;
    std::string switches;
    std::string db;  // empty: tallix-reports.db
    std::string clickhouse;
    std::string cluster;
    long long batchLines = kBatchLines;
    std::string unloaded;
    std::string html;
    std::string base;
    std::string outDir;
    std::string merge;
    std::string encoding = "GBK";
    bool json = false;
    bool click = false;
    Severity failOn = Severity::kWarning;
    int timeout = kDefaultTimeoutSeconds;
    PublishHosts hosts;
    ReleaseKeysOption keys;  // plan: an updater built with these release keys
};

// Stores an option's value; false with `problem` when the value is not one the option takes.
bool Apply(const std::string& name, const std::string& value, Arguments& a, std::string& problem) {
    const std::wstring wide = Utf8ToUtf16(value);
    if (name == "--json") {
        a.json = true;
    } else if (name == "--click") {
        a.click = true;
    } else if (name == "--fail-on") {
        if (value != "warning" && value != "error") {
            problem = "--fail-on takes warning or error, not " + value;
            return false;
        }
        a.failOn = value == "error" ? Severity::kError : Severity::kWarning;
    } else if (name == "--timeout") {
        char* end = nullptr;
        const long seconds = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || seconds < 1 || seconds > 3600) {
            problem = "--timeout takes a number of seconds from 1 to 3600, not " + value;
            return false;
        }
        a.timeout = static_cast<int>(seconds);
    } else if (name == "--key") {
        a.keys.keyFiles.push_back(value);
    } else if (name == "--threshold") {
        char* end = nullptr;
        const long threshold = std::strtol(value.c_str(), &end, 10);
        // Counted in the updater's unsigned: a larger number would wrap to a small one.
        if (value.empty() || *end != '\0' || threshold < 1 ||
            static_cast<unsigned long>(threshold) > std::numeric_limits<unsigned>::max()) {
            problem = "--threshold takes a number from 1, not " + value;
            return false;
        }
        a.keys.threshold = static_cast<unsigned>(threshold);
    } else if (name == "--machine") {
        a.machines.push_back(value);
    } else if (name == "--switches") {
        a.switches = value;
    } else if (name == "--base") {
        a.base = value;
    } else if (name == "--out") {
        a.outDir = value;
    } else if (name == "--merge") {
        a.merge = value;
    } else if (name == "--html") {
        a.html = value;
    } else if (name == "--db") {
        a.db = value;
    } else if (name == "--clickhouse") {
        a.clickhouse = value;
    } else if (name == "--cluster") {
        a.cluster = value;
    } else if (name == "--batch") {
        char* end = nullptr;
        a.batchLines = std::strtoll(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || a.batchLines < 1) {
            problem = "--batch takes a number of lines, not " + value;
            return false;
        }
    } else if (name == "--unloaded") {
        a.unloaded = value;
    } else if (name == "--encoding") {
        a.encoding = value;
    } else if (name == "--download-host") {
        a.hosts.download = wide;
    } else if (name == "--download-ip") {
        a.hosts.downloadIp = wide;
    } else if (name == "--manifest-host") {
        a.hosts.manifest = wide;
    } else if (name == "--statistics-host") {
        a.hosts.statistics = wide;
    } else if (name == "--release") {
        a.hosts.release = wide;
    }
    return true;
}

enum class Parsed { kRun, kHelp, kVersion, kUsage };

Parsed Parse(int argc, char** argv, Arguments& a, std::string& problem) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || (i == 1 && arg == "help"))
            return Parsed::kHelp;
        if (arg == "--version")
            return Parsed::kVersion;
    }
    if (argc < 2) {
        problem = "no command";
        return Parsed::kUsage;
    }
    for (const CommandSpec& c : kCommands) {
        if (argv[1] == std::string(c.name))
            a.command = &c;
    }
    if (a.command == nullptr) {
        problem = std::string("unknown command ") + argv[1];
        return Parsed::kUsage;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-') {
            a.positional.push_back(arg);
            continue;
        }
        const OptionSpec* option = nullptr;
        for (const OptionSpec& o : kOptions) {
            if (arg == o.name)
                option = &o;
        }
        if (option == nullptr) {
            problem = "unknown option " + arg;
            return Parsed::kUsage;
        }
        if (!Takes(*option, a.command->name)) {
            problem = arg + " is not an option of " + a.command->name;
            return Parsed::kUsage;
        }
        std::string value;
        if (option->value != nullptr) {
            if (i + 1 >= argc) {
                problem = arg + " needs a value (" + option->value + ")";
                return Parsed::kUsage;
            }
            value = argv[++i];
        }
        if (!Apply(arg, value, a, problem))
            return Parsed::kUsage;
    }
    const std::size_t want = a.command->positional;
    if (want != kAnyNumber && a.positional.size() != want) {
        problem = std::string(a.command->name) + " takes " + a.command->synopsis;
        return Parsed::kUsage;
    }
    return Parsed::kRun;
}

}  // namespace

int main(int argc, char** argv) {
    // The signing commands parse their own options.
    if (argc >= 2 && IsReleaseCommand(argv[1]))
        return RunReleaseCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                 std::cerr);
    Arguments a;
    std::string problem;
    switch (Parse(argc, argv, a, problem)) {
        case Parsed::kHelp:
            PrintUsage(std::cout);
            return kClean;
        case Parsed::kVersion:
            std::cout << "tallix-publish " << TALLIX_VERSION_TEXT << "\n";
            return kClean;
        case Parsed::kUsage:
            return Usage(problem);
        case Parsed::kRun:
            break;
    }
    const std::string command = a.command->name;
    if (command == "lint") {
        LintOptions options;
        options.downloadOrigin = a.hosts.download;
        options.releaseVersion = a.hosts.release;
        return RunLintCommand(a.positional[0], a.timeout, options, a.failOn, a.json, std::cout,
                              std::cerr);
    }
    if (command == "stats") {
        StatsOptions stats;
        stats.inputs = a.positional;
        stats.db = a.db;
        stats.clickhouse = a.clickhouse;
        stats.cluster = a.cluster;
        stats.encoding = a.encoding;
        stats.html = a.html;
        stats.batchLines = a.batchLines;
        if (!a.unloaded.empty())
            stats.unloaded = a.unloaded;
        stats.json = a.json;
        return RunStatsCommand(stats, std::cout, std::cerr,
                               isatty(STDERR_FILENO) ? &std::cerr : nullptr);
    }
    if (command == "manifest") {
        if (a.base.empty())
            return Usage("manifest needs --base URL");
        ManifestRequest request;
        request.releaseDir = a.positional[0];
        request.base = Utf8ToUtf16(a.base);
        request.outDir = a.outDir;
        request.merge = a.merge;
        request.timeoutSeconds = a.timeout;
        return RunManifestCommand(request, a.hosts, a.json, std::cout, std::cerr);
    }
    if (command == "packages") {
        return RunPackagesCommand(a.positional[0], a.positional[1], a.timeout, a.hosts,
                                  a.failOn == Severity::kError, a.json, std::cout, std::cerr);
    }
    if (a.machines.empty())
        return Usage("plan needs at least one --machine");
    if (!a.keys.keyFiles.empty() && a.keys.threshold > a.keys.keyFiles.size())
        return Usage("--threshold must be from 1 to the number of keys");
    return RunPlanCommand(a.positional[0], a.machines, a.switches, a.click, a.hosts, a.json,
                          std::cout, std::cerr, a.keys.keyFiles.empty() ? nullptr : &a.keys);
}
