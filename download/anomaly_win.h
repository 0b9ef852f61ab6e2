// Recording a package that failed a check, for the usage report.
#pragma once

#include <string>

// Appends a record built from the file at `path` (its version strings, size, existence and, for a
// small file without a version resource, its text) with the signer name from the signature check,
// unless the anomaly list already holds one with the same signer and file name.
void RecordDownloadAnomaly(const std::wstring& path, const std::wstring& signer);

// A string of the version resource's first translation ("ProductName", "OriginalFileName", ...);
// empty when the file has no version resource or no such string.
std::wstring FileVersionString(const std::wstring& path, const wchar_t* name);
