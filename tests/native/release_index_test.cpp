// The signed release index of the build with release keys: its one written form, the rules that
// accept or refuse it, and the questions the manifest readers and the download jobs ask of it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "trust/release_gate.h"
#include "trust/release_index.h"
#include "trust/release_rules.h"

namespace {

const std::string kDigestA(64, 'a');
const std::string kDigestB = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

const std::string kHead =
    "tallix-release-index 1\n"
    "release 12\n"
    "expires 2025-07-01T00:00:00Z\n";
const std::string kBody = kHead + "manifest /keldra/tallix.xml 212 " + kDigestA + "\n" +
                          "manifest /keldra/upgrade.xml 1523 " + kDigestB + "\n" +
                          "package /keldra/pinnace.exe 184320 " + kDigestB + "\n";
const std::string kSignatures =
    "signature 00112233aabbccdd 0a0b0c\n"
    "signature 8899aabbccddeeff ff\n";

std::optional<ReleaseIndex> Parse(const std::string& text) {
    return ParseReleaseIndex(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(ReleaseIndex, ReadsTheFormatAndWritesItBackByteForByte) {
    const std::string text = kBody + kSignatures;
    const std::optional<ReleaseIndex> index = Parse(text);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->release, 12u);
    EXPECT_EQ(index->expires, 1751328000);
    ASSERT_EQ(index->manifests.size(), 2u);
    EXPECT_EQ(index->manifests[1].path, "/keldra/upgrade.xml");
    EXPECT_EQ(index->manifests[1].size, 1523u);
    EXPECT_EQ(LowerHex(index->manifests[1].digest.data(), 32), kDigestB);
    ASSERT_EQ(index->packages.size(), 1u);
    EXPECT_EQ(index->packages[0].size, 184320u);
    ASSERT_EQ(index->signatures.size(), 2u);
    EXPECT_EQ(index->signatures[0].keyId, "00112233aabbccdd");
    EXPECT_EQ(index->signatures[0].value, (std::vector<std::uint8_t>{0x0a, 0x0b, 0x0c}));
    EXPECT_EQ(index->signedLength, kBody.size());

    std::string written = FormatReleaseIndexBody(*index);
    for (const IndexSignature& signature : index->signatures) {
        written += FormatSignatureLine(signature);
    }
    EXPECT_EQ(written, text);

    // The smallest index: the head alone, unsigned; one path may be a manifest and a package.
    const std::optional<ReleaseIndex> head = Parse(kHead);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->signedLength, kHead.size());
    EXPECT_TRUE(Parse(kHead + "manifest /a 0 " + kDigestA + "\npackage /a 0 " + kDigestA + "\n"));
}

TEST(ReleaseIndex, EveryOtherFormIsRefused) {
    const std::string manifest = "manifest /keldra/upgrade.xml 1 " + kDigestA + "\n";
    const std::string package = "package /keldra/a.exe 1 " + kDigestA + "\n";
    const std::string signature = "signature 00112233aabbccdd 0a\n";
    const std::tuple<const char*, std::string> cases[] = {
        {"nothing", ""},
        {"another format", "tallix-release-index 2\nrelease 1\nexpires 2025-07-01T00:00:00Z\n"},
        {"no release line", "tallix-release-index 1\nexpires 2025-07-01T00:00:00Z\n"},
        {"no expiry line", "tallix-release-index 1\nrelease 1\n"},
        {"the last line without its line feed", kHead.substr(0, kHead.size() - 1)},
        {"CRLF line ends",
         "tallix-release-index 1\r\nrelease 12\r\nexpires 2025-07-01T00:00:00Z\r\n"},
        {"a leading zero", "tallix-release-index 1\nrelease 012\nexpires 2025-07-01T00:00:00Z\n"},
        {"a sign", "tallix-release-index 1\nrelease +12\nexpires 2025-07-01T00:00:00Z\n"},
        {"20 digits",
         "tallix-release-index 1\nrelease 12345678901234567890\n"
         "expires 2025-07-01T00:00:00Z\n"},
        {"two spaces", "tallix-release-index 1\nrelease  12\nexpires 2025-07-01T00:00:00Z\n"},
        {"a trailing space", "tallix-release-index 1\nrelease 12 \nexpires 2025-07-01T00:00:00Z\n"},
        {"a tab", "tallix-release-index 1\nrelease\t12\nexpires 2025-07-01T00:00:00Z\n"},
        {"no leap day", "tallix-release-index 1\nrelease 1\nexpires 2025-02-29T00:00:00Z\n"},
        {"before 1970", "tallix-release-index 1\nrelease 1\nexpires 1969-12-31T23:59:59Z\n"},
        {"a local time", "tallix-release-index 1\nrelease 1\nexpires 2025-07-01T00:00:00\n"},
        {"an empty line", kHead + "\n"},
        {"an unknown line", kHead + "note hello\n"},
        {"a NUL", kHead + manifest.substr(0, 9) + std::string(1, '\0') + manifest.substr(10)},
        {"a byte above ASCII", kHead + "manifest /\xc3\xa9.xml 1 " + kDigestA + "\n"},
        {"a relative path", kHead + "manifest keldra/upgrade.xml 1 " + kDigestA + "\n"},
        {"an upper-case digest", kHead + "manifest /a 1 " + std::string(64, 'A') + "\n"},
        {"a short digest", kHead + "manifest /a 1 " + kDigestA.substr(1) + "\n"},
        {"a digest and more", kHead + "manifest /a 1 " + kDigestA + " x\n"},
        {"a path twice", kHead + manifest + manifest},
        {"a package before a manifest", kHead + package + manifest},
        {"a manifest after a signature", kHead + signature + manifest},
        {"a package after a signature", kHead + manifest + signature + package},
        {"a short key id", kHead + "signature 00112233aabbccd 0a\n"},
        {"an odd signature", kHead + "signature 00112233aabbccdd 0a0\n"},
        {"an upper-case signature", kHead + "signature 00112233aabbccdd 0A\n"},
        {"a signature longer than 1024 bytes",
         kHead + "signature 00112233aabbccdd " + std::string(2050, 'a') + "\n"},
    };
    for (const auto& [what, text] : cases) {
        EXPECT_FALSE(Parse(text)) << what;
    }
    EXPECT_FALSE(ParseReleaseIndex(nullptr, 0));
}

TEST(ReleaseIndex, TimesOfTheCalendarAndPathsOfUrls) {
    const std::tuple<const char*, std::int64_t> times[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"2000-02-29T12:34:56Z", 951827696},
        {"2024-12-31T23:59:59Z", 1735689599},
        {"2100-03-01T00:00:00Z", 4107542400},
        {"9999-12-31T23:59:59Z", 253402300799},
    };
    for (const auto& [text, seconds] : times) {
        EXPECT_EQ(ParseIndexTime(text), seconds) << text;
        EXPECT_EQ(FormatIndexTime(seconds), text);
    }
    for (const char* bad : {"2100-02-29T00:00:00Z", "2025-04-31T00:00:00Z", "2025-00-01T00:00:00Z",
                            "2025-01-01T24:00:00Z", "2025-01-01T00:60:00Z", "2025-01-01t00:00:00z",
                            "2025-1-01T00:00:00Z", "12025-01-01T00:00:00Z"}) {
        EXPECT_FALSE(ParseIndexTime(bad)) << bad;
    }

