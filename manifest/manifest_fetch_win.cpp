#include "manifest/manifest_fetch_win.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>

#include "manifest/internet_handle_win.h"

namespace {

// No cached copy (0x100), body handed over unchanged (0x2).
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_TRANSFER_BINARY;

// The received bytes in a buffer of their own, padded with zeros: at least one zero byte after an
// even count and the high byte of a last odd unit plus a whole zero unit after an odd one.
FetchedManifest PaddedCopy(const std::vector<unsigned char>& received, std::size_t count) {
    FetchedManifest body;
    body.count = count;
    body.bytes.assign(count + 2 + count % 2, 0);
    std::copy(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(count),
              body.bytes.begin());
    return body;
}

}  // namespace

std::optional<FetchedManifest> FetchManifest(const std::wstring& url) {
    UniqueInternetHandle internet(
        InternetOpenW(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!internet) {
        return std::nullopt;
    }
    // The connect time-out option is given the value 0; a host that refuses the connection still
    // fails at once, and one that accepts it is waited for as the system sees fit.
    DWORD connectTimeout = 0;
    InternetSetOptionW(internet.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout,
                       sizeof connectTimeout);

    UniqueInternetHandle request(
        InternetOpenUrlW(internet.Get(), url.c_str(), nullptr, 0, kOpenUrlFlags, 0));
    if (!request) {
        return std::nullopt;
    }

    std::optional<FetchedManifest> body;
    {
        std::vector<unsigned char> received(kManifestReadLimit, 0);
        DWORD count = 0;
        // One read only: whatever it hands over is the manifest.
        InternetReadFile(request.Get(), received.data(), static_cast<DWORD>(received.size()),
                         &count);
        if (count > 0) {
            body = PaddedCopy(received, std::min<std::size_t>(count, received.size()));
        }
    }
    request.Reset();  // the request first, then the session
    internet.Reset();
    return body;
}

std::wstring BuildManifestUrl(const std::wstring& hostOrigin, ManifestKind kind,
                              ManifestVariant variant) {
    return ManifestUrl(hostOrigin, kind, variant, GetTickCount());
}
