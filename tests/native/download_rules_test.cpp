#include <gtest/gtest.h>

#include "download/download_rules.h"
#include "download/job_table.h"

namespace {

// ---- request ----

TEST(RequestHeaders, OrderAndLines) {
    struct Case {
        RequestHeaderInput in;
        const wchar_t* expected;
    } cases[] = {
        {{L"", true, 0, L"http://h/a/b.exe?skq=5", L"", L""},
         L"Range: bytes=0-\r\nAccept: */*\r\nConnection: Keep-Alive\r\nReferer: http://h/a\r\n"},
        {{L"X-A: 1\r\n", false, 1000, L"http://h/b.exe", L"", L"k=v"},
         L"X-A: 1\r\nRange: bytes=1000-\r\nAccept: */*\r\nConnection: Keep-Alive\r\n"
         L"Referer: http://h\r\nCookie: k=v\r\n"},
        {{L"", true, 7, L"http://h/b.exe", L"http://r/", L""},
         L"Range: bytes=0-\r\nAccept: */*\r\nConnection: Keep-Alive\r\nReferer: http://r/\r\n"},
        {{L"", false, 0, L"no-slash", L"", L""},
         L"Range: bytes=0-\r\nAccept: */*\r\nConnection: Keep-Alive\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RequestHeaders(c.in), c.expected) << c.in.url;
    }
}

TEST(LocationFromRawHeaders, LowerCasedAndTrimmed) {
    struct Case {
        const wchar_t* raw;
        const wchar_t* location;
    } cases[] = {
        {L"HTTP/1.1 302 Found\r\nLocation:  http://Mirror/X.exe \t\r\nContent-Length: 0\r\n\r\n",
         L"http://mirror/x.exe"},
        {L"HTTP/1.1 301 Moved\r\nlocation:http://a/b", L"http://a/b"},  // no CRLF after it
        {L"Location: http://first/at/zero\r\n", L""},                   // index 0 is not taken
        {L"HTTP/1.1 302 Found\r\nServer: x\r\n\r\n", L""},
        {L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LocationFromRawHeaders(c.raw), c.location) << c.raw;
    }
}

// ---- status ----

TEST(DownloadPercent, CapsAndZeroTotal) {
    struct Case {
        std::uint64_t done, total;
        std::int32_t percent;
    } cases[] = {{50, 200, 25},
                 {0, 200, 0},
                 {300, 200, 100},
                 {7, 0, 100},
                 {0, 0, 0},
                 {199, 200, 99},
                 {1ull << 40, 1ull << 41, 50}};
    for (const Case& c : cases) {
        EXPECT_EQ(DownloadPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
    }
}

TEST(EndState, CompletedOnlyWhenSomethingWholeArrived) {
    struct Case {
        std::uint64_t done, total;
        DownloadState state;
    } cases[] = {{10, 10, kDownloadCompleted}, {10, 0, kDownloadCompleted},
                 {0, 0, kDownloadFailed},      {0, 10, kDownloadFailed},
                 {9, 10, kDownloadFailed},     {11, 10, kDownloadFailed}};
    for (const Case& c : cases) {
        EXPECT_EQ(EndStateFor(c.done, c.total), c.state) << c.done << "/" << c.total;
    }
}

// ---- jobs ----

TEST(AttemptUrl, TickDownloadIpAndOldSystems) {
    struct Case {
        const wchar_t* url;
        std::int32_t attempt;
        int osCode;
        const wchar_t* expected;
    } cases[] = {
        {L"http://down.h/k/a.exe", 0, 31, L"http://down.h/k/a.exe?skq=42"},
        {L"http://down.h/k/down.h.exe", 1, 31, L"http://1.2.3.4/k/1.2.3.4.exe?skq=42"},
        {L"http://down.h/a.exe", 2, 31, L"http://down.h/a.exe?skq=42"},
        {L"https://down.h/a.exe", 0, 13, L"http://down.h/a.exe?skq=42"},
        {L"https://down.h/a.exe", 0, 19, L"https://down.h/a.exe?skq=42"},
        {L"https://down.h/a.exe", 1, 0, L"http://1.2.3.4/a.exe?skq=42"},
        {L"", 0, 31, L"?skq=42"},
    };
    for (const Case& c : cases) {
        AttemptUrlInput in{c.url, 42, c.attempt, L"down.h", L"1.2.3.4", c.osCode};
        EXPECT_EQ(AttemptUrl(in), c.expected) << c.url << " attempt " << c.attempt;
    }
    // The tick count is written as a signed 32-bit number.
    EXPECT_EQ(AttemptUrl({L"u", 0xFFFFFFFFu, 0, L"", L"", 31}), L"u?skq=-1");
}

TEST(MainSetup, UrlAndFileName) {
    EXPECT_EQ(MainSetupDownloadUrl(L"HTTP://x/s.exe", L"http://base"), L"HTTP://x/s.exe");
    EXPECT_EQ(MainSetupDownloadUrl(L"/k/s.exe", L"http://base"), L"http://base/k/s.exe");
    EXPECT_EQ(MainSetupFileName(L"59", L"/k/s.exe"), L"keldrasetup_59.exe");
    EXPECT_EQ(MainSetupFileName(L"", L"http://x/k/s.exe"), L"s.exe");
}

TEST(FindRedirect, FirstRecordOfTheNameAndMarkers) {
    std::vector<RedirectRecord> log(3);
    log[0].name = L"other.exe";
    log[0].location = L"http://evil/other.exe";
    log[1].name = L"A.EXE";
    log[1].location = L"http://Mirror.example/Hijack/a.exe";
    log[2].name = L"a.exe";
    log[2].location = L"http://second/a.exe";
    struct Case {
        const wchar_t* name;
        std::vector<std::wstring> markers;
        bool found, marked;
        const wchar_t* location;
    } cases[] = {
        {L"a.exe", {}, true, false, L"http://mirror.example/hijack/a.exe"},
        {L"a.exe", {L"HIJACK"}, true, true, L"http://mirror.example/hijack/a.exe"},
        {L"a.exe", {L"nothing", L"mirror"}, true, true, L"http://mirror.example/hijack/a.exe"},
        {L"a.exe", {L"http"}, true, false, L"http://mirror.example/hijack/a.exe"},  // index 0
        {L"a.exe", {L""}, true, false, L"http://mirror.example/hijack/a.exe"},
        {L"b.exe", {L"hijack"}, false, false, L""},
    };
    for (const Case& c : cases) {
        const RedirectFinding f = FindRedirectIn(log, c.name, c.markers);
        EXPECT_EQ(f.found, c.found) << c.name;
        EXPECT_EQ(f.marked, c.marked) << c.name;
        EXPECT_EQ(f.location, c.location) << c.name;
    }
}

TEST(TranslationKey, FourLowerHexDigitsEach) {
    EXPECT_EQ(TranslationKey(0x0804, 0x04B0), L"080404b0");
    EXPECT_EQ(TranslationKey(0x0409, 0x04E4), L"040904e4");
    EXPECT_EQ(TranslationKey(0, 0xFFFF), L"0000ffff");
}

TEST(JobTable, Differences) {
    struct Case {
        DownloadJobId id;
        unsigned step, done;
        std::uint64_t sizeLimit;
        VersionCheck version;
        IdleUse idle;
        bool preCheck, pauses, finishes;
    } cases[] = {
        {DownloadJobId::Normal, 1090, 1091, 1000, VersionCheck::ItemVersion, IdleUse::WaitForWindow,
         true, true, false},
        {DownloadJobId::Enforced, 1093, 1092, 1000, VersionCheck::ItemVersion,
         IdleUse::WaitForWindow, true, false, false},
        {DownloadJobId::Package, 1094, 1095, 1000, VersionCheck::ItemVersion, IdleUse::None, true,
         false, false},
        {DownloadJobId::MainSetup, 1090, 1091, 10000, VersionCheck::None, IdleUse::ClearOnly, false,
         false, true},
        {DownloadJobId::SelfUpdate, 1090, 1091, 10000, VersionCheck::LatestUpdaterVersion,
         IdleUse::ClearOnly, false, true, true},
    };
    for (const Case& c : cases) {
        const DownloadJobSpec& spec = JobSpec(c.id);
        const int at = static_cast<int>(c.id);
        EXPECT_EQ(spec.id, c.id) << at;
        EXPECT_EQ(spec.stepMessage, c.step) << at;
        EXPECT_EQ(spec.doneMessage, c.done) << at;
        EXPECT_EQ(spec.sizeLimit, c.sizeLimit) << at;
        EXPECT_EQ(spec.versionCheck, c.version) << at;
        EXPECT_EQ(spec.idle, c.idle) << at;
        EXPECT_EQ(spec.preCheck, c.preCheck) << at;
        EXPECT_EQ(spec.pausesBeforeRetry, c.pauses) << at;
        EXPECT_EQ(spec.setsJobFinished, c.finishes) << at;
    }
    EXPECT_EQ(JobSpec(DownloadJobId::Enforced).state, &SessionState::enforcedJobState);
    EXPECT_EQ(JobSpec(DownloadJobId::Package).state, &SessionState::packageJobState);
    EXPECT_TRUE(JobSpec(DownloadJobId::Normal).invalidatesBeforeDone);
    EXPECT_FALSE(JobSpec(DownloadJobId::Package).ensuresFolders);
}

TEST(JobTable, ItemsEachJobTakes) {
    UpdateItem ordinary;
    ordinary.tag = L"dayloom";
    ordinary.updateNeeded = true;
    UpdateItem enforced = ordinary;
    enforced.enforce = true;
    UpdateItem current = ordinary;
    current.updateNeeded = false;
    UpdateItem package;
    package.tag = L"KeldraSetup";
    UpdateItem silentPackage;
    silentPackage.tag = L"keldrasetup_silent";
    UpdateItem self;
    self.tag = L"tallix";
    using J = DownloadJobId;
    EXPECT_TRUE(JobTakesItem(J::Normal, ordinary, false));
    EXPECT_FALSE(JobTakesItem(J::Normal, enforced, false));
    EXPECT_FALSE(JobTakesItem(J::Normal, current, false));
    EXPECT_TRUE(JobTakesItem(J::Enforced, enforced, false));
    EXPECT_FALSE(JobTakesItem(J::Enforced, ordinary, false));
    EXPECT_TRUE(JobTakesItem(J::Package, package, true));
    EXPECT_FALSE(JobTakesItem(J::Package, package, false));
    EXPECT_TRUE(JobTakesItem(J::Package, silentPackage, false));
    EXPECT_TRUE(JobTakesItem(J::SelfUpdate, self, false));
    EXPECT_FALSE(JobTakesItem(J::SelfUpdate, ordinary, false));
}

TEST(JobTable, Destinations) {
    DestinationInput in{L"C:\\suite\\", L"C:\\u\\keldra\\upgrade", L"C:\\tmp\\", L"a.exe", 0};
    EXPECT_EQ(DestinationPath(Destination::ProgramFolder, in), L"C:\\suite\\\\upgrade\\a.exe");
    EXPECT_EQ(DestinationPath(Destination::ProgramOrUserFolder, in),
              L"C:\\suite\\\\upgrade\\a.exe");
    EXPECT_EQ(DestinationPath(Destination::TemporaryFolder, in), L"C:\\tmp\\\\a.exe");
    in.placementKind = 1;
    EXPECT_EQ(DestinationPath(Destination::ProgramOrUserFolder, in),
              L"C:\\u\\keldra\\upgrade\\a.exe");
    EXPECT_EQ(DestinationPath(Destination::ProgramFolder, in), L"C:\\suite\\\\upgrade\\a.exe");
}

}  // namespace
