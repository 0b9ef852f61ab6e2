// Lint on a table of releases: realistic release mistakes and the other rules, each with the
// finding, severity and exit status it must give, and 15 valid variants the updater reads as meant,
// which must give no finding at all. The figures are printed: how many mistakes lint catches, how
// many valid variants it flags.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "tools/publish/lint.h"

namespace {

using namespace std::string_literals;

const std::string kMark = "\xEF\xBB\xBF";
using Files = std::map<std::string, std::string>;  // file in keldra/ -> bytes; "" removes it

// A clean release: both variants, each with its own element names, and their history.
Files Clean() {
    const std::string history = kMark +
                                "<UpdateList><keldra><h>|a|</h></keldra><pinnace><h>|b|</h>"
                                "</pinnace></UpdateList>";
    return {
        {"tallix.xml", kMark + "<TallixSet><downip>203.0.113.80</downip><upkeldra6>0</upkeldra6>"
                               "<hijactname>|hijacked|</hijactname></TallixSet>"},
        {"upgrade.xml",
         kMark +
             "<UpdateList>\n"
             "<tallix><name>Tallix</name><version>3.2.0.17</version>"
             "<installfile>/keldra/tallix.exe</installfile></tallix>\n"
             "<keldra><name>Keldra</name><version>5.9.3.0</version>"
             "<installfile>/keldra/keldra.exe</installfile><depend>pinnace</depend></keldra>\n"
             "<pinnace><name>Pinnace</name><version>2.1.0.1</version>"
             "<installfile>/keldra/pinnace.exe</installfile><enforce>false</enforce></pinnace>\n"
             "</UpdateList>"},
        {"upgrade6s.xml", kMark + "<UpdateList>"
                                  "<tallix><n>Tallix</n><v>3.2.0.17</v><f>/keldra6/tallix.exe</f>"
                                  "</tallix><keldra><n>Keldra</n><v>6.1.0.0</v>"
                                  "<f>/keldra6/keldra.exe</f><d>pinnace</d></keldra><pinnace>"
                                  "<n>Pinnace</n><v>2.1.0.1</v><f>/keldra6/pinnace.exe</f><p>0</p>"
                                  "</pinnace></UpdateList>"},
        {"history.xml", history},
        {"history6.xml", history},
    };
}

// The clean release with one text of one file replaced (the text must be there).
std::function<void(Files&)> Edit(const std::string& file, const std::string& from,
                                 const std::string& to) {
    return [=](Files& f) {
        const std::size_t at = f[file].find(from);
        ASSERT_NE(at, std::string::npos) << from;
        f[file].replace(at, from.size(), to);
    };
}
std::function<void(Files&)> Set(const std::string& file, const std::string& bytes) {
    return [=](Files& f) { f[file] = bytes; };
}

// An entry added to the classic manifest.
std::function<void(Files&)> Add(const std::string& entry) {
    return Edit("upgrade.xml", "</UpdateList>", entry + "</UpdateList>");
}

// UTF-16LE of ASCII text.
std::string Utf16(const std::string& ascii) {
    std::string out;
    for (const char c : ascii)
        out += {c, '\0'};
    return out;
}

std::vector<Finding> Lint(const std::function<void(Files&)>& change) {
    Files files = Clean();
    change(files);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lint-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "keldra");
    for (const auto& [name, bytes] : files) {
        if (!bytes.empty())
            std::ofstream(dir / "keldra" / name, std::ios::binary) << bytes;
    }
    LintOptions options;
    options.downloadOrigin = L"http://down.orvane.com";
    options.releaseVersion = L"3.2.0.17";
    const ReleaseManifests release = LoadRelease(ManifestSource(dir.string()));
    EXPECT_EQ(release.unreadable, "");
    std::vector<Finding> findings = LintRelease(release, options);
    std::filesystem::remove_all(dir);
    return findings;
}

struct Mistake {
    const char* what;
    std::function<void(Files&)> change;
    const char* code;
    Severity severity;
    const char* message;  // a part of the finding's message that must be there, or ""
};

