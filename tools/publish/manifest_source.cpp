#include "tools/publish/manifest_source.h"

#include "manifest/manifest_node.h"
#include "trust/release_index.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Closes a socket when it leaves scope.
class Socket {
  public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0)
            close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

ManifestSource::ManifestSource(std::string location) : location_(std::move(location)) {
    isUrl_ = location_.rfind("http://", 0) == 0;
    while (location_.size() > 1 && location_.back() == '/')
        location_.pop_back();
}

std::optional<std::vector<unsigned char>> ManifestSource::Read(const std::string& hostPath) const {
    if (isUrl_) {
        return HttpGet(location_ + hostPath);
    }
    // "/keldra/upgrade.xml" below the folder, or "upgrade.xml" in a folder named keldra.
    std::string path = location_ + hostPath;
    if (!IsDirectory(location_ + "/keldra")) {
        path = location_ + hostPath.substr(hostPath.rfind('/'));
    }
    return ReadFileBytes(path);
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

std::optional<std::vector<unsigned char>> HttpGet(const std::string& url, std::size_t limit) {
    if (url.rfind("http://", 0) != 0)
        return std::nullopt;
    const std::string rest = url.substr(7);
    const std::size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    const std::string target = slash == std::string::npos ? "/" : rest.substr(slash);
    const std::size_t colon = authority.rfind(':');
    const std::string host = authority.substr(0, colon);
    const std::string port = colon == std::string::npos ? "80" : authority.substr(colon + 1);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0)
        return std::nullopt;
    int fd = -1;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    const Socket socket(fd);
    if (socket.Get() < 0)
        return std::nullopt;
    const std::string request = "GET " + target + " HTTP/1.0\r\nHost: " + authority +
                                "\r\nUser-Agent: tallix-publish\r\nConnection: close\r\n\r\n";
    if (send(socket.Get(), request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        return std::nullopt;
    }
    std::string answer;
    char buffer[8192];
    for (ssize_t got; (got = recv(socket.Get(), buffer, sizeof buffer, 0)) > 0;) {
        answer.append(buffer, static_cast<std::size_t>(got));
        if (limit != SIZE_MAX && answer.size() > limit + sizeof buffer) {
            break;  // past the limit with room to spare for the head of the answer
        }
    }
    const std::size_t headerEnd = answer.find("\r\n\r\n");
    const std::size_t space = answer.find(' ');
    if (headerEnd == std::string::npos || space == std::string::npos ||
        answer.compare(space + 1, 3, "200") != 0) {
        return std::nullopt;
    }
    return std::vector<unsigned char>(answer.begin() + static_cast<long>(headerEnd) + 4,
                                      answer.end());
}

namespace {

void LoadOne(const ManifestSource& source, ManifestKind kind, ManifestVariant variant,
             LoadedManifest& out) {
    out.kind = kind;
    out.variant = variant;
    std::wstring path = ManifestPath(kind, variant);
    out.file.assign(path.begin(), path.end());  // the paths are ASCII
    const auto bytes = source.Read(out.file);
    out.present = bytes.has_value();
    if (!out.present)
        return;
    out.bytes = *bytes;
    out.xml = std::make_unique<ManifestXml>();
    out.xml->Load(out.bytes,
                  kind == ManifestKind::kSettings ? kSettingsRootName : kUpgradeRootName);
}

}  // namespace

ReleaseManifests LoadRelease(const ManifestSource& source) {
    ReleaseManifests release;
    LoadOne(source, ManifestKind::kSettings, ManifestVariant::kClassic, release.settings);
    for (const ManifestVariant v : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        LoadOne(source, ManifestKind::kUpgrade, v, release.upgrade[ReleaseManifests::Index(v)]);
        LoadOne(source, ManifestKind::kHistory, v, release.history[ReleaseManifests::Index(v)]);
    }
    release.index = source.Read(kReleaseIndexPath);
    return release;
}
