// The two close-time usage reports, built from snapshots of what the session recorded: the
// anomaly report (what went wrong with the downloads) and the sibling report (whether the
// sibling product "fennick" was brought up to date). Each is one GET to the statistics host whose
// query carries everything, the record encrypted in "uid" and the rest as raw, unescaped values.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/download_records.h"
#include "manifest/update_item.h"
#include "report/machine_identity.h"

// A signer name holding this text (lower-cased) is the maker's own.
inline const wchar_t kMakerSignerMark[] = L"lakemoor orvane network technology";
inline const wchar_t kSiblingTag[] = L"fennick";
inline const wchar_t kReportPath[] = L"/receive/tallix.aspx";

// What the anomaly report is built from.
struct UsageReportInputs {
    std::vector<DownloadAnomaly> anomalies;  // in the order they were recorded
    std::vector<RedirectRecord> redirects;   // the whole redirect log
    std::vector<AdapterInfo> adapters;
    std::wstring machineId;
    std::wstring ownVersion;  // the running updater's version
    int random = 0;
    // The signer name the signature check reads from the file at a path; empty when none.
    std::function<std::wstring(const std::wstring& path)> signerOf;
};

// One report, ready to be encrypted and sent.
struct ReportContent {
    std::wstring record;        // the plain record, "n:...;d:...;...;size:...;"
    std::wstring version;       // v
    std::int64_t length = 0;    // s
    int existed = 0;            // e
    std::wstring hijackList;    // the "hijactcontent:" part of a
    std::wstring fileTextList;  // the "filecontent:" part of a
    int random = 0;             // r
};

// The anomaly report: described is the first anomaly in list order that is not signed by the
// maker and has a product name; every anomaly walked until then (that one included) adds its file
// text to the file-text list. Nothing is sent (nullopt) when no anomaly qualifies.
//
// The record's "s" value is the file text of the chosen anomaly followed by "|": the last text
// formatted while the lists were walked, which is what the statistics host has always received in
// that field. The file text itself goes to the host in the "filecontent:" part as well.
std::optional<ReportContent> BuildUsageReport(const UsageReportInputs& in);

// "#first,second" for every adapter, concatenated, without the leading "#".
std::wstring DnsList(const std::vector<AdapterInfo>& adapters);

// "name-location-length-status|" for every record of the redirect log, concatenated.
std::wstring HijackList(const std::vector<RedirectRecord>& redirects);

// The redirect recorded for a file name: the first record of that name (ignoring case), else the
// log's first record; null when the log is empty.
const RedirectRecord* RedirectForFile(const std::vector<RedirectRecord>& redirects,
                                      const std::wstring& fileName);

// The first item tagged "fennick" (ignoring case); null when there is none.
const UpdateItem* FindSiblingItem(const UpdateList& items);

// The sibling report for that item: `currentVersion` is the version now read from the sibling's
// executable at `path`, compared ignoring case with the offered version.
ReportContent BuildSiblingReport(const UpdateItem& item, const std::wstring& currentVersion,
                                 const std::wstring& path, const std::wstring& machineId,
                                 const std::wstring& ownVersion, int random);

// The request URL: `host` is the statistics host's "http://" origin, `encodedRecord` the
// encrypted record. Values are inserted as they are.
std::wstring ReportUrl(const std::wstring& host, const std::wstring& encodedRecord,
                       const ReportContent& report);
