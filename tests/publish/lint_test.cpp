// Each manifest mistake the publisher's lint knows, found in an otherwise clean release.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "tools/publish/lint.h"

namespace {

const std::string kMark = "\xEF\xBB\xBF";
const char kSettings[] =
    "<TallixSet><downip>203.0.113.80</downip><upkeldra6>0</upkeldra6>"
    "<hijactname>|hijacked|</hijactname></TallixSet>";
const char kEntries[] =
    "<tallix><name>u</name><version>3.2.0.17</version><installfile>/keldra/tallix.exe</installfile>"
    "</tallix><keldra><name>K</name><version>5.9.3.0</version>"
    "<installfile>/keldra/keldra.exe</installfile><depend>pinnace</depend></keldra>"
    "<pinnace><version>2.1.0.1</version><installfile>/keldra/pinnace.exe</installfile></pinnace>";
const char kHistory[] =
    "<UpdateList><keldra><h>|a|</h></keldra><pinnace><h>|b|</h></pinnace>"
    "</UpdateList>";

// Writes a release folder and lints it; returns code -> severity of the findings.
std::multimap<std::string, Severity> Lint(const std::map<std::string, std::string>& files) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lint-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "keldra");
    for (const auto& [name, bytes] : files) {
        std::ofstream(dir / "keldra" / name, std::ios::binary) << bytes;
    }
    LintOptions options;
    options.downloadOrigin = L"http://down.orvane.com";
    options.releaseVersion = L"3.2.0.17";
    std::multimap<std::string, Severity> found;
    for (const Finding& f : LintRelease(LoadRelease(ManifestSource(dir.string())), options)) {
        found.emplace(f.code, f.severity);
    }
    std::filesystem::remove_all(dir);
    return found;
}

std::map<std::string, std::string> Release(const std::string& entries = kEntries,
                                           const std::string& settings = kSettings) {
    return {{"tallix.xml", kMark + settings},
            {"upgrade.xml", kMark + "<UpdateList>" + entries + "</UpdateList>"},
            {"history.xml", kMark + kHistory}};
}

TEST(Lint, CleanReleaseHasNoFindings) {
    EXPECT_TRUE(Lint(Release()).empty());
}

TEST(Lint, EachMistakeIsFoundWithItsSeverity) {
    const std::string e = kEntries;
    struct Case {
        const char* code;
        Severity severity;
        std::map<std::string, std::string> files;
    };
    auto with = [](std::map<std::string, std::string> files, const std::string& name,
                   const std::string& bytes) {
        files[name] = bytes;
        return files;
    };
    const Case cases[] = {
        {"no-bom", Severity::kError, with(Release(), "tallix.xml", kSettings)},
        {"wrong-bom", Severity::kError,
         with(Release(), "tallix.xml", "\xFE\xFF" + std::string(kSettings))},
        {"bad-utf8", Severity::kError,
         with(Release(), "history.xml", kMark + "<UpdateList>\xC3(</UpdateList>")},
        {"xml", Severity::kError,
         with(Release(), "upgrade.xml", kMark + "<UpdateList><a></UpdateList>")},
        {"xml", Severity::kError,
         with(Release(), "upgrade.xml", kMark + "<UpdateList>AT&T</UpdateList>")},
        {"wrong-root", Severity::kError, with(Release(), "tallix.xml", kMark + "<tallixset/>")},
        {"ignored-element", Severity::kWarning,
         Release(e, "<TallixSet><dwnip>1.2.3.4</dwnip></TallixSet>")},
        {"flag-word", Severity::kError,
         Release(e, "<TallixSet><upkeldra6>true</upkeldra6></TallixSet>")},
        {"setting-range", Severity::kError, Release(e, "<TallixSet><downip></downip></TallixSet>")},
        {"setting-range", Severity::kWarning,
         Release(e, "<TallixSet><hijactname>||</hijactname></TallixSet>")},
        {"ignored-element", Severity::kWarning,
         Release(e + "<x><version>1.0.0.0</version><installfile>/x.exe</installfile><verison>1</"
                     "verison></x>")},
        {"other-vocabulary", Severity::kError,
         Release(e + "<x><version>1.0.0.0</version><installfile>/x.exe</installfile><v>2</v></x>")},
        {"flag-word", Severity::kError,
         Release(e + "<x><version>1.0.0.0</version><installfile>/x.exe</installfile><enforce>0</"
                     "enforce></x>")},
        {"version-form", Severity::kError,
         Release(e + "<x><version>5.9.2</version><installfile>/x.exe</installfile></x>")},
        {"missing-field", Severity::kError,
         Release(e + "<x><installfile>/x.exe</installfile></x>")},
        {"duplicate-field", Severity::kWarning,
         Release(e + "<x><version>1.0.0.0</version><version>1.0.0.1</version><installfile>/x.exe</"
                     "installfile></x>")},
        {"duplicate-tag", Severity::kError,
         Release(e + "<Pinnace><version>2.1.0.1</version><installfile>/keldra/pinnace.exe</"
                     "installfile></Pinnace>")},
        {"depend-unknown", Severity::kError,
         Release(e + "<x><version>1.0.0.0</version><installfile>/x.exe</"
                     "installfile><depend>pinnace,nosuch</depend></x>")},
        {"file-collision", Severity::kError,
         Release(e +
                 "<x><version>1.0.0.0</version><installfile>/other/Keldra.exe</installfile></x>")},
        {"file-unsafe", Severity::kError,
         Release(e +
                 "<x><version>1.0.0.0</version><installfile>/keldra/con.exe</installfile></x>")},
        {"foreign-host", Severity::kWarning,
         Release(e + "<x><version>1.0.0.0</version><installfile>http://cdn.example/x.exe</"
                     "installfile></x>")},
        {"stray-node", Severity::kWarning, Release(e + "<!-- old -->")},
        {"systemset-case", Severity::kError,
         Release(e + "<systemset><UpgradeType>1</UpgradeType></systemset>")},
        {"setting-range", Severity::kWarning,
         Release(e + "<SystemSet><UpgradeType>yes</UpgradeType></SystemSet>")},
        {"updater-missing", Severity::kError,
         Release("<keldra><version>5.9.3.0</version><installfile>/k.exe</installfile></keldra>")},
        {"updater-older", Severity::kError,
         Release("<tallix><version>3.2.0.9</version><installfile>/t.exe</installfile></tallix>")},
        {"history-orphan", Severity::kWarning,
         with(Release(), "history.xml",
              kMark + "<UpdateList><keldra/><pinnace/><gone/></UpdateList>")},
        {"history-missing", Severity::kWarning,
         with(Release(), "history.xml", kMark + "<UpdateList><keldra/></UpdateList>")},
        {"missing-file",
         Severity::kError,
         {{"upgrade.xml", kMark + "<UpdateList>" + e + "</UpdateList>"}}},
    };
    for (const Case& c : cases) {
        const auto found = Lint(c.files);
        const auto it = found.find(c.code);
        ASSERT_NE(it, found.end()) << c.code << " not found";
        bool severity = false;
        for (auto [a, b] = found.equal_range(c.code); a != b; ++a)
            severity |= a->second == c.severity;
        EXPECT_TRUE(severity) << c.code << " has another severity";
    }
}

}  // namespace
