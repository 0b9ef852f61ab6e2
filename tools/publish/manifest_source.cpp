#include "tools/publish/manifest_source.h"

#include "trust/release_index.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A file as the manifest host would serve it: its first `keep` bytes and its size.
FetchResult ReadFile(const std::string& path, std::size_t keep) {
    FetchResult result;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        const bool missing = errno == ENOENT;
        result.problem = missing ? "missing" : path + ": " + std::strerror(errno);
        result.outcome =
            missing ? FetchResult::Outcome::kMissing : FetchResult::Outcome::kUnreadable;
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.problem = path + " is a folder, not a manifest";
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.problem = path + ": " + std::strerror(errno);
        return result;
    }
    result.body.resize(keep);
    in.read(reinterpret_cast<char*>(result.body.data()), static_cast<std::streamsize>(keep));
    if (in.bad()) {
        result.problem = path + ": cannot be read";
        return result;
    }
    result.body.resize(static_cast<std::size_t>(in.gcount()));
    result.size =
        std::max<std::uint64_t>(static_cast<std::uint64_t>(info.st_size), result.body.size());
    result.outcome = FetchResult::Outcome::kBody;
    return result;
}

}  // namespace

ManifestSource::ManifestSource(std::string location, int timeoutSeconds)
    : location_(std::move(location)), timeoutSeconds_(timeoutSeconds) {
    isUrl_ = location_.find("://") != std::string::npos;
    while (location_.size() > 1 && location_.back() == '/')
        location_.pop_back();
}

std::string ManifestSource::Problem() const {
    if (isUrl_ || IsDirectory(location_))
        return "";
    struct stat info {};
    if (stat(location_.c_str(), &info) != 0)
        return location_ + ": " + std::strerror(errno);
    return location_ + " is not a folder of manifests";
}

FetchResult ManifestSource::Read(const std::string& hostPath) const {
    if (isUrl_)
        return HttpGet(location_ + hostPath, kManifestReadLimit, timeoutSeconds_);
    // "/keldra/upgrade.xml" below the folder, or "upgrade.xml" in a folder named keldra.
    std::string path = location_ + hostPath;
    if (!IsDirectory(location_ + "/keldra"))
        path = location_ + hostPath.substr(hostPath.rfind('/'));
    return ReadFile(path, kManifestReadLimit);
}

std::optional<std::vector<unsigned char>> ReadFileBytes(const std::string& path) {
    if (IsDirectory(path))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

std::optional<std::vector<unsigned char>> ReadReleaseFile(const std::string& dir,
                                                          const std::string& path) {
    for (std::size_t begin = 0; begin <= path.size();) {
        const std::size_t end = std::min(path.find_first_of("/\\", begin), path.size());
        if (path.compare(begin, end - begin, "..") == 0)
            return std::nullopt;
        begin = end + 1;
    }
    const std::string full = dir + path;
    struct stat info {};
    if (stat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return ReadFileBytes(full);
}

void LoadManifestBytes(ManifestKind kind, ManifestVariant variant,
                       const std::vector<unsigned char>& bytes, LoadedManifest& out) {
    out.kind = kind;
    out.variant = variant;
    const std::wstring path = ManifestPath(kind, variant);
    out.file.assign(path.begin(), path.end());  // the paths are ASCII
    out.present = true;
    out.bytes = bytes;
    out.size = std::max<std::uint64_t>(out.size, bytes.size());
    out.xml = std::make_unique<ManifestXml>();
    out.xml->Load(out.bytes,
                  kind == ManifestKind::kSettings ? kSettingsRootName : kUpgradeRootName);
}

namespace {

void LoadOne(const ManifestSource& source, ManifestKind kind, ManifestVariant variant,
             LoadedManifest& out, std::string& unreadable) {
    out.kind = kind;
    out.variant = variant;
    const std::wstring path = ManifestPath(kind, variant);
    out.file.assign(path.begin(), path.end());
    FetchResult fetched = source.Read(out.file);
    out.redirects = std::move(fetched.redirects);
    if (fetched.outcome != FetchResult::Outcome::kBody) {
        out.absence = fetched.problem;
        if (fetched.outcome == FetchResult::Outcome::kUnreadable && unreadable.empty())
            unreadable = fetched.problem;
        return;
    }
    out.size = fetched.size;
    LoadManifestBytes(kind, variant, fetched.body, out);
}

}  // namespace

ReleaseManifests LoadRelease(const ManifestSource& source) {
    ReleaseManifests release;
    release.unreadable = source.Problem();
    struct Slot {
        ManifestKind kind;
        ManifestVariant variant;
        LoadedManifest& into;
    };
    const Slot slots[] = {
        {ManifestKind::kSettings, ManifestVariant::kClassic, release.settings},
        {ManifestKind::kUpgrade, ManifestVariant::kClassic, release.upgrade[0]},
        {ManifestKind::kHistory, ManifestVariant::kClassic, release.history[0]},
        {ManifestKind::kUpgrade, ManifestVariant::kVersion6, release.upgrade[1]},
        {ManifestKind::kHistory, ManifestVariant::kVersion6, release.history[1]},
    };
    // A host that does not answer is asked once, not five times over its time-out.
    for (const Slot& slot : slots) {
        if (!release.unreadable.empty())
            break;
        LoadOne(source, slot.kind, slot.variant, slot.into, release.unreadable);
    }
    FetchResult index = source.Read(kReleaseIndexPath);
    if (index.outcome == FetchResult::Outcome::kBody)
        release.index = std::move(index.body);
    return release;
}
