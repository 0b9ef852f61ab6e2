// The description of the system from any answers of the version queries and the registry: only
// NT, 9x and CE platforms are described; an NT description ends in its build, taken from the
// registry's build number when there is one, and its bits; the registry's build number is the
// only text copied (no control character of the service-pack text gets in), so the description's
// length is bounded by it; and the error box carries the description and the
// error in hexadecimal at its end.
//
// Input: bytes 0-15 the numbers (platform, major, minor, build, suite mask, product type,
// architecture, product info type and flags), then lines: the service-pack text, the
// registry's "CurrentVersion" and "CurrentBuildNumber", and the product options type.
#include <cwchar>

#include "base/os_code.h"
#include "base/text.h"
#include "report/os_description.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr std::size_t kNumbers = 16;
constexpr std::size_t kFixedTextLimit = 120;  // the longest name, edition, build and bits

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kNumbers) {
        return 0;
    }
    OsDescriptionData d;
    OsVersionData& v = d.version;
    v.platformId = data[0] % 5;
    v.major = data[1] % 12;
    v.minor = data[2] % 100;
    v.build = static_cast<std::uint32_t>(data[3] | (data[4] << 8));
    v.suiteMask = static_cast<std::uint16_t>(data[5] | (data[6] << 8));
    v.productType = data[7] % 4;
    v.extended = (data[8] & 1) != 0;
    d.processorArchitecture = data[9] % 10;
    if ((data[8] & 2) != 0) {
        d.productInfoType = data[10] % 64;
    }
    d.serverR2 = (data[8] & 4) != 0;
    d.mediaCenter = (data[8] & 8) != 0;
    d.starter = (data[8] & 16) != 0;
    d.tabletPc = (data[8] & 32) != 0;
    if ((data[8] & 64) != 0) {
        v.currentMajorVersionNumber = data[11] % 12;
        v.currentMinorVersionNumber = data[12] % 4;
    }
    fuzz::Pieces pieces(data + kNumbers, size - kNumbers);
    v.csdVersion = fuzz::Widen(pieces.Next());
    v.currentVersion = fuzz::Widen(pieces.Next());
    v.currentBuildNumber = fuzz::Widen(pieces.Next());
    v.productOptionsType = fuzz::Widen(pieces.Next());

    const std::wstring description = DescribeOsFrom(d);
    FUZZ_CHECK(description == DescribeOsFrom(d));
    FUZZ_CHECK(description.size() <= kFixedTextLimit + v.currentBuildNumber.size());
    if (v.platformId != kPlatformNt && v.platformId != kPlatformWindows9x &&
        v.platformId != kPlatformCe) {
        FUZZ_CHECK(description.empty());
    }
    const std::wstring build =
        v.currentBuildNumber.empty() ? std::to_wstring(v.build) : v.currentBuildNumber;
    if (v.platformId == kPlatformNt) {
        const std::wstring tail = L" (Build " + build + L")";
        FUZZ_CHECK(Contains(description, tail));
        const std::wstring after = description.substr(description.rfind(tail) + tail.size());
        const bool bits = after.empty() || after == L", 64-bit" || after == L", 32-bit" ||
                          after == L" Preview" || after == L" Preview, 64-bit" ||
                          after == L" Preview, 32-bit";
        FUZZ_CHECK(bits);
    }
    // Only the build number is copied from outside: with it taken out, no control character is
    // left (the service-pack text, which may hold any, decides by its second letter only).
    const std::wstring own = v.platformId == kPlatformNt && !v.currentBuildNumber.empty()
                                 ? ReplaceAll(description, v.currentBuildNumber, L"")
                                 : description;
    for (wchar_t c : own) {
        FUZZ_CHECK(c >= 0x20);
    }
    FUZZ_CHECK(OsCodeFrom(v) >= 1);

    const std::uint32_t error = static_cast<std::uint32_t>(data[13] | (data[14] << 8)) *
                                static_cast<std::uint32_t>(data[15] + 1);
    wchar_t hex[16];
    std::swprintf(hex, 16, L"%x", static_cast<unsigned>(error));
    const std::wstring box = ErrorBoxText(v.csdVersion, description, error);
    FUZZ_CHECK(box.rfind(v.csdVersion, 0) == 0);
    FUZZ_CHECK(Contains(box, description));
    FUZZ_CHECK(box.size() >= std::wcslen(hex) &&
               box.compare(box.size() - std::wcslen(hex), std::wcslen(hex), hex) == 0);
    return 0;
}
