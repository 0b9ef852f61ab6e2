#include <windows.h>

#include <gtest/gtest.h>

#include "report/machine_identity_win.h"
#include "report/report_cipher.h"
#include "report/usage_report_win.h"

namespace {

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