// Whether lint made the mistake's finding, with its severity and its words.
bool Finds(const std::vector<Finding>& findings, const Mistake& m) {
    return std::any_of(findings.begin(), findings.end(), [&](const Finding& f) {
        return f.code == m.code && f.severity == m.severity &&
               f.message.find(m.message) != std::string::npos;
    });
}

const std::string kOver1MiB = kMark + "<UpdateList>" + std::string(0x100000, ' ') + "</UpdateList>";
const std::string kEntryPart = "<version>2.1.0.1</version>";

const Mistake kMistakes[] = {
    {"settings saved as UTF-8 without the mark",
     Set("tallix.xml", "<TallixSet><downip>203.0.113.80</downip></TallixSet>"), "no-bom",
     Severity::kError, ""},
    {"history saved as UTF-16 big-endian", Set("history.xml", "\xFE\xFF" + Utf16("<UpdateList/>")),
     "wrong-bom", Severity::kError, ""},
    {"notes typed in another code page", Edit("history.xml", "|b|", "|caf\xE9|"), "bad-utf8",
     Severity::kError, ""},
    {"an editor's NUL at the end", Edit("upgrade.xml", "</UpdateList>", "</UpdateList>\0"s), "nul",
     Severity::kError, ""},
    {"a manifest over 1 MiB", Set("upgrade.xml", kOver1MiB), "too-large", Severity::kError,
     "1048576"},
    {"an element left open", Edit("upgrade.xml", "</tallix>", ""), "xml", Severity::kError, ""},
    {"a bare & in a name", Edit("upgrade.xml", ">Keldra<", ">Keldra & Co<"), "xml",
     Severity::kError, ""},
    {"the settings root in lower case", Set("tallix.xml", kMark + "<tallixset/>"), "wrong-root",
     Severity::kError, ""},
    {"a misspelled setting", Edit("tallix.xml", "<downip>203.0.113.80</downip>", "<dwnip/>"),
     "ignored-element", Severity::kWarning, ""},
    {"upkeldra6 yes", Edit("tallix.xml", "<upkeldra6>0", "<upkeldra6>yes"), "flag-word",
     Severity::kError, ""},
    {"downip 203.0.113.800", Edit("tallix.xml", "113.80<", "113.800<"), "setting-range",
     Severity::kError, ""},
    {"downip left empty", Edit("tallix.xml", "203.0.113.80", ""), "setting-range", Severity::kError,
     ""},
    {"a version-6 name in the classic manifest",
     Edit("upgrade.xml", "<depend>", "<d>x</d><depend>"), "other-vocabulary", Severity::kError, ""},
    {"a classic name in the version-6 manifest",
     Edit("upgrade6s.xml", "<d>", "<depend>x</depend><d>"), "other-vocabulary", Severity::kError,
     ""},
    {"enforce 0", Edit("upgrade.xml", "<enforce>false", "<enforce>0"), "flag-word",
     Severity::kError, "reads as true"},
    {"unattended 1", Edit("upgrade.xml", "<enforce>false</enforce>", "<u>1</u>"), "flag-word",
     Severity::kError, "reads as false"},
    {"a leading zero", Edit("upgrade.xml", ">5.9.3.0<", ">5.9.03.0<"), "version-form",
     Severity::kError, "never equal"},
    {"an entry without version", Edit("upgrade.xml", kEntryPart, ""), "missing-field",
     Severity::kError, ""},
    {"an entry pasted twice",
     Add("<Pinnace><version>2.1.0.2</version><installfile>/keldra/pinnace.exe</installfile>"
         "</Pinnace>"),
     "duplicate-tag", Severity::kError, ""},
    {"a depend token with a typo", Edit("upgrade.xml", ">pinnace</depend>", ">pinace</depend>"),
     "depend-unknown", Severity::kError, ""},
    {"two packages of one file name",
     Add("<dayloom><version>3.0.0.1</version><installfile>/other/Keldra.exe</installfile>"
         "</dayloom>"),
     "file-collision", Severity::kError, ""},
    {"an install file without its leading /",
     Edit("upgrade.xml", ">/keldra/pinnace", ">keldra/pinnace"), "install-file", Severity::kError,
     ""},
    {"a package named like a device", Edit("upgrade.xml", "/keldra/pinnace.exe", "/keldra/con.exe"),
     "file-unsafe", Severity::kError, ""},
    {"SystemSet in lower case", Add("<systemset><UpgradeType>1</UpgradeType></systemset>"),
     "systemset-case", Severity::kError, ""},
    {"the updater's entry left at the last release", Edit("upgrade.xml", ">3.2.0.17<", ">3.2.0.9<"),
     "updater-older", Severity::kError, ""},
    {"upgrade6s.xml not published", Set("upgrade6s.xml", ""), "missing-file", Severity::kError,
     "without keldra.exe"},
    {"a new product without notes",
     Add("<dayloom><version>3.0.0.1</version><installfile>/keldra/dayloom.exe</installfile>"
         "</dayloom>"),
     "history-missing", Severity::kWarning, ""},
    // Rules beyond the mistakes above.
    {"", Edit("upgrade.xml", "<depend>", "<version>5.9.3.1</version><depend>"), "duplicate-field",
     Severity::kWarning, ""},
    {"", Add("<!-- old -->"), "stray-node", Severity::kWarning, ""},
    {"",
     [](Files& f) {
         Edit("upgrade.xml", "<tallix>", "<tallix2>")(f);
         Edit("upgrade.xml", "</tallix>", "</tallix2>")(f);
     },
     "updater-missing", Severity::kError, ""},
    {"", Set("tallix.xml", ""), "missing-file", Severity::kError, ""},
    {"", Set("history6.xml", ""), "missing-file", Severity::kWarning, "without notes"},
    {"", Edit("history.xml", "</UpdateList>", "<gone/></UpdateList>"), "history-orphan",
     Severity::kWarning, ""},
    {"", Edit("upgrade.xml", "/keldra/pinnace.exe", "http://cdn.example/pinnace.exe"),
     "foreign-host", Severity::kWarning, ""},
    {"", Edit("tallix.xml", "|hijacked|", "||"), "setting-range", Severity::kWarning, ""},
    {"", Add("<SystemSet><UpgradeType>yes</UpgradeType></SystemSet>"), "setting-range",
     Severity::kWarning, ""},
    {"", Edit("upgrade6s.xml", "<p>0</p>", "<p>2</p>"), "setting-range", Severity::kWarning, ""},
    {"", Edit("upgrade.xml", "<enforce>false", "<enforce>ture"), "flag-word", Severity::kWarning,
     "reads as true"},
    {"", Edit("upgrade.xml", "<depend>", "<classnme>x</classnme><depend>"), "ignored-element",
     Severity::kWarning, ""},
    // The updater reads nothing of a manifest with a document type declaration, entities or not.
    {"",
     Edit("upgrade.xml", "<UpdateList>", "<!DOCTYPE UpdateList [<!ENTITY k \"K\">]><UpdateList>"),
     "xml", Severity::kError, "document type declaration"},
    {"", Edit("upgrade.xml", "<UpdateList>", "<!DOCTYPE UpdateList><UpdateList>"), "xml",
     Severity::kError, "document type declaration"},
};