    const std::tuple<const wchar_t*, const char*> urls[] = {
        {L"http://localhost:20001/keldra/pinnace.exe", "/keldra/pinnace.exe"},
        {L"HTTP://Down.Host/Keldra/A.exe?skq=5", "/Keldra/A.exe"},
        {L"https://h/a.exe#part", "/a.exe"},
        {L"/keldra/upgrade.xml?a=-12", "/keldra/upgrade.xml"},
        {L"http://host", ""},
        {L"keldra/a.exe", ""},
        {L"http://h/a b.exe", ""},
        {L"http://h/\u00e9.exe", ""},
        {L"", ""},
    };
    // The updater looks entries up by URL without building the path; it finds what the
    // publisher's tool names by the path.
    const std::vector<IndexedFile> files = {{"/keldra/pinnace.exe", 1, {}},
                                            {"/Keldra/A.exe", 1, {}},
                                            {"/a.exe", 1, {}},
                                            {"/keldra/upgrade.xml", 1, {}}};
    for (const auto& [url, path] : urls) {
        EXPECT_EQ(IndexPathOfUrl(url), path);
        if (*path != '\0') {
            EXPECT_EQ(UrlPath(url), std::wstring(path, path + std::strlen(path)));
        }
        const IndexedFile* found = FindIndexedUrl(files, url);
        EXPECT_EQ(found, FindIndexedFile(files, path)) << path;
        EXPECT_EQ(found != nullptr, *path != '\0') << path;
    }
    // The plain path, whatever its characters; none for a host alone.
    EXPECT_EQ(UrlPath(L"http://h/a b.exe?x"), L"/a b.exe");
    EXPECT_EQ(UrlPath(L"http://host"), L"");
    EXPECT_EQ(FindIndexedUrl(files, L"http://h/keldra/pinnace.exe2"), nullptr);
    EXPECT_EQ(FindIndexedUrl(files, L"http://h/keldra/pinnac"), nullptr);

