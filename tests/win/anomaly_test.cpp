// The anomaly record of a package that failed a check: what is read from the file, and the one
// record per signer and file name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "download/anomaly_win.h"
#include "download/download_records.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(RecordDownloadAnomaly, FieldsFromTheFile) {
    Anomalies().Clear();
    TempFolder folder;
    const std::wstring page = folder.Path() + L"keldra.exe";
    std::ofstream(fs::path(page), std::ios::binary) << "<html>error page</html>";
    SetFirstRequestStatus(302);
    RecordDownloadAnomaly(page, L"fabrikam");
    const std::wstring stub = StubFolder("keldra-6.0.0.1") + L"keldra.exe";
    RecordDownloadAnomaly(stub, L"");
    RecordDownloadAnomaly(folder.Path() + L"missing.exe", L"x");
    // The same signer and file name in another case: no second record.
    RecordDownloadAnomaly(folder.Path() + L"KELDRA.EXE", L"FABRIKAM");

    const std::vector<DownloadAnomaly> records = Anomalies().Snapshot();
    ASSERT_EQ(records.size(), 3u);
    const DownloadAnomaly& text = records[0];
    EXPECT_EQ(text.fileName, L"keldra.exe");
    EXPECT_EQ(text.signer, L"fabrikam");
    EXPECT_EQ(text.productVersion, L"");
    EXPECT_EQ(text.fileSize, 23u);
    EXPECT_TRUE(text.exists);
    EXPECT_EQ(text.firstRequestStatus, 302);
    EXPECT_EQ(text.fileText, L"<html>error page</html>");

    const DownloadAnomaly& versioned = records[1];
    EXPECT_EQ(versioned.productVersion, L"6.0.0.1");
    EXPECT_EQ(versioned.originalFileName, L"keldra.exe");
    EXPECT_EQ(versioned.productName, L"keldra");  // the stub names its product after its file
    EXPECT_EQ(versioned.fileSize, fs::file_size(fs::path(stub)));
    EXPECT_EQ(versioned.fileText, L"");  // a file with a version resource keeps no text

    const DownloadAnomaly& missing = records[2];
    EXPECT_EQ(missing.fileName, L"missing.exe");
    EXPECT_FALSE(missing.exists);
    EXPECT_EQ(missing.fileSize, 0u);
    Anomalies().Clear();
}

}  // namespace
