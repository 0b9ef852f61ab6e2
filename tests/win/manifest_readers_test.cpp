// The settings and upgrade manifest readers end to end: fetched from the loopback server, parsed
// by MSXML and walked by the portable readers.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "loopback_server_support.h"
#include "manifest/manifest_readers_win.h"
#include "test_support.h"

namespace {

const std::string kUtf8Mark = "\xEF\xBB\xBF";

std::string Utf16LeWithMark(const std::string& utf8) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t unit : Utf8ToWide(utf8)) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    return bytes;
}

// A classic upgrade manifest as the publisher writes it.
const char kClassicManifest[] = R"(<?xml version="1.0" encoding="utf-8"?>
<UpdateList>
  <SystemSet><UpgradeType>0</UpgradeType><HistoryHelvor>h</HistoryHelvor></SystemSet>
  <keldra>
    <name>Keldra 主程序</name>
    <version>5.9.3.0</version>
    <installfile>/keldra/5.9.3.0/keldra.exe</installfile>
    <classname>_Keldra6</classname>
    <depend>,wardel,</depend>
  </keldra>
  <!-- the updater itself -->
  <Tallix>
    <Name>升级程序</Name>
    <VERSION>3.2.0.18</VERSION>
    <InstallFile>tallix</InstallFile>
    <enforce>False</enforce>
    <rundirect>0</rundirect>
  </Tallix>
  <keldrasetup>
    <installfile>HTTP://cdn.orvane.test/setup/KeldraSetup.exe</installfile>
    <enforce>0</enforce>
    <copyfile>FALSE</copyfile>
    <u>TRUE</u>
    <p>1</p>
  </keldrasetup>
</UpdateList>
)";

// The same suite in the version-6 vocabulary.
const char kVersion6Manifest[] = R"(<UpdateList>
  <keldra><n>Keldra 6</n><v>6.2.0.0</v><f>/keldra6/keldra.exe</f><cn>_Keldra6</cn><ef>true</ef></keldra>
  <dayloomplugin><n>插件</n><v>1.0.0.3</v><f>/plugins/weather.dll</f><p>1</p><u>true</u></dayloomplugin>
  <tallix><name>ignored long name</name><v>3.2.0.18</v></tallix>
</UpdateList>
)";

const wchar_t kDownloadBase[] = L"http://down.orvane.test";

struct ItemView {
    std::wstring tag, name, version, url, fileName, className, depend;
    bool enforce, runDirect, copyFile, unattended;
    int placement;
};

ItemView View(const UpdateItem& item) {
    return {item.tag,       item.name,      item.version,    item.downloadUrl,
            item.fileName,  item.className, item.depend,     item.enforce,
            item.runDirect, item.copyFile,  item.unattended, item.placementKind};
}

void ExpectItem(const UpdateItem& item, const ItemView& expected) {
    const ItemView actual = View(item);
    SCOPED_TRACE(WideToUtf8(expected.tag));
    EXPECT_EQ(actual.tag, expected.tag);
    EXPECT_EQ(actual.name, expected.name);
    EXPECT_EQ(actual.version, expected.version);
    EXPECT_EQ(actual.url, expected.url);
    EXPECT_EQ(actual.fileName, expected.fileName);
    EXPECT_EQ(actual.className, expected.className);
    EXPECT_EQ(actual.depend, expected.depend);
    EXPECT_EQ(actual.enforce, expected.enforce);
    EXPECT_EQ(actual.runDirect, expected.runDirect);
    EXPECT_EQ(actual.copyFile, expected.copyFile);
    EXPECT_EQ(actual.unattended, expected.unattended);
    EXPECT_EQ(actual.placement, expected.placement);
}

class ManifestReadersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (ServerOrigin().empty()) {
            GTEST_SKIP() << "no loopback server (run through ctest)";
        }
        state_.downloadBase = kDownloadBase;
    }

    // Reads the upgrade manifest with the main program of `moduleDir`; counts the decision runs.
    UpgradeManifestOutcome ReadUpgrade(const std::wstring& moduleDir, bool version6Switch = false,
                                       const std::wstring& origin = ServerOrigin()) {
        UpgradeManifestRequest request;
        request.hostOrigin = origin;
        request.moduleDir = moduleDir;
        request.version6Switch = version6Switch;
        request.targetProduct = L"keldra";
        request.runUpdateDecision = [this] { decisionListSizes_.push_back(list_.size()); };
        return FetchUpgradeManifest(document_, request, state_, list_);
    }

    std::vector<std::wstring> Tags() const {
        std::vector<std::wstring> tags;
        for (const auto& item : list_) {
            tags.push_back(item->tag);
        }
        return tags;
    }

    ServedFiles files_;
    ManifestDocument document_;
    UpgradeReaderState state_;
    UpdateList list_;
    std::vector<std::size_t> decisionListSizes_;  // list size seen by each decision run
    // keldra.exe 5.9.2.1: the classic manifest unless the settings switch says otherwise.
    const std::wstring classicSuite_ = StubFolder("keldra-5.9.2.1");
};

TEST_F(ManifestReadersTest, ClassicUpgradeManifestBecomesTheUpdateList) {
    files_.Put("/keldra/upgrade.xml", kUtf8Mark + kClassicManifest);
    const ServerLog log;
    const UpgradeManifestOutcome outcome = ReadUpgrade(classicSuite_);
    EXPECT_TRUE(outcome.fetched);
    EXPECT_EQ(outcome.variant, ManifestVariant::kClassic);

    ASSERT_EQ(list_.size(), 4u);
    ExpectItem(*list_[0], {L"keldra", L"Keldra 主程序", L"5.9.3.0",
                           L"http://down.orvane.test/keldra/5.9.3.0/keldra.exe", L"keldra.exe",
                           L"_Keldra6", L",wardel,", false, false, true, false, 0});
    ExpectItem(*list_[1],
               {L"#comment", L"", L"", L"", L"", L"", L"", false, false, true, false, 0});
    ExpectItem(*list_[2], {L"tallix", L"升级程序", L"3.2.0.18",
                           L"http://down.orvane.test"
                           L"tallix",
                           L"tallix.exe", L"", L"", false, true, true, false, 0});
    ExpectItem(*list_[3],
               {L"keldrasetup", L"", L"", L"HTTP://cdn.orvane.test/setup/KeldraSetup.exe",
                L"KeldraSetup.exe", L"", L"", true, false, false, true, 0});
    EXPECT_EQ(state_.setupKind, 0);
    EXPECT_EQ(state_.latestUpdaterVersion, L"3.2.0.18");
    EXPECT_EQ(state_.mainSetupUrl, L"HTTP://cdn.orvane.test/setup/KeldraSetup.exe");
    EXPECT_EQ(state_.targetDependency, L",wardel,");
    // The decision ran once, after the list was filled.
    EXPECT_EQ(decisionListSizes_, std::vector<std::size_t>{4});

    const auto requests = log.NewRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(PathOnly(requests[0].path), "/keldra/upgrade.xml");
    EXPECT_FALSE(QueryValue(requests[0].path, "a").empty());
}

TEST_F(ManifestReadersTest, Version6ManifestIsReadWithTheShortNames) {
    files_.Put("/keldra/upgrade6s.xml", kUtf8Mark + kVersion6Manifest);
    const TempFolder noMainProgram;
    const UpgradeManifestOutcome outcome = ReadUpgrade(noMainProgram.Path());
    EXPECT_TRUE(outcome.fetched);
    EXPECT_EQ(outcome.variant, ManifestVariant::kVersion6);
    ASSERT_EQ(list_.size(), 3u);
    ExpectItem(*list_[0],
               {L"keldra", L"Keldra 6", L"6.2.0.0", L"http://down.orvane.test/keldra6/keldra.exe",
                L"keldra.exe", L"_Keldra6", L"", true, false, true, false, 0});
    ExpectItem(*list_[1], {L"dayloomplugin", L"插件", L"1.0.0.3",
                           L"http://down.orvane.test/plugins/weather.dll", L"weather.dll", L"", L"",
                           false, false, true, true, 1});
    ExpectItem(*list_[2],
               {L"tallix", L"", L"3.2.0.18", L"", L"", L"", L"", false, false, true, false, 0});
}

