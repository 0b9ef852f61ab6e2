#include <gtest/gtest.h>

#include <tuple>

#include "download/download_records.h"
#include "download/download_rules.h"
#include "download/job_table.h"
#include "tests/native/decision_machine_fake.h"

namespace {

TEST(Headers, RequestInOrderAndTheLocationOfTheAnswer) {
    const std::tuple<RequestHeaderInput, const wchar_t*> cases[] = {
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
    for (const auto& [in, expected] : cases) {
        EXPECT_EQ(RequestHeaders(in), expected) << in.url;
    }
    // The Location header's value, lower-cased and trimmed.
    EXPECT_EQ(RedirectLocation(L"  http://Mirror/X.exe \t"), L"http://mirror/x.exe");
    EXPECT_EQ(RedirectLocation(L" \r\n"), L"");
}

TEST(DownloadStatus, PercentCapsAndCompletedOnlyWhenSomethingWholeArrived) {
    const std::tuple<std::uint64_t, std::uint64_t, std::int32_t, DownloadState> cases[] = {
        {10, 10, 100, kDownloadCompleted},
        {10, 0, 100, kDownloadCompleted},
        {0, 0, 0, kDownloadFailed},
        {0, 10, 0, kDownloadFailed},
        {9, 10, 90, kDownloadFailed},
        {11, 10, 100, kDownloadFailed},
        {50, 200, 25, kDownloadFailed},
        {199, 200, 99, kDownloadFailed},
        {1ull << 40, 1ull << 41, 50, kDownloadFailed}};
    for (const auto& [done, total, percent, state] : cases) {
        EXPECT_EQ(DownloadPercent(done, total), percent) << done << "/" << total;
        EXPECT_EQ(EndStateFor(done, total, false), state) << done << "/" << total;
        // A read that failed, or a block or a close of the file that failed, is never the end
        // of the body: not even when the count came out whole or no length was announced.
        EXPECT_EQ(EndStateFor(done, total, true), kDownloadFailed) << done << "/" << total;
    }
}

TEST(DownloadUrls, TickDownloadIpAndOldSystemsAndTheMainSetup) {
    const std::tuple<const wchar_t*, std::int32_t, int, const wchar_t*> cases[] = {
        {L"http://down.h/k/a.exe", 0, 31, L"http://down.h/k/a.exe?skq=42"},
        {L"http://down.h/k/down.h.exe", 1, 31, L"http://1.2.3.4/k/1.2.3.4.exe?skq=42"},
        {L"http://down.h/a.exe", 2, 31, L"http://down.h/a.exe?skq=42"},
        {L"https://down.h/a.exe", 0, 13, L"http://down.h/a.exe?skq=42"},
        {L"https://down.h/a.exe", 0, 19, L"https://down.h/a.exe?skq=42"},
        {L"https://down.h/a.exe", 1, 0, L"http://1.2.3.4/a.exe?skq=42"},
        {L"", 0, 31, L"?skq=42"},
    };
    for (const auto& [url, attempt, osCode, expected] : cases) {
        AttemptUrlInput in{url, 42, attempt, L"down.h", L"1.2.3.4", osCode};
        EXPECT_EQ(AttemptUrl(in), expected) << url << " attempt " << attempt;
    }
    // The tick count is written as a signed 32-bit number.
    EXPECT_EQ(AttemptUrl({L"u", 0xFFFFFFFFu, 0, L"", L"", 31}), L"u?skq=-1");
    // The main program's setup.
    EXPECT_EQ(MainSetupDownloadUrl(L"HTTP://x/s.exe", L"http://base"), L"HTTP://x/s.exe");
    EXPECT_EQ(MainSetupDownloadUrl(L"/k/s.exe", L"http://base"), L"http://base/k/s.exe");
}

TEST(FindRedirect, FirstRecordOfTheNameFromWhereTheAttemptBeganAndMarkers) {
    const std::vector<RedirectRecord> log = {
        {.name = L"other.exe", .location = L"http://evil/other.exe", .path = L""},
        {.name = L"A.EXE", .location = L"http://Mirror.example/Hijack/a.exe", .path = L""},
        {.name = L"a.exe", .location = L"http://second/a.exe", .path = L""}};
    const std::tuple<const wchar_t*, std::vector<std::wstring>, std::size_t, bool, bool,
                     const wchar_t*>
        cases[] = {
            {L"a.exe", {}, 0, true, false, L"http://mirror.example/hijack/a.exe"},
            {L"a.exe", {L"HIJACK"}, 0, true, true, L"http://mirror.example/hijack/a.exe"},
            {L"a.exe",
             {L"nothing", L"mirror"},
             0,
             true,
             true,
             L"http://mirror.example/hijack/a.exe"},
            {L"a.exe", {L"http"}, 0, true, false, L"http://mirror.example/hijack/a.exe"},  // at 0
            {L"a.exe", {L""}, 0, true, false, L"http://mirror.example/hijack/a.exe"},
            {L"b.exe", {L"hijack"}, 0, false, false, L""},
            // Only the records of the latest attempt: the earlier hijack no longer counts.
            {L"a.exe", {L"hijack"}, 2, true, false, L"http://second/a.exe"},
            {L"other.exe", {L"evil"}, 1, false, false, L""},
            {L"a.exe", {L"hijack"}, 3, false, false, L""},
        };
    for (const auto& [name, markers, from, found, marked, location] : cases) {
        const RedirectFinding f = FindRedirectIn(log, name, markers, from);
        EXPECT_EQ(f.found, found) << name << " from " << from;
        EXPECT_EQ(f.marked, marked) << name << " from " << from;
        EXPECT_EQ(f.location, location) << name << " from " << from;
    }
}

// The shared records: the log is found by name ignoring case and marked once, its busy flag
// drops after each append; an anomaly is a duplicate only when signer and file name both match.
TEST(DownloadRecords, RedirectLogLookupMarkAndAnomalyDuplicates) {
    RedirectLog log;
    log.Append({.name = L"Pinnace.EXE", .location = L"http://a/", .path = L""});
    log.Append({.name = L"pinnace.exe", .location = L"http://b/", .path = L""});
    EXPECT_FALSE(log.Busy());
    RedirectRecord found;
    ASSERT_TRUE(log.FindByName(L"PINNACE.exe", found));
    EXPECT_EQ(found.location, L"http://a/");
    EXPECT_FALSE(log.FindByName(L"keldra.exe", found));
    log.MarkReported(L"pinnace.EXE");
    const auto records = log.Snapshot();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(records[0].reported);
    EXPECT_FALSE(records[1].reported);

    AnomalyList anomalies;
    const std::tuple<const wchar_t*, const wchar_t*, bool> appends[] = {
        {L"a.exe", L"signer x", true},  {L"A.EXE", L"SIGNER X", false},
        {L"a.exe", L"signer y", true},  {L"b.exe", L"signer x", true},
        {L"B.EXE", L"Signer X", false},
    };
    for (const auto& [fileName, signer, appended] : appends) {
        DownloadAnomaly anomaly;
        anomaly.fileName = fileName;
        anomaly.signer = signer;
        EXPECT_EQ(anomalies.AppendUnlessKnown(anomaly), appended) << fileName << " " << signer;
    }
    EXPECT_EQ(anomalies.Snapshot().size(), 3u);
    EXPECT_TRUE(anomalies.HasFileName(L"B.exe"));
    EXPECT_FALSE(anomalies.HasFileName(L"c.exe"));
}

TEST(TranslationKey, FourLowerHexDigitsEach) {
    EXPECT_EQ(TranslationKey(0x0804, 0x04B0), L"080404b0");
    EXPECT_EQ(TranslationKey(0x0409, 0x04E4), L"040904e4");
    EXPECT_EQ(TranslationKey(0, 0xFFFF), L"0000ffff");
}

std::string Describe(const DownloadJobSpec& s) {
    return std::to_string(s.stepMessage) + "/" + std::to_string(s.doneMessage) + " " +
           std::to_string(s.sizeLimit) + " v" + std::to_string(static_cast<int>(s.versionCheck)) +
           " i" + std::to_string(static_cast<int>(s.idle)) + (s.perItem ? " e" : "") +
           (s.ensuresFolders ? " d" : "") + (s.preCheck ? " p" : "") +
           (s.pausesBeforeRetry ? " r" : "") + (s.invalidatesBeforeDone ? " x" : "") +
           (s.setsJobFinished ? " f" : "");
}

TEST(JobTable, DifferencesItemsEachJobTakesAndWhereTheirFilesGo) {
    using J = DownloadJobId;
    const std::pair<DownloadJobId, const char*> cases[] = {
        {J::Normal, "1090/1091 1000 v1 i0 e d p r x"},
        {J::Enforced, "1093/1092 1000 v1 i0 e d p"},
        {J::Package, "1094/1095 1000 v1 i2 e p"},
        {J::MainSetup, "1090/1091 10000 v0 i1 d f"},
        {J::SelfUpdate, "1090/1091 10000 v2 i1 d r f"}};
    for (const auto& [id, described] : cases) {
        EXPECT_EQ(JobSpec(id).id, id);
        EXPECT_EQ(Describe(JobSpec(id)), described);
    }
    EXPECT_EQ(JobSpec(J::Enforced).state, &SessionState::enforcedJobState);
    EXPECT_EQ(JobSpec(J::Package).state, &SessionState::packageJobState);
    // The items each job takes.
    const std::tuple<DownloadJobId, const wchar_t*, bool, bool> items[] = {
        {J::Normal, L"dayloom*", false, true},
        {J::Normal, L"dayloom!*", false, false},
        {J::Normal, L"dayloom", false, false},
        {J::Enforced, L"dayloom!*", false, true},
        {J::Enforced, L"dayloom*", false, false},
        {J::Enforced, L"dayloom!", false, false},
        {J::Package, L"KeldraSetup", true, true},
        {J::Package, L"KeldraSetup", false, false},
        {J::Package, L"keldrasetup_silent", false, true},
        {J::SelfUpdate, L"tallix", false, true},
        {J::SelfUpdate, L"dayloom*", false, false}};
    for (const auto& [job, entry, installPackage, taken] : items) {
        EXPECT_EQ(JobTakesItem(job, *decision_fake::Entries(entry)[0], installPackage), taken)
            << static_cast<int>(job) << ::testing::PrintToString(std::wstring(entry));
    }
    // Where the files go: the user's folder only for placement kind 1.
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