    Sha256Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(0xf0 + i);
    }
    EXPECT_EQ(KeyIdOf(digest), "f0f1f2f3f4f5f6f7");
}

// Keys A, B and C are trusted; a signature is good when it holds the key's number and the body
// was handed over whole (`bodySize` bytes; the variable must outlive the trust).
IndexTrust Trust(unsigned threshold, const std::size_t& bodySize) {
    IndexTrust trust;
    trust.keyIds = {"000000000000000a", "000000000000000b", "000000000000000c"};
    trust.threshold = threshold;
    trust.check = [](const void* context, std::size_t key, const unsigned char*, std::size_t size,
                     const std::vector<std::uint8_t>& signature) {
        return size == *static_cast<const std::size_t*>(context) &&
               signature == std::vector<std::uint8_t>{0x5a, static_cast<std::uint8_t>(key)};
    };
    trust.context = &bodySize;
    trust.now = 1751328000;  // the expiry of kHead
    trust.lastRelease = 12;
    return trust;
}

std::string Good(char key) {
    return std::string("signature 000000000000000") + key + " 5a0" +
           static_cast<char>('0' + (key - 'a')) + "\n";
}

IndexAssessment Assess(const std::string& signatures, const IndexTrust& trust) {
    const std::string text = kBody + signatures;
    return AssessReleaseIndex(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                              trust);
}

const std::size_t body = kBody.size();
const std::size_t longer = kBody.size() + 1;

TEST(ReleaseRules, ThresholdOfDistinctTrustedKeys) {
    const std::string unknown = "signature 00000000000000ff 5a00\n";
    const std::string badB = "signature 000000000000000b 5a00\n";  // A's signature under B's name
    const std::tuple<const char*, unsigned, std::string, IndexVerdict, unsigned> cases[] = {
        {"two of three", 2, Good('a') + Good('c'), IndexVerdict::kAccepted, 2},
        {"all three", 2, Good('c') + Good('b') + Good('a'), IndexVerdict::kAccepted, 3},
        {"one of one", 1, Good('b'), IndexVerdict::kAccepted, 1},
        {"one of two", 2, Good('a'), IndexVerdict::kBelowThreshold, 1},
        {"one key twice", 2, Good('a') + Good('a'), IndexVerdict::kBelowThreshold, 1},
        {"an unknown key does not count", 2, Good('a') + unknown, IndexVerdict::kBelowThreshold, 1},
        {"unknown keys only", 1, unknown + unknown, IndexVerdict::kBelowThreshold, 0},
        {"a bad signature does not count", 2, Good('a') + badB, IndexVerdict::kBelowThreshold, 1},
        {"a bad one, then a good one of the same key", 2, badB + Good('b') + Good('a'),
         IndexVerdict::kAccepted, 2},
        {"unsigned", 1, "", IndexVerdict::kBelowThreshold, 0},
        {"a threshold of none takes nothing", 0, Good('a'), IndexVerdict::kBelowThreshold, 1},
    };
    for (const auto& [what, threshold, signatures, verdict, good] : cases) {
        const IndexAssessment a = Assess(signatures, Trust(threshold, body));
        EXPECT_EQ(a.verdict, verdict) << what;
        EXPECT_EQ(a.goodKeys, good) << what;
    }
    const IndexAssessment named = Assess(Good('a') + unknown + badB, Trust(2, body));
    EXPECT_EQ(named.signatures,
              (std::vector<SignatureVerdict>{SignatureVerdict::kGood, SignatureVerdict::kUnknownKey,
                                             SignatureVerdict::kBad}));
    EXPECT_EQ(
        Assess(Good('a') + Good('a'), Trust(2, body)).signatures,
        (std::vector<SignatureVerdict>{SignatureVerdict::kGood, SignatureVerdict::kRepeated}));
    // The signatures are checked over the body only, not over the signature lines.
    EXPECT_EQ(Assess(Good('a'), Trust(1, longer)).verdict, IndexVerdict::kBelowThreshold);
    const std::string broken = kBody + "signature\n";
    EXPECT_EQ(AssessReleaseIndex(reinterpret_cast<const unsigned char*>(broken.data()),
                                 broken.size(), Trust(1, body))
                  .verdict,
              IndexVerdict::kMalformed);
}

