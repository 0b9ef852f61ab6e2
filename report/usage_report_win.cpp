#include "report/usage_report_win.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <ctime>

#include "build_values.h"
#include "download/download_records.h"
#include "manifest/file_version_win.h"
#include "manifest/internet_handle_win.h"
#include "manifest/machine_win.h"
#include "report/machine_identity_win.h"
#include "report/report_cipher.h"
#include "report/usage_report.h"
#include "trust/signature_win.h"

namespace {

// INTERNET_FLAG_PRAGMA_NOCACHE together with bit 0x2, as the statistics host has always been
// asked.
constexpr DWORD kReportOpenFlags = 0x102;
const wchar_t kTrayClass[] = L"_KeldraTray";
constexpr UINT kTrayReportMessage = 1800;
constexpr WPARAM kTrayReportSent = 4;

// One GET; the answer is never read and every failure is ignored.
void SendReportRequest(const std::wstring& url) {
    UniqueInternetHandle session(
        InternetOpenW(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) {
        return;
    }
    DWORD timeout = 0;
    InternetSetOptionW(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    // The request handle is closed at once: the answer is never read.
    UniqueInternetHandle request(
        InternetOpenUrlW(session.Get(), url.c_str(), nullptr, 0, kReportOpenFlags, 0));
}

void PokeTray() {
    HWND tray = FindWindowW(kTrayClass, nullptr);
    if (tray != nullptr && IsWindow(tray)) {
        PostMessageW(tray, kTrayReportMessage, kTrayReportSent, 0);
    }
}

void Send(const ReportContent& report) {
    SendReportRequest(ReportUrl(TALLIX_STATISTICS_HOST, EncodeReportRecord(report.record), report));
    PokeTray();
}

std::wstring OwnVersion(const std::wstring& moduleDir) {
    return FileProductVersion(moduleDir + L"tallix.exe");
}

int ReportRandom() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return std::rand();
}

}  // namespace

std::wstring EncodeReportRecord(const std::wstring& record) {
    return EncryptReportBytes(WideToAnsi(record));
}

void SendUsageReport(const std::wstring& moduleDir) {
    UsageReportInputs in;
    in.adapters = CollectAdapters();
    in.machineId = MachineId();
    in.redirects = Redirects().Snapshot();
    in.anomalies = Anomalies().Snapshot();
    in.ownVersion = OwnVersion(moduleDir);
    in.signerOf = [](const std::wstring& path) {
        std::wstring signer;
        if (!path.empty()) {
            VerifyPackageSignature(path, signer);
        }
        return signer;
    };
    in.random = ReportRandom();
    if (const auto report = BuildUsageReport(in)) {
        Send(*report);
    }
}

void SendSiblingReport(const std::wstring& moduleDir, const UpdateList& items) {
    const UpdateItem* item = FindSiblingItem(items);
    if (item == nullptr || !item->updateNeeded) {
        return;
    }
    const std::wstring path = FennickExecutablePath(WindowsProductProbe());
    const std::wstring current = path.empty() ? std::wstring() : FileProductVersion(path);
    Send(BuildSiblingReport(*item, current, path, MachineId(), OwnVersion(moduleDir),
                            ReportRandom()));
}

void SendUsageReports(const std::wstring& moduleDir, const UpdateList& items) {
    SendUsageReport(moduleDir);
    SendSiblingReport(moduleDir, items);
}