// Valid variants the updater reads as meant.
const std::pair<const char*, std::function<void(Files&)>> kValid[] = {
    {"settings in UTF-16LE with its mark",
     Set("tallix.xml", "\xFF\xFE" + Utf16("<TallixSet><downip>203.0.113.80</downip></TallixSet>"))},
    {"history in UTF-16LE without a mark",
     Set("history.xml", Utf16("<UpdateList><keldra/><pinnace/></UpdateList>"))},
    {"a host name in downip", Edit("tallix.xml", "203.0.113.80", "dl2.orvane.com")},
    {"enforce 1", Edit("upgrade.xml", "<enforce>false", "<enforce>1")},
    {"flag words in capitals", Edit("upgrade.xml", "<enforce>false", "<u>TRUE</u><enforce>False")},
    {"https on the download host",
     Edit("upgrade.xml", ">/keldra/pinnace.exe<", ">https://down.orvane.com/keldra/pinnace.exe<")},
    {"element names in capitals",
     Edit("upgrade.xml", "<version>5.9.3.0</version>", "<VERSION>5.9.3.0</VERSION>")},
    {"a CDATA name", Edit("upgrade.xml", ">Keldra<", "><![CDATA[Keldra & Co]]><")},
    {"an entity in a name", Edit("upgrade.xml", ">Keldra<", ">Keldra &amp; Co<")},
    {"a comment inside an entry", Edit("upgrade.xml", "<depend>", "<!-- was 5.9.2.1 --><depend>")},
    {"version 6 for every machine",
     [](Files& f) {
         Edit("tallix.xml", "<upkeldra6>0", "<upkeldra6>1")(f);
         f["upgrade.xml"] = f["history.xml"] = "";
     }},
    {"SystemSet with its settings",
     Add("<SystemSet><UpgradeType>0</UpgradeType><HistoryHelvor>x</HistoryHelvor></SystemSet>")},
    {"depend with commas at the ends and in capitals",
     Edit("upgrade.xml", ">pinnace</depend>", ">,PINNACE,</depend>")},
    {"indented with CRLF line ends",
     [](Files& f) {
         std::string& text = f["upgrade.xml"];
         for (std::size_t at = 0; (at = text.find('<', at + 1)) != std::string::npos; at += 4)
             text.insert(at, "\r\n  ");
     }},
    {"just under 1 MiB",
     Set("history.xml", kMark + "<UpdateList><keldra><h>" + std::string(0xFFF00, 'x') +
                            "</h></keldra><pinnace/></UpdateList>")},
};

