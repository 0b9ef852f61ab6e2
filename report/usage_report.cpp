#include "report/usage_report.h"

#include "base/text.h"

std::wstring DnsList(const std::vector<AdapterInfo>& adapters) {
    std::wstring list;
    for (const AdapterInfo& adapter : adapters) {
        list += L"#" + adapter.firstDns + L"," + adapter.secondDns;
    }
    if (!list.empty() && list[0] == L'#') {
        list.erase(0, 1);
    }
    return list;
}

std::wstring HijackList(const std::vector<RedirectRecord>& redirects) {
    std::wstring list;
    for (const RedirectRecord& r : redirects) {
        list += r.name + L"-" + r.location + L"-" + std::to_wstring(r.contentLength) + L"-" +
                std::to_wstring(r.status) + L"|";
    }
    return list;
}

const RedirectRecord* RedirectForFile(const std::vector<RedirectRecord>& redirects,
                                      const std::wstring& fileName) {
    for (const RedirectRecord& r : redirects) {
        if (EqualsNoCase(r.name, fileName)) {
            return &r;
        }
    }
    return redirects.empty() ? nullptr : &redirects.front();
}

namespace {

// A file text as "%s" formats it: up to its first zero byte. A small file without a version
// resource usually holds one early; the rest of the text never reaches the report, and a zero
// left in it would cut the report's URL there and lose the later parts and "&r=".
std::wstring FormattedText(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

}  // namespace

std::optional<ReportContent> BuildUsageReport(const UsageReportInputs& in) {
    ReportContent report;
    report.version = in.ownVersion;
    report.random = in.random;
    report.hijackList = HijackList(in.redirects);
    const DownloadAnomaly* chosen = nullptr;
    for (const DownloadAnomaly& anomaly : in.anomalies) {
        report.fileTextList += FormattedText(anomaly.fileText) + L"|";
        if (Contains(ToLowerAscii(anomaly.signer), kMakerSignerMark) ||
            anomaly.productName.empty()) {
            continue;
        }
        chosen = &anomaly;
        break;
    }
    if (chosen == nullptr) {
        return std::nullopt;
    }
    const RedirectRecord* redirect = RedirectForFile(in.redirects, chosen->fileName);
    const std::wstring redirectPath = redirect != nullptr ? redirect->path : std::wstring();
    const std::wstring signer = in.signerOf ? in.signerOf(redirectPath) : std::wstring();
    const bool signedByMaker = Contains(ToLowerAscii(signer), kMakerSignerMark);
    report.record = L"n:" + (chosen->fileName.empty() ? L"noname" : chosen->fileName) +  //
                    L";d:" + chosen->productName +                                       //
                    L";v:" + chosen->productVersion +                                    //
                    L";s:" + FormattedText(chosen->fileText) + L"|" +                    //
                    L";dns:" + DnsList(in.adapters) +                                    //
                    L";o:" + chosen->originalFileName +                                  //
                    L";disk:" + in.machineId +                                           //
                    L";path:" + (redirect != nullptr ? redirect->location : L"") +       //
                    L";redown:" + (signedByMaker ? L"1" : L"0") +                        //
                    L";size:" + std::to_wstring(chosen->fileSize) + L";";
    report.length = redirect != nullptr ? redirect->contentLength : 0;
    report.existed = chosen->exists ? 1 : 0;
    return report;
}

const UpdateItem* FindSiblingItem(const UpdateList& items) {
    for (const auto& item : items) {
        if (EqualsNoCase(item->tag, kSiblingTag)) {
            return item.get();
        }
    }
    return nullptr;
}

ReportContent BuildSiblingReport(const UpdateItem& item, const std::wstring& currentVersion,
                                 const std::wstring& path, const std::wstring& machineId,
                                 const std::wstring& ownVersion, int random) {
    ReportContent report;
    const bool updated = EqualsNoCase(currentVersion, item.version);
    report.record = L"n:fennick.exe;d:" + std::wstring(updated ? L"1" : L"0") + L";v:" +
                    item.installedVersion + L";s:;dns:;o:;disk:" + machineId + L";path:" + path +
                    L";redown:0;size:0;";
    report.version = ownVersion;
    report.random = random;
    return report;
}

std::wstring ReportUrl(const std::wstring& host, const std::wstring& encodedRecord,
                       const ReportContent& report) {
    return host + kReportPath + L"?uid=" + encodedRecord + L"&v=" + report.version + L"&s=" +
           std::to_wstring(report.length) + L"&e=" + std::to_wstring(report.existed) +
           L"&a=hijactcontent:" + report.hijackList + L";filecontent:" + report.fileTextList +
           L";&r=" + std::to_wstring(report.random);
}
