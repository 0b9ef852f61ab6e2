#include "tools/publish/release_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>

#include "tools/publish/http_get.h"
#include "tools/publish/output.h"
#include "tools/publish/plan_command.h"
#include "tools/publish/release_index_check.h"
#include "tools/publish/release_keys.h"
#include "tools/publish/xml_view.h"
#include "trust/release_rules.h"

namespace {

// A package as the download host serves it, read one byte past its indexed size (so that a longer
// or endless answer shows as too long), or nothing when it cannot be had.
std::optional<std::vector<unsigned char>> ServedPackage(const std::string& url,
                                                        std::uint64_t size) {
    FetchResult fetched = HttpGet(url, static_cast<std::size_t>(size) + 1, kDefaultTimeoutSeconds);
    if (fetched.outcome != FetchResult::Outcome::kBody)
        return std::nullopt;
    return std::move(fetched.body);
}

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;

const char kKeygenUsage[] =
    "tallix-publish keygen PREFIX [--bits N]\n"
    "  writes a new RSA key pair: PREFIX.key (private, readable by its owner only) and\n"
    "  PREFIX.pub (public, for the updater's build); refuses when either file exists.\n"
    "  --bits N   key size, 2048 to 16384 (default 3072)\n";
const char kSignUsage[] =
    "tallix-publish sign RELEASE_DIR --release N --expires TIME|DAYSd --key PRIVATE.key"
    " [--key ...]\n"
    "                    [--previous DIR_OR_URL] [--download-host ORIGIN] [--json]\n"
    "  writes RELEASE_DIR/keldra/release.txt: the release number, the expiry, the size and\n"
    "  SHA-256 of every manifest and of every package the upgrade manifests name (found in\n"
    "  RELEASE_DIR at its URL path), signed with each key.\n"
    "  --release N          the release number; it must rise above the index already in\n"
    "                       RELEASE_DIR and the one of --previous\n"
    "  --expires TIME       YYYY-MM-DDTHH:MM:SSZ (UTC), or DAYSd: that many days from now\n"
    "  --key PRIVATE.key    a signing key (tallix-publish keygen); repeat for several\n"
    "  --previous LOCATION  the release now served (a folder or the manifest host's origin)\n"
    "  --download-host ORIGIN  the origin below which relative install files lie\n"
    "  --json               the result as JSON\n";
const char kVerifyUsage[] =
    "tallix-publish verify DIR_OR_URL --key PUBLIC.pub [--key ...] [--threshold N]\n"
    "                      [--last-release N] [--download-host ORIGIN] [--json]\n"
    "  checks a release as the updater built with these keys will: the index's signatures,\n"
    "  expiry and number, each manifest and each package against it; names what fails.\n"
    "  --key PUBLIC.pub     a key the updater is built with; repeat for several\n"
    "  --threshold N        how many of them must have signed (default 1)\n"
    "  --last-release N     the release machines have already accepted (default 0)\n"
    "  --download-host ORIGIN  where the packages of a served release are fetched from\n"
    "  --json               the result as JSON\n";

struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> values;
    bool json = false;
    bool help = false;

    std::string One(const std::string& name) const {
        const auto found = values.find(name);
        return found == values.end() ? std::string() : found->second.back();
    }
    const std::vector<std::string>& All(const std::string& name) const {
        static const std::vector<std::string> none;
        const auto found = values.find(name);
        return found == values.end() ? none : found->second;
    }
};

// Every option of a command takes a value except --json and --help (or -h); unknown options,
// and any other argument that begins with "-", are usage errors.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known,
                  Options& o, std::string& problem) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--json" && std::find(known.begin(), known.end(), arg) != known.end()) {
            o.json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {  // "-" alone names standard input
            if (std::find(known.begin(), known.end(), arg) == known.end()) {
                problem = "unknown option " + arg;
                return false;
            }
            if (i + 1 >= args.size()) {
                problem = arg + " needs a value";
                return false;
            }
            o.values[arg].push_back(args[++i]);
        } else {
            o.positional.push_back(arg);
        }
    }
    return true;
}

