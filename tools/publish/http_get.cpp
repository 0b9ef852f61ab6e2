#include "tools/publish/http_get.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// The longest answer head read; a host that sends more is not speaking HTTP.
constexpr std::size_t kHeadLimit = 64 * 1024;

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

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

struct Url {
    std::string authority;  // host[:port]
    std::string host;
    std::string port = "80";
    std::string target;  // path and query, "/" at least
};

bool ParseUrl(const std::string& url, Url& out) {
    if (url.rfind("http://", 0) != 0)
        return false;
    const std::string rest = url.substr(7);
    const std::size_t slash = rest.find_first_of("/?#");
    out.authority = rest.substr(0, slash);
    out.target = slash == std::string::npos ? "/" : rest.substr(slash);
    if (out.target[0] != '/')
        out.target = "/" + out.target;
    out.target = out.target.substr(0, out.target.find('#'));
    const std::size_t close = out.authority.rfind(']');
    const std::size_t colon = out.authority.rfind(':');
    out.host = out.authority;
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        out.host = out.authority.substr(0, colon);
        out.port = out.authority.substr(colon + 1);
    }
    if (out.host.size() >= 2 && out.host.front() == '[' && out.host.back() == ']')
        out.host = out.host.substr(1, out.host.size() - 2);
    return !out.host.empty() && !out.port.empty();
}

