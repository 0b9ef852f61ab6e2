// The manifest fetch against the loopback server: what comes back, what is sent, and when there
// is no buffer at all.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "manifest/manifest_fetch_win.h"
#include "test_support.h"

namespace {

std::wstring Url(const std::string& path) {
    return ServerOrigin() + Utf8ToWide(path);
}

std::string Received(const FetchedManifest& body) {
    return std::string(body.bytes.begin(), body.bytes.begin() + body.count);
}

TEST(ManifestFetch, HandsOverTheBodyExactlyAndEndsItInNuls) {
    REQUIRE_TEST_RUN();
    ServedFiles files;
    const struct {
        const char* name;
        std::string bytes;
    } bodies[] = {{"odd length", "<a>odd</a>"},
                  {"UTF-16 with mark", std::string("\xFF\xFE<\0a\0/\0>\0", 10)},
                  {"inner NUL kept", std::string("ab\0cd", 5)}};
    for (const auto& body : bodies) {
        SCOPED_TRACE(body.name);
        files.Put("/keldra/body.xml", body.bytes);
        const auto fetched = FetchManifest(Url("/keldra/body.xml"));
        ASSERT_TRUE(fetched.has_value());
        EXPECT_EQ(fetched->count, body.bytes.size());
        EXPECT_EQ(Received(*fetched), body.bytes);
        // Zero padding: one NUL byte for 8-bit text, a whole aligned NUL unit for 16-bit text.
        const std::size_t size = fetched->bytes.size();
        ASSERT_GE(size, fetched->count + 2);
        EXPECT_EQ(size % 2, 0u);
        EXPECT_EQ(fetched->bytes[fetched->count], 0);
        EXPECT_EQ(fetched->bytes[size - 2], 0);
        EXPECT_EQ(fetched->bytes[size - 1], 0);
    }
}

TEST(ManifestFetch, NoBufferWithoutABodyAndNoWaitForADeadHost) {
    REQUIRE_TEST_RUN();
    ServedFiles files;
    files.Put("/keldra/tallix.xml", "<TallixSet/>");
    files.SetRules(R"({"/keldra/tallix.xml": {"answer": "empty"},
                       "/keldra/dropped.xml": {"answer": "close"}})");
    const struct {
        const char* name;
        std::wstring url;
    } cases[] = {{"empty body", Url("/keldra/tallix.xml?a=1")},
                 {"connection dropped", Url("/keldra/dropped.xml")},
                 {"host down", ClosedOrigin() + L"/keldra/tallix.xml?a=1"},
                 {"not a URL", L"keldra/tallix.xml"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DWORD start = GetTickCount();
        EXPECT_FALSE(FetchManifest(c.url).has_value());
        EXPECT_LT(GetTickCount() - start, 5000u);
    }
}

TEST(ManifestFetch, ReadsOnceAndAtMostOneMebibyte) {
    REQUIRE_TEST_RUN();
    ServedFiles files;
    files.Put("/keldra/upgrade.xml", "<UpdateList>");
    files.SetRules(
        R"({"/keldra/upgrade.xml": {"answer": "oversize", "size": 1572864, "fill": "ab"}})");
    const auto fetched = FetchManifest(Url("/keldra/upgrade.xml"));
    ASSERT_TRUE(fetched.has_value());
    // A blocking read returns when its buffer is full: exactly the first mebibyte.
    EXPECT_EQ(fetched->count, kManifestReadLimit);
    const std::string received = Received(*fetched);
    EXPECT_EQ(received.rfind("<UpdateList>abab", 0), 0u);
}

// The URL carries the tick count of its making; fetched twice, the second reaches the server too.
TEST(ManifestFetch, SendsOneUncachedGetOfTheWholeUrl) {
    REQUIRE_TEST_RUN();
    ServedFiles files;
    files.Put("/keldra/history6.xml", "<x/>");
    const ServerLog log;
    const DWORD before = GetTickCount();
    const std::wstring url =
        BuildManifestUrl(ServerOrigin(), ManifestKind::kHistory, ManifestVariant::kVersion6);
    const DWORD after = GetTickCount();
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(FetchManifest(url).has_value());
    }
    const auto requests = log.NewRequests();
    ASSERT_EQ(requests.size(), 2u);
    for (const LoggedRequest& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(PathOnly(request.path), "/keldra/history6.xml");
        // The signed "%d" of a tick count from `before` to `after` (a wrap in between allowed).
        const DWORD tick = static_cast<DWORD>(std::atoll(QueryValue(request.path, "a").c_str()));
        EXPECT_LE(tick - before, after - before)
            << request.path << " not within " << before << ".." << after;
        EXPECT_NE(request.line.find("\"Pragma\": \"no-cache\""), std::string::npos) << request.line;
        // The session is opened without an agent string.
        EXPECT_EQ(request.line.find("User-Agent"), std::string::npos) << request.line;
    }
}

}  // namespace