int Usage(std::ostream& err, const std::string& problem, const char* usage) {
    err << "tallix-publish: " << problem << "\nusage: " << usage;
    return kUsage;
}

bool ReadCount(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stoull(text);
    return true;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

// The release number of the index at `source`; 0 when there is none (numbers begin at 1).
std::optional<std::uint64_t> ReleaseNumberAt(const ManifestSource& source, std::string& problem) {
    const FetchResult fetched = source.Read(kReleaseIndexPath);
    if (fetched.outcome == FetchResult::Outcome::kMissing) {
        return std::uint64_t{0};
    }
    if (fetched.outcome == FetchResult::Outcome::kUnreadable) {
        problem = source.Location() + " cannot be read (" + fetched.problem +
                  "), so the new number cannot be checked against its release index";
        return std::nullopt;
    }
    const auto index = ParseReleaseIndex(fetched.body.data(), fetched.body.size());
    if (!index) {
        problem = "the release index at " + source.Location() +
                  " cannot be read, so the new number cannot be checked against it";
        return std::nullopt;
    }
    return index->release;
}

int Keygen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    std::string problem;
    if (!ParseOptions(args, {"--bits"}, o, problem))
        return Usage(err, problem, kKeygenUsage);
    if (o.help) {
        out << "usage: " << kKeygenUsage;
        return kDone;
    }
    std::uint64_t bits = kNewKeyBits;
    if (o.positional.size() != 1)
        return Usage(err, "keygen takes one PREFIX", kKeygenUsage);
    if (!o.One("--bits").empty() &&
        (!ReadCount(o.One("--bits"), bits) || bits < kMinimumKeyBits || bits > 16384)) {
        return Usage(err, "--bits must be a number from 2048 to 16384", kKeygenUsage);
    }
    const std::string& prefix = o.positional[0];
    std::string error;
    std::optional<ReleaseKey> key;
    if (std::ifstream(prefix + ".key") || std::ifstream(prefix + ".pub")) {
        error = "a key is already there (" + prefix + ".key or .pub): it is not overwritten";
    } else {
        key = ReleaseKey::Generate(static_cast<int>(bits), error);
    }
    if (!key || !key->WritePair(prefix, error)) {
        err << "tallix-publish: " << error << "\n";
        return kRefused;
    }
    out << "wrote " << prefix << ".key (private: keep it off the servers) and " << prefix
        << ".pub (build the updater with it)\nkey id " << key->Id() << "\n";
    return kDone;
}

// The index of a release folder: its served manifests and the packages they name.
bool IndexFolder(const std::string& dir, const std::wstring& downloadBase, ReleaseIndex& index,
                 std::vector<std::string>& problems) {
    const ReleaseManifests release = LoadRelease(ManifestSource(dir));
    for (const LoadedManifest* m : {&release.settings, &release.upgrade[0], &release.upgrade[1],
                                    &release.history[0], &release.history[1]}) {
        if (m->present) {
            index.manifests.push_back(
                {m->file, m->bytes.size(), Sha256Of(m->bytes.data(), m->bytes.size())});
        }
    }
    if (index.manifests.empty())
        problems.push_back("no manifest in " + dir + "/keldra");
    for (const NamedPackage& p : PackagesNamed(release, downloadBase)) {
        const std::string what = Utf16ToUtf8(p.tag) + " (" + Utf16ToUtf8(p.url) + ")";
        if (p.path.empty()) {
            problems.push_back("the package of " + what +
                               " has no path the index can name (printable ASCII without "
                               "blanks)");
            continue;
        }
        const auto bytes = ReadReleaseFile(dir, p.path);
        if (!bytes) {
            problems.push_back("the package of " + what + " is not in the folder at " + dir +
                               p.path);
            continue;
        }
        index.packages.push_back({p.path, bytes->size(), Sha256Of(bytes->data(), bytes->size())});
    }
    return problems.empty();
}

bool WriteWhole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

