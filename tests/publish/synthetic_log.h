// A statistics host's log made up for tests and benchmarks: usage reports built by the updater's
// own report code and encrypted as it sends them, among other requests of the host, in the
// loopback server's JSON lines and in access-log lines, spread over two weeks of December 2026.
#pragma once

#include <cstdint>
#include <string>

struct SyntheticLogOptions {
    // Adds reports whose values carry markup, quotes, terminal control sequences and a redirect
    // location of 70,000 characters.
    bool hostile = false;
};

// Line `index` (from 0) of the log: the same index always gives the same line, and every line
// that holds a report is a report of its own (its own time, client and random number).
std::string SyntheticLogLine(std::uint64_t index, const SyntheticLogOptions& options = {});
