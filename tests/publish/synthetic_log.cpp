#include "tests/publish/synthetic_log.h"

#include <iconv.h>

#include <cstdio>
#include <iterator>

#include "report/report_cipher.h"
#include "report/usage_report.h"
#include "tools/publish/output.h"
#include "tools/publish/xml_view.h"

namespace {

// The record's bytes as the suite's users' Windows writes them (GBK).
std::string Gbk(const std::wstring& text) {
    std::string in = Utf16ToUtf8(text);
    std::string out(in.size() * 2 + 8, '\0');
    iconv_t converter = iconv_open("GBK", "UTF-8");
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

// A fixed mixing of the index, so that each line is chosen the same way every time.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

template <class T, std::size_t N>
const T& Pick(const T (&items)[N], std::uint64_t& bits) {
    const T& item = items[bits % N];
    bits /= N;
    return item;
}

const wchar_t* const kProducts[] = {L"Speedy Download Helper", L"Speedy Download Helper",
                                    L"极速下载助手",           L"FreePlayer Setup",
                                    L"FreePlayer Setup",       L"Desktop Weather"};
const wchar_t* const kOriginals[] = {L"setup.exe", L"sdh_installer.exe", L"fp_setup.exe"};
const wchar_t* const kFiles[] = {L"pinnace.exe", L"keldra.exe", L"dayloom.exe", L"wardel.exe"};
const wchar_t* const kHosts[] = {L"http://portal.isp-north.example/ad?u=1",
                                 L"http://Cache.ISP-South.example:8080/dl",
                                 L"http://portal.isp-north.example/x", L"http://198.51.100.7/p",
                                 L"http://nav.hotspot.example/login"};
const wchar_t* const kDns[][2] = {
    {L"198.51.100.53", L"198.51.100.54"}, {L"203.0.113.1", L""}, {L"192.0.2.10", L"192.0.2.11"}};
const wchar_t* const kUpdaters[] = {L"3.2.0.15", L"3.2.0.16", L"3.2.0.17", L"3.2.0.17"};
const wchar_t* const kSiblingBefore[] = {L"1.0.0.0", L"1.0.0.0", L"0.9.8.2"};
// Markup in the record (which the decoder takes only as text without control characters) and
// terminal control sequences in a redirect location (which travels raw).
const wchar_t* const kHostile[] = {L"<script>alert(1)</script>", L"\"quoted\" & 'single'"};
const wchar_t kHostileLocation[] = L"http://\x1b]0;owned\x07\x1b[2J.example/x";

ReportContent Anomaly(std::uint64_t bits, const SyntheticLogOptions& options, int random) {
    UsageReportInputs in;
    DownloadAnomaly a;
    a.fileName = Pick(kFiles, bits);
    a.productName = options.hostile && bits % 7 == 0 ? Pick(kHostile, bits) : Pick(kProducts, bits);
    a.productVersion = L"1.2.0.0";
    a.originalFileName = Pick(kOriginals, bits);
    a.signer = L"other company";
    a.fileSize = 100000 + bits % 50000;
    in.anomalies.push_back(a);
    const auto redirect = [&](const std::wstring& location) {
        RedirectRecord r;
        r.name = a.fileName;
        r.location = location;
        r.status = 302;
        in.redirects.push_back(r);
    };
    for (std::uint64_t r = bits % 4; r > 0; --r)
        redirect(Pick(kHosts, bits));
    if (options.hostile && bits % 5 == 0)
        redirect(kHostileLocation);
    if (options.hostile && random % 97 == 5)  // a location longer than 64 KiB
        redirect(L"http://portal.isp-north.example/" + std::wstring(70000, L'a'));
    const auto& dns = Pick(kDns, bits);
    AdapterInfo adapter;
    adapter.firstDns = dns[0];
    adapter.secondDns = dns[1];
    in.adapters.push_back(adapter);
    in.machineId = L"WD-WCC" + std::to_wstring(bits % 1000);
    in.ownVersion = Pick(kUpdaters, bits);
    in.random = random;
    in.signerOf = [](const std::wstring&) { return std::wstring(); };
    return *BuildUsageReport(in);
}

ReportContent Sibling(std::uint64_t bits, int random) {
    UpdateItem item;
    item.tag = L"fennick";
    item.version = L"1.0.0.1";
    item.installedVersion = Pick(kSiblingBefore, bits);
    const bool took = bits % 10 < 7;
    return BuildSiblingReport(item, took ? item.version : item.installedVersion,
                              L"C:\\Program Files\\Orvane\\fennick\\fennick.exe",
                              L"WD-WCC" + std::to_wstring(bits % 1000), Pick(kUpdaters, bits),
                              random);
}

}  // namespace

std::string SyntheticLogLine(std::uint64_t index, const SyntheticLogOptions& options) {
    std::uint64_t bits = Mix(index);
    const unsigned what = bits % 100;
    bits /= 100;
    const unsigned day = 1 + static_cast<unsigned>(bits % 14);
    bits /= 14;
    const unsigned second = static_cast<unsigned>(bits % 86400);
    bits /= 86400;
    const unsigned client = static_cast<unsigned>(bits % 65536);
    bits /= 65536;
    const bool accessLog = bits % 3 == 0;
    const std::uint64_t content = Mix(~index);  // what the report says
    const int random = static_cast<int>(index % 32768);

    std::string path;
    if (what < 8) {
        path = "/keldra/upgrade.xml";
    } else if (what < 9) {
        path =
            "/receive/tallix.aspx?uid=0123ABC&v=3.2.0.17&s=0&e=0&a=hijactcontent:;"
            "filecontent:;&r=" +
            std::to_string(random);
    } else {
        const ReportContent report =
            what < 60 ? Anomaly(content, options, random) : Sibling(content, random);
        const std::string url = Utf16ToUtf8(
            ReportUrl(L"http://127.0.0.1", EncryptReportBytes(Gbk(report.record)), report));
        path = url.substr(url.find("/receive"));
    }
    char address[32];
    std::snprintf(address, sizeof address, "10.%u.%u.%u", client >> 8, client & 255,
                  static_cast<unsigned>(index % 250) + 1);
    char stamp[64];
    if (accessLog) {
        std::snprintf(stamp, sizeof stamp, "%02u/Dec/2026:%02u:%02u:%02u +0800", day, second / 3600,
                      second / 60 % 60, second % 60);
        return std::string(address) + " - - [" + stamp + "] \"GET " + path +
               " HTTP/1.1\" 200 2 \"-\" \"-\"";
    }
    std::snprintf(stamp, sizeof stamp, "2026-12-%02uT%02u:%02u:%02u.%03uZ", day, second / 3600,
                  second / 60 % 60, second % 60, static_cast<unsigned>(index % 1000));
    return std::string("{\"time\": \"") + stamp + "\", \"client\": \"" + address +
           "\", \"method\": \"GET\", \"path\": " + Json(path) + "}";
}
