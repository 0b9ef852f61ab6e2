// What the usage reports read from the system: the Windows release, the machine's identity and
// adapters, and the record's code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "report/machine_identity_win.h"
#include "report/report_cipher.h"
#include "report/usage_report_win.h"
#include "test_support.h"

namespace {

const wchar_t kWineKey[] = L"Software\\Wine";
const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// Each case makes the prefix look like one Windows release: the version Wine reports to new
// processes, and the values a real system of that release keeps in the registry. Wine fixes the
// reported version when a process starts, so a child of this program ("--os-probe") prints the
// code and the description, each on a line.
TEST(OsReaders, ReleasesAsWineReportsThem) {
    // A 64-bit system is described so to a 64-bit program and to a 32-bit one under WOW64.
    const bool system64 = sizeof(void*) == 8 || ExpectedWow64();
    const std::string bits = system64 ? ", 64-bit\r\n" : ", 32-bit\r\n";
    const struct {
        const wchar_t* wineVersion;  // nullptr: no override (Wine's own Windows 7 workstation)
        const wchar_t* currentVersion;
        std::optional<DWORD> majorVersionNumber;
        const wchar_t* buildNumber;
        const char* outputStart;
        std::string outputEnd;
    } releases[] = {
        {L"winxp", L"5.1", std::nullopt, L"2600", "13\r\nWindows XP Professional",
         " (Build 2600)\r\n"},
        {nullptr, L"6.1", std::nullopt, L"7601", "23\r\nWindows 7 ", " (Build 7601)" + bits},
        // The release after 6.2 told by the registry (its other values: the portable tests).
        {L"win10", L"6.3", 10u, L"19045", "31\r\nWindows 10 ", " (Build 19045)" + bits}};
    for (const auto& r : releases) {
        ScopedRegistryValue version(HKEY_CURRENT_USER, kWineKey, L"Version");
        ScopedRegistryValue current(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CurrentVersion");
        ScopedRegistryValue major(HKEY_LOCAL_MACHINE, kCurrentVersionKey,
                                  L"CurrentMajorVersionNumber");
        ScopedRegistryValue build(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CurrentBuildNumber");
        r.wineVersion != nullptr ? version.SetString(r.wineVersion) : version.Remove();
        current.SetString(r.currentVersion);
        r.majorVersionNumber ? major.SetDword(*r.majorVersionNumber) : major.Remove();
        build.SetString(r.buildNumber);

        const std::string output = RunThisProgram(L"--os-probe");
        EXPECT_TRUE(output.starts_with(r.outputStart) && output.ends_with(r.outputEnd)) << output;
    }
}

// What Wine models: physical drives answer no serial (SMART fails, the storage query gives empty
// strings), so the identity is empty; the adapters and their DNS servers are listed, but the
// router configuration refuses the connection, so the friendly name falls back to the
// description. None of it may end or stall the process.
TEST(ReportReaders, MachineIdentityAndAdaptersUnderWine) {
    EXPECT_EQ(MachineId(), L"");
    for (const AdapterInfo& adapter : CollectAdapters()) {
        EXPECT_FALSE(IsVirtualAdapter(adapter.description)) << adapter.description;
        EXPECT_LE(adapter.firstDns.size(), 15u);
        EXPECT_LE(adapter.secondDns.size(), 15u);
        EXPECT_EQ(adapter.friendlyName, adapter.description);
    }
    EXPECT_EQ(AdapterFriendlyName(L"{00000000-0000-0000-0000-000000000000}"), L"");
}

TEST(ReportReaders, RecordIsEncryptedInTheAnsiCodePage) {
    EXPECT_EQ(EncodeReportRecord(L""), L"");
    EXPECT_EQ(EncodeReportRecord(L"n:fennick.exe;d:0;"), EncryptReportBytes("n:fennick.exe;d:0;"));
    // Latin-1 letters are in every Western code page and in the test prefix's.
    if (GetACP() == 1252) {
        EXPECT_EQ(EncodeReportRecord(L"d:caf\u00e9;"), EncryptReportBytes("d:caf\xe9;"));
    }
}

}  // namespace
