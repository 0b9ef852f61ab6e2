#include "download/download_rules.h"

#include <cwchar>

#include "base/text.h"

namespace {

bool IsWhiteSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

std::wstring TrimWhiteSpace(const std::wstring& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsWhiteSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && IsWhiteSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::wstring FourHexDigits(unsigned value) {
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"000%x", value);
    const std::wstring digits(text);
    return digits.substr(digits.size() - 4);
}

}  // namespace

std::wstring RefererFor(const std::wstring& url) {
    const std::size_t slash = url.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring() : url.substr(0, slash);
}

std::wstring RequestHeaders(const RequestHeaderInput& in) {
    std::wstring headers = in.extraHeaders;
    headers += in.fresh ? std::wstring(L"Range: bytes=0-\r\n")
                        : L"Range: bytes=" + std::to_wstring(in.resumeAt) + L"-\r\n";
    headers += L"Accept: */*\r\nConnection: Keep-Alive\r\n";
    if (!in.referer.empty()) {
        headers += L"Referer: " + in.referer + L"\r\n";
    } else if (in.url.find(L'/') != std::wstring::npos) {
        headers += L"Referer: " + RefererFor(in.url) + L"\r\n";
    }
    if (!in.cookie.empty()) {
        headers += L"Cookie: " + in.cookie + L"\r\n";
    }
    return headers;
}

std::wstring RedirectLocation(const std::wstring& locationHeader) {
    return TrimWhiteSpace(ToLowerAscii(locationHeader));
}

std::int32_t DownloadPercent(std::uint64_t done, std::uint64_t total) {
    const std::int64_t divisor = total == 0 ? 1 : static_cast<std::int64_t>(total);
    const std::int64_t percent = static_cast<std::int64_t>(done) * 100 / divisor;
    if (percent >= 100) {
        return 100;
    }
    return percent <= 0 ? 0 : static_cast<std::int32_t>(percent);
}

DownloadState EndStateFor(std::uint64_t done, std::uint64_t total, bool brokenOff) {
    return !brokenOff && done != 0 && (done == total || total == 0) ? kDownloadCompleted
                                                                    : kDownloadFailed;
}

std::wstring AttemptUrl(const AttemptUrlInput& in) {
    std::wstring url = in.url + L"?skq=" + std::to_wstring(static_cast<std::int32_t>(in.tickCount));
    if (in.attemptCount == 1 && !in.downloadHostName.empty()) {
        url = ReplaceAll(url, in.downloadHostName, in.downloadIp);
    }
    if (in.osCode < 19) {
        url = ReplaceAll(url, L"https://", L"http://");
    }
    return url;
}

std::wstring MainSetupDownloadUrl(const std::wstring& mainSetupUrl,
                                  const std::wstring& downloadBase) {
    return EqualsNoCase(mainSetupUrl.substr(0, 4), L"http") ? mainSetupUrl
                                                            : downloadBase + mainSetupUrl;
}

RedirectFinding FindRedirectIn(const std::vector<RedirectRecord>& log, const std::wstring& name,
                               const std::vector<std::wstring>& hijackMarkers, std::size_t from) {
    RedirectFinding finding;
    for (std::size_t i = from; i < log.size(); ++i) {
        if (EqualsNoCase(log[i].name, name)) {
            finding.location = ToLowerAscii(log[i].location);
            break;
        }
    }
    for (const std::wstring& marker : hijackMarkers) {
        const std::size_t at = finding.location.find(ToLowerAscii(marker));
        if (at != std::wstring::npos && at > 0) {
            finding.marked = true;
        }
    }
    finding.found = !finding.location.empty();
    return finding;
}

std::wstring TranslationKey(std::uint16_t language, std::uint16_t codePage) {
    return FourHexDigits(language) + FourHexDigits(codePage);
}

bool FindRedirect(const std::wstring& name, const std::vector<std::wstring>& hijackMarkers,
                  bool& marked, std::size_t from) {
    const RedirectFinding finding =
        FindRedirectIn(Redirects().Snapshot(), name, hijackMarkers, from);
    marked = finding.marked;
    return finding.found;
}

void MarkRedirectReported(const std::wstring& name) {
    Redirects().MarkReported(name);
}