TEST(LintTable, CatchesEveryMistakeAndFlagsNoValidVariant) {
    int caught = 0;
    for (const Mistake& m : kMistakes) {
        const std::vector<Finding> findings = Lint(m.change);
        const bool found = Finds(findings, m);
        caught += found;
        EXPECT_TRUE(found) << m.what << ": no " << m.code << " " << m.message
                           << " finding of that severity";
        // With --fail-on error only errors fail; any finding fails otherwise.
        EXPECT_EQ(LintExitStatus(findings, Severity::kError), m.severity == Severity::kError)
            << m.what;
        EXPECT_EQ(LintExitStatus(findings, Severity::kWarning), 1) << m.what;
    }
    int flagged = 0;
    for (const auto& [what, change] : kValid) {
        const std::vector<Finding> findings = Lint(change);
        flagged += !findings.empty();
        for (const Finding& f : findings)
            ADD_FAILURE() << what << ": " << f.code << " " << f.where << " " << f.message;
        EXPECT_EQ(LintExitStatus(findings, Severity::kWarning), 0) << what;
    }
    std::printf("lint caught %d of %zu mistakes and flagged %d of %zu valid variants\n", caught,
                std::size(kMistakes), flagged, std::size(kValid));
}

// The forms of a version and of a download address, at their edges.
TEST(LintTable, VersionAndAddressForms) {
    for (const wchar_t* good : {L"0.0.0.0", L"65535.0.0.0", L"5.9.3.0", L"10.20.30.40"})
        EXPECT_TRUE(IsFourPartVersion(good)) << Utf16ToUtf8(good);
    for (const wchar_t* bad : {L"65536.0.0.0", L"1.2.3.4.5", L"1.2.3", L"01.2.3.4", L"1.2.3.",
                               L"1..3.4", L"1.2.3.4 ", L"", L"1.2.3.-4"})
        EXPECT_FALSE(IsFourPartVersion(bad)) << Utf16ToUtf8(bad);
    for (const wchar_t* good : {L"203.0.113.80", L"255.255.255.255", L"dl2.orvane.com",
                                L"203.0.113.80:8080", L"localhost"})
        EXPECT_TRUE(IsDownloadAddress(good)) << Utf16ToUtf8(good);
    for (const wchar_t* bad : {L"203.0.113.800", L"203.0.113.80.1", L"203.0.113", L"", L"a b",
                               L"-x.com", L"203.0.113.80:0", L"203.0.113.80:99999", L"x..com"})
        EXPECT_FALSE(IsDownloadAddress(bad)) << Utf16ToUtf8(bad);
}

}  // namespace