TEST_F(ManifestReadersTest, EncodingsAsServed) {
    const std::string manifest =
        "<UpdateList><dayloom><name>日历 Dayloom</name></dayloom></UpdateList>";
    const struct {
        const char* name;
        std::string body;
        std::size_t entries;
    } cases[] = {
        {"UTF-8 with mark", kUtf8Mark + manifest, 1},
        {"UTF-8 without mark", manifest, 0},
        {"UTF-16LE with mark", Utf16LeWithMark(manifest), 1},
        {"UTF-16LE without mark", Utf16LeWithMark(manifest).substr(2), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        list_.clear();
        files_.Put("/keldra/upgrade.xml", c.body);
        EXPECT_TRUE(ReadUpgrade(classicSuite_).fetched);
        ASSERT_EQ(list_.size(), c.entries);
        if (c.entries > 0) {
            EXPECT_EQ(list_[0]->name, L"日历 Dayloom");
        }
    }
}

TEST_F(ManifestReadersTest, ABadAnswerContributesNothing) {
    // Entries longer than the one read: the manifest is cut inside its markup.
    const std::string overLimit = kUtf8Mark + "<UpdateList><keldra><name>" +
                                  std::string(1200000, 'x') + "</name></keldra></UpdateList>";
    const struct {
        const char* name;
        std::string body;
        const char* rules;
        bool hostDown;
        bool fetched;
    } cases[] = {
        {"404 page", kClassicManifest, R"({"/keldra/upgrade.xml": {"answer": "html404"}})", false,
         true},
        {"malformed", kUtf8Mark + "<UpdateList><keldra><version>1</keldra></UpdateList>", "{}",
         false, true},
        {"wrong root", kUtf8Mark + "<TallixSet><keldra><version>1</version></keldra></TallixSet>",
         "{}", false, true},
        {"cut at the read limit", overLimit, "{}", false, true},
        {"empty body", kClassicManifest, R"({"/keldra/upgrade.xml": {"answer": "empty"}})", false,
         false},
        {"connection dropped", kClassicManifest, R"({"/keldra/upgrade.xml": {"answer": "close"}})",
         false, false},
        {"host down", kClassicManifest, "{}", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // What an earlier read left must stay as it was.
        list_.clear();
        list_.push_back(std::make_unique<UpdateItem>());
        list_.back()->tag = L"earlier";
        state_ = UpgradeReaderState{kDownloadBase, L"setup", L"1.0", L",dep,", 1};
        decisionListSizes_.clear();
        files_.Put("/keldra/upgrade.xml", c.body);
        files_.SetRules(c.rules);

        const DWORD start = GetTickCount();
        const UpgradeManifestOutcome outcome =
            ReadUpgrade(classicSuite_, false, c.hostDown ? ClosedOrigin() : ServerOrigin());
        EXPECT_LT(GetTickCount() - start, 5000u);
        EXPECT_EQ(outcome.fetched, c.fetched);
        EXPECT_EQ(Tags(), std::vector<std::wstring>{L"earlier"});
        EXPECT_EQ(state_.mainSetupUrl, L"setup");
        EXPECT_EQ(state_.latestUpdaterVersion, L"1.0");
        EXPECT_EQ(state_.targetDependency, L",dep,");
        EXPECT_EQ(state_.setupKind, 1);
        EXPECT_EQ(decisionListSizes_, std::vector<std::size_t>{1});  // the decision still runs
    }
}

TEST_F(ManifestReadersTest, AnOversizedBodyIsReadAsFarAsTheOneRead) {
    files_.Put("/keldra/upgrade.xml", kUtf8Mark + kClassicManifest);
    files_.SetRules(R"({"/keldra/upgrade.xml": {"answer": "oversize", "size": 1300000}})");
    EXPECT_TRUE(ReadUpgrade(classicSuite_).fetched);
    // Blanks after the root: the manifest itself lies well inside the first mebibyte.
    EXPECT_EQ(list_.size(), 4u);
}

TEST_F(ManifestReadersTest, TheMainProgramChoosesTheManifest) {
    files_.Put("/keldra/upgrade.xml", kUtf8Mark + "<UpdateList><classic/></UpdateList>");
    files_.Put("/keldra/upgrade6s.xml", kUtf8Mark + "<UpdateList><six/></UpdateList>");
    const TempFolder empty;
    const struct {
        const char* name;
        std::wstring moduleDir;
        bool version6Switch;
        const char* path;
    } cases[] = {
        {"keldra.exe absent", empty.Path(), false, "/keldra/upgrade6s.xml"},
        {"keldra.exe 6.0.0.1", StubFolder("keldra-6.0.0.1"), false, "/keldra/upgrade6s.xml"},
        {"keldra.exe 6.10.0.0", StubFolder("keldra-6.10.0.0"), false, "/keldra/upgrade6s.xml"},
        {"settings switch", StubFolder("keldra-5.9.2.1"), true, "/keldra/upgrade6s.xml"},
        {"keldra.exe 6.0.0.0", StubFolder("keldra-6.0.0.0"), false, "/keldra/upgrade.xml"},
        {"keldra.exe 5.9.2.1", StubFolder("keldra-5.9.2.1"), false, "/keldra/upgrade.xml"},
        {"keldra.exe without version", StubFolder("keldra-unversioned"), false,
         "/keldra/upgrade.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        list_.clear();
        const ServerLog log;
        const UpgradeManifestOutcome outcome = ReadUpgrade(c.moduleDir, c.version6Switch);
        const bool classic = std::string(c.path) == "/keldra/upgrade.xml";
        EXPECT_EQ(outcome.variant,
                  classic ? ManifestVariant::kClassic : ManifestVariant::kVersion6);
        EXPECT_EQ(Tags(), std::vector<std::wstring>{classic ? L"classic" : L"six"});
        const auto requests = log.NewRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(PathOnly(requests[0].path), c.path);
    }
}

TEST(SettingsManifestReader, AppliesTheSettingsOfTheHost) {
    REQUIRE_LOOPBACK_SERVER();
    ServedFiles files;
    files.Put("/keldra/tallix.xml", kUtf8Mark + R"(<?xml version="1.0" encoding="utf-8"?>
<TallixSet>
  <EUPP><mp>1</mp><se>2</se></EUPP>
  <DownIP>10.20.30.40</DownIP>
  <upkeldra6>1</upkeldra6>
  <history>新版本发布</history>
  <hijactname>|hijack.html|portal|</hijactname>
</TallixSet>)");
    ManifestDocument document;
    UpdaterSettings settings;
    settings.downloadAddress = L"203.0.113.80";
    const ServerLog log;
    EXPECT_TRUE(FetchSettingsManifest(document, ServerOrigin(), settings));
    EXPECT_EQ(settings.downloadAddress, L"10.20.30.40");
    EXPECT_TRUE(settings.version6Switch);
    EXPECT_EQ(settings.announcement, L"新版本发布");
    EXPECT_EQ(settings.hijackNames, (std::vector<std::wstring>{L"hijack.html", L"portal"}));
    const auto requests = log.NewRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(PathOnly(requests[0].path), "/keldra/tallix.xml");
    EXPECT_FALSE(QueryValue(requests[0].path, "a").empty());
}

TEST(SettingsManifestReader, KeepsEverySettingWhenTheManifestFails) {
    REQUIRE_LOOPBACK_SERVER();
    ServedFiles files;
    files.Put("/keldra/tallix.xml", kUtf8Mark + "<TallixSet><upkeldra6>1</upkeldra6></TallixSet>");
    const struct {
        const char* name;
        const char* rules;
        std::wstring origin;
        bool fetched;
    } cases[] = {
        {"404 page", R"({"/keldra/tallix.xml": {"answer": "html404"}})", ServerOrigin(), true},
        {"empty body", R"({"/keldra/tallix.xml": {"answer": "empty"}})", ServerOrigin(), false},
        {"host down", "{}", ClosedOrigin(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        files.SetRules(c.rules);
        ManifestDocument document;
        UpdaterSettings settings;
        settings.downloadAddress = L"203.0.113.80";
        EXPECT_EQ(FetchSettingsManifest(document, c.origin, settings), c.fetched);
        EXPECT_EQ(settings.downloadAddress, L"203.0.113.80");
        EXPECT_FALSE(settings.version6Switch);
        EXPECT_TRUE(settings.announcement.empty());
        EXPECT_TRUE(settings.hijackNames.empty());
    }
}

}  // namespace
