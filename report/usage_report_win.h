// The reports sent when the window closes, and the encoding of their record.
#pragma once

#include <string>

#include "manifest/update_item.h"

// The encrypted, upper-case hexadecimal form of a record, converted to the ANSI code page first
// (characters outside it are sent as the conversion's replacement characters).
std::wstring EncodeReportRecord(const std::wstring& record);

// The anomaly report: sends the first suspicious package of this session (if any) with the
// redirect log, the machine identity and the DNS servers. `moduleDir` is the updater's own
// directory with its trailing backslash.
void SendUsageReport(const std::wstring& moduleDir);

// The sibling report, sent when the update list's "fennick" item needs an update.
void SendSiblingReport(const std::wstring& moduleDir, const UpdateList& items);

// Both reports, in that order, synchronously (the close sequence).
void SendUsageReports(const std::wstring& moduleDir, const UpdateList& items);
