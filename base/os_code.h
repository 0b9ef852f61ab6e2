// The small operating-system code that the rest of the program compares against thresholds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Codes with a threshold meaning elsewhere in the program.
constexpr int kOsCodeVista = 19;     // below: older than Windows Vista
constexpr int kOsCodeWindows7 = 23;  // below: older than Windows 7
constexpr int kOsCodeWindows8 = 27;  // this or more: Windows 8 or later

constexpr std::uint32_t kPlatformWin32s = 0;
constexpr std::uint32_t kPlatformWindows9x = 1;
constexpr std::uint32_t kPlatformNt = 2;
constexpr std::uint32_t kPlatformCe = 3;

constexpr std::uint8_t kProductWorkstation = 1;
constexpr std::uint8_t kProductDomainController = 2;
constexpr std::uint8_t kProductServer = 3;

// What the version queries and the registry told about the running system.
struct OsVersionData {
    bool extended = true;  // the extended structure answered (else only the short one)
    std::uint32_t platformId = kPlatformNt;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::wstring csdVersion;
    std::uint16_t suiteMask = 0;                     // extended structure only
    std::uint8_t productType = kProductWorkstation;  // extended structure only
    // HKLM "SYSTEM\CurrentControlSet\Control\ProductOptions" "ProductType", read only when the
    // short structure had to be used.
    std::wstring productOptionsType;
    // HKLM "SOFTWARE\Microsoft\Windows NT\CurrentVersion".
    std::wstring currentVersion;
    std::optional<std::uint32_t> currentMajorVersionNumber;
    std::optional<std::uint32_t> currentMinorVersionNumber;
    std::wstring currentBuildNumber;
};

// True when the data describe a server product (a domain controller counts as a workstation).
bool IsServerProduct(const OsVersionData& data);

// Maps the version data to the operating-system code (1 for anything not listed).
int OsCodeFrom(const OsVersionData& data);

// The code of the running system, computed on the first call and cached; 0 (older than every
// threshold) when the system answered neither version query, in which case nothing is cached.
int GetOsCode();
