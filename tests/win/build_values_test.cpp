// A test build points every server at the loopback server of the test run; the download host is
// reached by name, and again through the download IP that replaces that name on a retry.
#include <gtest/gtest.h>

#include <string>

#include "build_values.h"
#include "manifest/manifest_fetch_win.h"
#include "test_support.h"

namespace {

TEST(BuildValues, TestHostsReachTheLoopbackServer) {
    if (TALLIX_TEST_HOSTS == 0) {
        GTEST_SKIP() << "release hosts (configure with -DTALLIX_TEST_HOSTS=ON)";
    }
    REQUIRE_LOOPBACK_SERVER();
    EXPECT_EQ(std::wstring(TALLIX_MANIFEST_HOST), ServerOrigin());

    std::wstring byAddress = TALLIX_DOWNLOAD_HOST;
    const std::wstring name = TALLIX_DOWNLOAD_HOST_NAME;
    ASSERT_NE(byAddress.find(name), std::wstring::npos);
    byAddress.replace(byAddress.find(name), name.size(), TALLIX_DOWNLOAD_IP);
    ASSERT_NE(byAddress, std::wstring(TALLIX_DOWNLOAD_HOST));

    ServedFiles files;
    files.Put("/probe.txt", "here");
    for (const std::wstring& origin :
         {std::wstring(TALLIX_MANIFEST_HOST), std::wstring(TALLIX_DOWNLOAD_HOST), byAddress,
          std::wstring(TALLIX_STATISTICS_HOST)}) {
        SCOPED_TRACE(WideToUtf8(origin));
        const auto body = FetchManifest(origin + L"/probe.txt");
        ASSERT_TRUE(body.has_value());
        EXPECT_EQ(std::string(body->bytes.begin(), body->bytes.begin() + body->count), "here");
    }
}

}  // namespace
