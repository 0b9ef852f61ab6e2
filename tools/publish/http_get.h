// The publisher's plain HTTP client: what a machine gets when its updater GETs a manifest. The
// system's HTTP layer follows redirects by itself, so this client follows them too (and names
// each one), gives up after a time-out instead of waiting forever, and tells a status that is
// not 200 from a host that could not be reached.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FetchResult {
    enum class Outcome {
        kBody,        // the body of a 200 answer or of a file
        kMissing,     // a file that does not exist, or an HTTP status other than 200
        kUnreadable,  // the host, the folder or the file could not be read at all
    };
    Outcome outcome = Outcome::kUnreadable;
    std::vector<unsigned char> body;  // its first `keep` bytes
    std::uint64_t size = 0;           // the whole body's size, counted up to kCountLimit or `keep`
    int status = 0;                   // the last HTTP status; 0 for a file
    std::vector<std::string> redirects;  // each redirect followed: "302 to http://..."
    std::string problem;                 // why missing or unreadable ("HTTP 404 Not Found")
};

// How much of a body is counted before the reading stops, unless more is kept: a larger one is
// "at least" this big.
constexpr std::uint64_t kCountLimit = 64ull << 20;

// At most this many redirects are followed, as a browser would.
constexpr int kMaxRedirects = 10;

// GETs an "http://host[:port]/path" URL with HTTP/1.0, following redirects to http:// URLs;
// keeps the first `keep` bytes of the body. Every step (name lookup, connection, request and
// answer) must end within `timeoutSeconds` in all.
FetchResult HttpGet(const std::string& url, std::size_t keep, int timeoutSeconds);
