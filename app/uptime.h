// The time of the last guard-component check, kept in the registry value "uptime" as 12 bytes:
// an OLE automation date (days since 1899-12-30, local time, as a little-endian double) and a
// 32-bit status (0 valid, 1 invalid).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct LocalTime {
    int year = 1900;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

constexpr std::size_t kUptimeSize = 12;
constexpr std::uint32_t kUptimeValid = 0;
constexpr std::uint32_t kUptimeInvalid = 1;

// Days since 1899-12-30 00:00 (negative before it), the fraction being the time of day.
double ToOleDate(const LocalTime& time);

// 1 January 2014 00:00: the time taken when no valid value is stored.
double DefaultLastCheck();

std::vector<std::uint8_t> EncodeUptime(double oleDate, std::uint32_t status = kUptimeValid);

// The stored time; the default for a value that is not exactly 12 bytes, is marked invalid, or
// does not hold a finite number.
double DecodeUptime(const std::vector<std::uint8_t>& bytes);

// The hours component (0 to 23) of the span from `last` to `now`, after rounding the span to
// the nearest second: a span of 24 h 30 min has 0 hours. A negative span (the clock went back)
// gives a component of 0 or below.
int SpanHoursComponent(double lastOleDate, double nowOleDate);

// True when a guard check must end at once: its last check is less than an hour ago by the
// hours component, and the command line does not contain "enforce" (exact case).
bool GuardCheckRateLimited(double lastOleDate, double nowOleDate, const std::wstring& commandLine);
