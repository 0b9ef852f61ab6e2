// The human-readable description of the running Windows shown in error boxes for support, and
// the composition of those boxes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/os_code.h"

constexpr std::uint16_t kArchIntel = 0;
constexpr std::uint16_t kArchIa64 = 6;
constexpr std::uint16_t kArchAmd64 = 9;

constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteDatacenter = 0x0080;
constexpr std::uint16_t kSuitePersonal = 0x0200;
constexpr std::uint16_t kSuiteBlade = 0x0400;
constexpr std::uint16_t kSuiteStorageServer = 0x2000;
constexpr std::uint16_t kSuiteComputeServer = 0x4000;
constexpr std::uint16_t kSuiteHomeServer = 0x8000;

struct OsDescriptionData {
    OsVersionData version;
    std::uint16_t processorArchitecture = kArchIntel;
    std::optional<std::uint32_t> productInfoType;  // empty when GetProductInfo is missing
    bool serverR2 = false;                         // GetSystemMetrics(SM_SERVERR2)
    bool mediaCenter = false;
    bool starter = false;
    bool tabletPc = false;
};

// For example "Windows 7 旗舰版 (Build 7601), 64-bit".
std::wstring DescribeOsFrom(const OsDescriptionData& data);

// The error box's title: the caller's title, " v" and the updater's own file version.
std::wstring ErrorBoxTitle(const std::wstring& title, const std::wstring& ownVersion);

// The error box's text: the message, the system description and the error value in hex.
std::wstring ErrorBoxText(const std::wstring& message, const std::wstring& osDescription,
                          std::uint32_t error);

// The description of the running system (Win32 side).
std::wstring DescribeOs();