// Milliseconds left before the deadline, at least 0.
int Left(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Waits until the socket is ready for `events` or the deadline passes.
bool Wait(int fd, short events, Clock::time_point deadline) {
    pollfd p{fd, events, 0};
    while (true) {
        const int ready = poll(&p, 1, Left(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// A connected non-blocking socket, or -1 with `problem` set.
int Connect(const Url& url, Clock::time_point deadline, std::string& problem) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &found);
    if (lookup != 0) {
        problem = "cannot find the host " + url.host + " (" + gai_strerror(lookup) + ")";
        return -1;
    }
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
    problem = "no address of " + url.host;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        int error = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            socklen_t length = sizeof error;
            error = !Wait(fd, POLLOUT, deadline)                                 ? ETIMEDOUT
                    : getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ? errno
                                                                                 : error;
        }
        if (error == 0)
            return fd;
        close(fd);
        problem = "cannot connect to " + url.authority + " (" +
                  (error == ETIMEDOUT ? std::string("no answer in time") : std::strerror(error)) +
                  ")";
    }
    return -1;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The value of a header of the answer's head (name in lower case), or "".
std::string Header(const std::string& head, const std::string& name) {
    const std::string lower = Lower(head);
    for (std::size_t at = lower.find("\r\n"); at != std::string::npos;
         at = lower.find("\r\n", at + 2)) {
        if (lower.compare(at + 2, name.size() + 1, name + ":") != 0)
            continue;
        std::size_t begin = at + 2 + name.size() + 1;
        const std::size_t end = head.find("\r\n", begin);
        while (begin < end && (head[begin] == ' ' || head[begin] == '\t'))
            ++begin;
        std::string value = head.substr(begin, end - begin);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        return value;
    }
    return "";
}

// The body of a chunked answer; what is cut short ends it.
std::string Unchunk(const std::string& body) {
    std::string out;
    std::size_t at = 0;
    while (at < body.size()) {
        const std::size_t line = body.find("\r\n", at);
        if (line == std::string::npos)
            break;
        const unsigned long size = std::strtoul(body.substr(at, line - at).c_str(), nullptr, 16);
        if (size == 0)
            break;
        if (size >= body.size() - (line + 2)) {  // cut short
            out.append(body, line + 2, std::string::npos);
            break;
        }
        out.append(body, line + 2, size);
        at = line + 2 + size + 2;
    }
    return out;
}

// Where a redirect's location points, from the URL that answered with it.
std::string Resolve(const Url& from, const std::string& location) {
    if (location.find("://") != std::string::npos)
        return location;
    if (location.rfind("//", 0) == 0)
        return "http:" + location;
    const std::string origin = "http://" + from.authority;
    if (!location.empty() && location[0] == '/')
        return origin + location;
    const std::string path = from.target.substr(0, from.target.find('?'));
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

struct Answer {
    int status = 0;
    std::string reason;
    std::string location;
    std::string body;  // at most the kept bytes, unchunked
    std::uint64_t size = 0;
};

// One GET without following anything; false with `problem` when there is no answer.
bool GetOnce(const Url& url, std::size_t keep, Clock::time_point deadline, Answer& answer,
             std::string& problem) {
    const Socket socket(Connect(url, deadline, problem));
    if (socket.Get() < 0)
        return false;
    const std::string request = "GET " + url.target + " HTTP/1.0\r\nHost: " + url.authority +
                                "\r\nUser-Agent: tallix-publish\r\nConnection: close\r\n\r\n";
    for (std::size_t sent = 0; sent < request.size();) {
        if (!Wait(socket.Get(), POLLOUT, deadline)) {
            problem = url.authority + " took no request in time";
            return false;
        }
        const ssize_t n =
            send(socket.Get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            problem = "cannot send to " + url.authority + " (" + std::strerror(errno) + ")";
            return false;
        }
        sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::string received;
    std::size_t headEnd = std::string::npos;
    std::uint64_t total = 0;
    // Every byte kept is counted, so a package larger than the count limit is still read whole.
    const std::uint64_t countLimit = std::max<std::uint64_t>(kCountLimit, keep);
    std::uint64_t length = countLimit;  // the Content-Length, when the head gives one
    char buffer[16384];
    while (true) {
        if (!Wait(socket.Get(), POLLIN, deadline)) {
            problem = url.authority + " did not answer in time";
            return false;
        }
        const ssize_t n = recv(socket.Get(), buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            break;
        total += static_cast<std::uint64_t>(n);
        received.append(buffer, static_cast<std::size_t>(n));
        if (headEnd == std::string::npos) {
            headEnd = received.find("\r\n\r\n");
            if (headEnd == std::string::npos && received.size() > kHeadLimit)
                break;
            if (headEnd == std::string::npos)
                continue;
            const std::string given = Header(received.substr(0, headEnd + 2), "content-length");
            if (!given.empty() && given.find_first_not_of("0123456789") == std::string::npos)
                length =
                    std::min<std::uint64_t>(countLimit, std::strtoull(given.c_str(), nullptr, 10));
        }
        if (received.size() > headEnd + 4 + keep)
            received.resize(headEnd + 4 + keep);  // counted, not kept
        // A host that keeps the connection open after the body it announced is not waited for.
        if (total - (headEnd + 4) >= length)
            break;
    }
    if (headEnd == std::string::npos) {
        problem = url.authority + " gave no HTTP answer";
        return false;
    }
    const std::string head = received.substr(0, headEnd + 2);
    const std::size_t space = head.find(' ');
    const std::size_t lineEnd = head.find("\r\n");
    if (head.rfind("HTTP/", 0) != 0 || space == std::string::npos || space > lineEnd) {
        problem = url.authority + " gave no HTTP answer";
        return false;
    }
    answer.status = std::atoi(head.c_str() + space + 1);
    answer.reason = head.substr(space + 1, lineEnd - space - 1);
    answer.location = Header(head, "location");
    answer.body = received.substr(headEnd + 4);
    answer.size = total - (headEnd + 4);
    if (Lower(Header(head, "transfer-encoding")) == "chunked") {
        answer.body = Unchunk(answer.body);
        answer.size = answer.body.size();
    }
    return true;
}

}  // namespace

FetchResult HttpGet(const std::string& url, std::size_t keep, int timeoutSeconds) {
    FetchResult result;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    std::string current = url;
    for (int hop = 0;; ++hop) {
        Url parsed;
        if (!ParseUrl(current, parsed)) {
            result.problem = current.rfind("https://", 0) == 0
                                 ? current + ": this tool reads plain http:// only"
                                 : current + " is not an http:// URL";
            return result;
        }
        Answer answer;
        if (!GetOnce(parsed, keep, deadline, answer, result.problem))
            return result;
        result.status = answer.status;
        const bool redirect = answer.status == 301 || answer.status == 302 ||
                              answer.status == 303 || answer.status == 307 || answer.status == 308;
        if (redirect && !answer.location.empty()) {
            if (hop == kMaxRedirects) {
                result.outcome = FetchResult::Outcome::kMissing;
                result.problem = "more than " + std::to_string(kMaxRedirects) + " redirects";
                return result;
            }
            current = Resolve(parsed, answer.location);
            result.redirects.push_back(std::to_string(answer.status) + " to " + current);
            continue;
        }
        if (answer.status != 200) {
            result.outcome = FetchResult::Outcome::kMissing;
            result.problem = "HTTP " + answer.reason;
            return result;
        }
        result.outcome = FetchResult::Outcome::kBody;
        result.body.assign(answer.body.begin(), answer.body.end());
        result.size = answer.size;
        return result;
    }
}