int Sign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    std::string problem;
    if (!ParseOptions(
            args, {"--release", "--expires", "--key", "--previous", "--download-host", "--json"}, o,
            problem)) {
        return Usage(err, problem, kSignUsage);
    }
    if (o.help) {
        out << "usage: " << kSignUsage;
        return kDone;
    }
    if (o.positional.size() != 1 || !IsDirectory(o.positional[0] + "/keldra"))
        return Usage(err, "sign takes one release folder laid out like the host (keldra/...)",
                     kSignUsage);
    ReleaseIndex index;
    if (!ReadCount(o.One("--release"), index.release) || index.release == 0)
        return Usage(err, "--release needs a number from 1", kSignUsage);
    const std::string expires = o.One("--expires");
    std::uint64_t days = 0;
    if (!expires.empty() && expires.back() == 'd' &&
        ReadCount(expires.substr(0, expires.size() - 1), days) && days <= 36500) {
        index.expires = Now() + static_cast<std::int64_t>(days) * kSecondsPerDay;
    } else if (const auto time = ParseIndexTime(expires)) {
        index.expires = *time;
    } else {
        return Usage(err, "--expires needs YYYY-MM-DDTHH:MM:SSZ or a number of days like 30d",
                     kSignUsage);
    }
    if (o.All("--key").empty())
        return Usage(err, "sign needs at least one --key", kSignUsage);

    const std::string& dir = o.positional[0];
    std::vector<std::string> problems;
    if (index.expires <= Now())
        problems.push_back("the expiry " + FormatIndexTime(index.expires) + " has passed");
    std::vector<ReleaseKey> keys;
    for (const std::string& path : o.All("--key")) {
        std::string error;
        auto key = ReleaseKey::LoadPrivate(path, error);
        if (!key) {
            problems.push_back(error);
            continue;
        }
        for (const ReleaseKey& other : keys) {
            if (other.Id() == key->Id())
                problems.push_back(path + " is a key given twice");
        }
        keys.push_back(std::move(*key));
    }
    std::vector<ManifestSource> earlier = {ManifestSource(dir)};
    if (!o.One("--previous").empty())
        earlier.emplace_back(o.One("--previous"));
    for (const ManifestSource& source : earlier) {
        const auto previous = ReleaseNumberAt(source, problem);
        if (!previous) {
            problems.push_back(problem);
        } else if (index.release <= *previous) {
            problems.push_back("release " + std::to_string(index.release) +
                               " does not rise above release " + std::to_string(*previous) +
                               " of " + source.Location() +
                               ": machines that have it would refuse the new one");
        }
    }
    const std::wstring downloadBase = o.One("--download-host").empty()
                                          ? PublishHosts().download
                                          : Utf8ToUtf16(o.One("--download-host"));
    IndexFolder(dir, downloadBase, index, problems);
    if (!problems.empty()) {
        for (const std::string& p : problems)
            err << "tallix-publish: " << TerminalSafe(p) << "\n";
        err << "tallix-publish: nothing written\n";
        return kRefused;
    }

    const std::string body = FormatReleaseIndexBody(index);
    std::string text = body;
    for (const ReleaseKey& key : keys) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
        IndexSignature signature{key.Id(), key.Sign(bytes, body.size())};
        if (signature.value.empty() || !key.Verify(bytes, body.size(), signature.value)) {
            err << "tallix-publish: OpenSSL could not sign with key " << signature.keyId
                << "; nothing written\n";
            return kRefused;
        }
        text += FormatSignatureLine(signature);
    }
    const std::string path = dir + kReleaseIndexPath;
    if (!WriteWhole(path, text)) {
        err << "tallix-publish: cannot write " << path << "\n";
        return kRefused;
    }
    if (o.json) {
        out << "{\"index\":" << Json(path) << ",\"release\":" << index.release
            << ",\"expires\":" << Json(FormatIndexTime(index.expires)) << ",\"files\":[";
        bool first = true;
        for (const auto* files : {&index.manifests, &index.packages}) {
            for (const IndexedFile& f : *files) {
                out << (first ? "" : ",")
                    << "{\"kind\":" << Json(files == &index.manifests ? "manifest" : "package")
                    << ",\"path\":" << Json(f.path) << ",\"size\":" << f.size
                    << ",\"sha256\":" << Json(LowerHex(f.digest.data(), f.digest.size())) << "}";
                first = false;
            }
        }
        out << "],\"keys\":[";
        for (std::size_t i = 0; i < keys.size(); ++i)
            out << (i ? "," : "") << Json(keys[i].Id());
        out << "]}\n";
        return kDone;
    }
    std::vector<std::vector<std::string>> rows = {{"kind", "path", "size", "sha256"}};
    for (const auto* files : {&index.manifests, &index.packages}) {
        for (const IndexedFile& f : *files) {
            rows.push_back({files == &index.manifests ? "manifest" : "package", f.path,
                            std::to_string(f.size), LowerHex(f.digest.data(), f.digest.size())});
        }
    }
    PrintTable(out, rows);
    out << "wrote " << path << ": release " << index.release << ", expires "
        << FormatIndexTime(index.expires) << ", signed by";
    for (const ReleaseKey& key : keys)
        out << " " << key.Id();
    out << "\n";
    return kDone;
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    std::string problem;
    if (!ParseOptions(args, {"--key", "--threshold", "--last-release", "--download-host", "--json"},
                      o, problem)) {
        return Usage(err, problem, kVerifyUsage);
    }
    if (o.help) {
        out << "usage: " << kVerifyUsage;
        return kDone;
    }
    if (o.positional.size() != 1)
        return Usage(err, "verify takes one release folder or manifest host URL", kVerifyUsage);
    if (o.All("--key").empty())
        return Usage(err, "verify needs at least one --key", kVerifyUsage);
    std::uint64_t threshold = 1;
    std::uint64_t lastRelease = 0;
    if ((!o.One("--threshold").empty() && (!ReadCount(o.One("--threshold"), threshold) ||
                                           threshold == 0 || threshold > o.All("--key").size())) ||
        (!o.One("--last-release").empty() && !ReadCount(o.One("--last-release"), lastRelease))) {
        return Usage(err,
                     "--threshold must be from 1 to the number of keys, --last-release a "
                     "number",
                     kVerifyUsage);
    }
    std::vector<ReleaseKey> keys;
    IndexTrust trust;
    for (const std::string& path : o.All("--key")) {
        std::string error;
        auto key = ReleaseKey::LoadPublic(path, error);
        if (!key) {
            err << "tallix-publish: " << error << "\n";
            return kUsage;
        }
        trust.keyIds.push_back(key->Id());
        keys.push_back(std::move(*key));
    }
    trust.threshold = static_cast<unsigned>(threshold);
    trust.check = [](const void* keys, std::size_t key, const unsigned char* body, std::size_t size,
                     const std::vector<std::uint8_t>& signature) {
        return (*static_cast<const std::vector<ReleaseKey>*>(keys))[key].Verify(body, size,
                                                                                signature);
    };
    trust.context = &keys;
    trust.now = Now();
    trust.lastRelease = lastRelease;

    const ManifestSource source(o.positional[0]);
    const std::wstring downloadBase = o.One("--download-host").empty()
                                          ? PublishHosts().download
                                          : Utf8ToUtf16(o.One("--download-host"));
    std::vector<IndexProblem> problems;
    IndexAssessment assessment;
    const ReleaseManifests release = LoadRelease(source);
    const auto& bytes = release.index;
    if (!bytes) {
        problems.push_back({true, kReleaseIndexPath,
                            "no release index: the updater with release keys ends every check",
                            "sign the release (tallix-publish sign) and serve the index"});
    } else {
        assessment = AssessReleaseIndex(bytes->data(), bytes->size(), trust);
        const std::string refused = ": the updater with release keys ends every check";
        if (assessment.verdict == IndexVerdict::kMalformed) {
            problems.push_back({true, kReleaseIndexPath, "the index cannot be read" + refused,
                                "sign the release again"});
        } else {
            const ReleaseIndex& index = assessment.index;
            if (assessment.goodKeys < trust.threshold) {
                std::string why = std::to_string(assessment.goodKeys) + " of the " +
                                  std::to_string(trust.threshold) + " signatures the updater needs";
                for (std::size_t i = 0; i < assessment.signatures.size(); ++i) {
                    const std::string& id = index.signatures[i].keyId;
                    if (assessment.signatures[i] == SignatureVerdict::kUnknownKey)
                        why += "; key " + id + " is not one of the given keys";
                    if (assessment.signatures[i] == SignatureVerdict::kBad)
                        why += "; the signature of key " + id + " does not match";
                }
                problems.push_back({true, kReleaseIndexPath, why + refused,
                                    "sign with enough of the keys the updater is built with"});
            }
            if (assessment.expired) {
                problems.push_back({true, kReleaseIndexPath,
                                    "expired on " + FormatIndexTime(index.expires) + refused,
                                    "sign the release again with a later expiry"});
            }
            if (assessment.rolledBack) {
                problems.push_back({true, kReleaseIndexPath,
                                    "release " + std::to_string(index.release) +
                                        " is below release " + std::to_string(lastRelease) +
                                        refused,
                                    "sign with a number above every release served before"});
            }
            for (IndexProblem& p : CompareWithIndex(release, index, downloadBase))
                problems.push_back(std::move(p));
            for (IndexProblem& p : ComparePackageBytes(index, [&](const IndexedFile& entry) {
                     return source.IsUrl()
                                ? ServedPackage(Utf16ToUtf8(downloadBase) + entry.path, entry.size)
                                : ReadReleaseFile(source.Location(), entry.path);
                 })) {
                problems.push_back(std::move(p));
            }
        }
    }
    std::size_t errors = 0;
    for (const IndexProblem& p : problems)
        errors += p.error ? 1 : 0;
    if (o.json) {
        out << "{\"release\":" << assessment.index.release << ",\"expires\":"
            << Json(bytes && assessment.verdict != IndexVerdict::kMalformed
                        ? FormatIndexTime(assessment.index.expires)
                        : "")
            << ",\"goodKeys\":" << assessment.goodKeys << ",\"errors\":" << errors
            << ",\"findings\":[";
        for (std::size_t i = 0; i < problems.size(); ++i) {
            const IndexProblem& p = problems[i];
            out << (i ? "," : "") << "{\"severity\":" << Json(p.error ? "error" : "warning")
                << ",\"file\":" << Json(p.file) << ",\"message\":" << Json(p.message)
                << ",\"fix\":" << Json(p.fix) << "}";
        }
        out << "]}\n";
    } else if (problems.empty()) {
        out << "release " << assessment.index.release << " verified: signed by "
            << assessment.goodKeys << " of the given keys, expires "
            << FormatIndexTime(assessment.index.expires) << ", "
            << assessment.index.manifests.size() << " manifest(s) and "
            << assessment.index.packages.size() << " package(s) as indexed\n";
    } else {
        std::vector<std::vector<std::string>> rows = {{"severity", "file", "finding", "fix"}};
        for (const IndexProblem& p : problems) {
            rows.push_back({p.error ? "error" : "warning", p.file, p.message, p.fix});
        }
        PrintTable(out, rows);
        out << errors << " error(s), " << problems.size() - errors << " warning(s)\n";
    }
    return problems.empty() ? kDone : kRefused;
}

}  // namespace

bool IsReleaseCommand(const std::string& command) {
    return command == "keygen" || command == "sign" || command == "verify";
}

int RunReleaseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || !IsReleaseCommand(args[0]))
        return Usage(err, "not a signing command", ReleaseCommandsUsage().c_str());
    if (args[0] == "keygen")
        return Keygen(args, out, err);
    if (args[0] == "sign")
        return Sign(args, out, err);
    return Verify(args, out, err);
}

std::string ReleaseCommandsUsage() {
    return std::string(kKeygenUsage) + kSignUsage + kVerifyUsage;
}