TEST(ReleaseRules, ExpiryWithItsGraceAndAReleaseNumberThatNeverGoesBack) {
    const std::int64_t expires = 1751328000;
    const std::tuple<std::int64_t, std::uint64_t, IndexVerdict> cases[] = {
        {expires - 86400 * 30, 12, IndexVerdict::kAccepted},
        {expires + kExpiryGraceSeconds, 12, IndexVerdict::kAccepted},  // a clock a day ahead
        {expires + kExpiryGraceSeconds + 1, 12, IndexVerdict::kExpired},
        {expires, 0, IndexVerdict::kAccepted},   // nothing accepted before
        {expires, 11, IndexVerdict::kAccepted},  // a newer release
        {expires, 13, IndexVerdict::kRolledBack},
        {expires + 86400 * 365, 13, IndexVerdict::kExpired},  // the expiry is named first
    };
    for (const auto& [now, last, verdict] : cases) {
        IndexTrust trust = Trust(1, body);
        trust.now = now;
        trust.lastRelease = last;
        const IndexAssessment a = Assess(Good('a'), trust);
        EXPECT_EQ(a.verdict, verdict) << now << " " << last;
        EXPECT_EQ(a.expired, now > expires + kExpiryGraceSeconds);
        EXPECT_EQ(a.rolledBack, last > 12);
    }
    // An unsigned index is refused for that, whatever its dates.
    IndexTrust late = Trust(1, body);
    late.now = expires * 2;
    EXPECT_EQ(Assess("", late).verdict, IndexVerdict::kBelowThreshold);

    // The kept number: 8 bytes, least significant first; anything else is no number.
    EXPECT_EQ(EncodeStoredRelease(0x0102030405060708ull),
              (std::vector<std::uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(DecodeStoredRelease(EncodeStoredRelease(12)), 12u);
    EXPECT_EQ(DecodeStoredRelease({}), 0u);
    EXPECT_EQ(DecodeStoredRelease({1, 0, 0, 0}), 0u);
    EXPECT_EQ(DecodeStoredRelease(std::vector<std::uint8_t>(9, 1)), 0u);
}

class FakeGate : public ReleaseGate {
  public:
    bool ManifestMatches(const std::wstring&, const unsigned char*, std::size_t) const override {
        return false;
    }
    const IndexedFile* Package(const std::wstring& url) const override {
        return IndexPathOfUrl(url) == entry.path ? &entry : nullptr;
    }
    bool FileMatches(const std::wstring& path, const IndexedFile& e) const override {
        return &e == &entry && path == L"C:\\fits.exe";
    }
    IndexedFile entry{"/keldra/a.exe", 10, {}};
};

TEST(ReleaseGate, WithoutAGateEverythingGoesWithOneOnlyWhatTheIndexNames) {
    const IndexedFile before;
    const IndexedFile* entry = &before;
    EXPECT_TRUE(IndexedPackage(L"http://h/keldra/b.exe", entry));
    EXPECT_EQ(entry, nullptr);
    EXPECT_TRUE(PackageFileFits(L"C:\\other.exe", nullptr));

    const FakeGate gate;
    SetActiveReleaseGate(&gate);
    EXPECT_TRUE(IndexedPackage(L"http://h/keldra/a.exe?skq=1", entry));
    EXPECT_EQ(entry, &gate.entry);
    EXPECT_TRUE(PackageFileFits(L"C:\\fits.exe", entry));
    EXPECT_FALSE(PackageFileFits(L"C:\\other.exe", entry));
    EXPECT_FALSE(IndexedPackage(L"http://h/keldra/b.exe", entry));
    EXPECT_EQ(entry, nullptr);
    SetActiveReleaseGate(nullptr);

    const IndexedFile file{"/a", 3, {1, 2}};
    EXPECT_TRUE(MatchesIndexedFile(file, 3, {1, 2}));
    EXPECT_FALSE(MatchesIndexedFile(file, 4, {1, 2}));
    EXPECT_FALSE(MatchesIndexedFile(file, 3, {1, 3}));
}

}  // namespace
