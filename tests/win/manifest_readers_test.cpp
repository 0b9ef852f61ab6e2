// The settings and upgrade manifest readers end to end: fetched from the loopback server, parsed
// by MSXML and walked by the portable readers.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "manifest/manifest_readers_win.h"
#include "test_support.h"

namespace {

const std::string kUtf8Mark = "\xEF\xBB\xBF";

// A classic upgrade manifest as the publisher writes it, pretty-printed.
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

const wchar_t kDownloadBase[] = L"http://down.orvane.test";

// Every field of an entry: "tag|name|version|url|file name|class|depend|flags", the flags being
// c (copy file), e (enforce), r (run direct), u (unattended) and the placement kind.
std::string Describe(const UpdateItem& i) {
    return WideToUtf8(i.tag + L"|" + i.name + L"|" + i.version + L"|" + i.downloadUrl + L"|" +
                      i.fileName + L"|" + i.className + L"|" + i.depend + L"|" +
                      (i.copyFile ? L"c" : L"") + (i.enforce ? L"e" : L"") +
                      (i.runDirect ? L"r" : L"") + (i.unattended ? L"u" : L"") +
                      std::to_wstring(i.placementKind));
}

class ManifestReadersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_LOOPBACK_SERVER();
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

    std::vector<std::string> Entries() const {
        std::vector<std::string> entries;
        for (const auto& item : list_) {
            entries.push_back(Describe(*item));
        }
        return entries;
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
    EXPECT_EQ(
        Entries(),
        (std::vector<std::string>{
            "keldra|Keldra 主程序|5.9.3.0|http://down.orvane.test/keldra/5.9.3.0/keldra.exe|"
            "keldra.exe|_Keldra6|,wardel,|c0",
            "#comment|||||||c0",
            "tallix|升级程序|3.2.0.18|http://down.orvane.testtallix|tallix.exe|||cr0",
            "keldrasetup|||HTTP://cdn.orvane.test/setup/KeldraSetup.exe|KeldraSetup.exe|||eu0",
        }));
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
        {"root in lower case", kUtf8Mark + "<updatelist><keldra/></updatelist>", "{}", false, true},
        {"wrong root", kUtf8Mark + "<TallixSet><keldra><version>1</version></keldra></TallixSet>",
         "{}", false, true},
        {"cut at the read limit", overLimit, "{}", false, true},
        {"empty body", kClassicManifest, R"({"/keldra/upgrade.xml": {"answer": "empty"}})", false,
         false},
        {"host down", kClassicManifest, "{}", true, false}};
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
        EXPECT_EQ(list_.size(), 1u);
        EXPECT_EQ(state_.mainSetupUrl + L"|" + state_.latestUpdaterVersion + L"|" +
                      state_.targetDependency + L"|" + std::to_wstring(state_.setupKind),
                  L"setup|1.0|,dep,|1");
        EXPECT_EQ(decisionListSizes_, std::vector<std::size_t>{1});  // the decision still runs
    }
}

TEST_F(ManifestReadersTest, TheMainProgramChoosesTheManifest) {
    files_.Put("/keldra/upgrade.xml", kUtf8Mark + "<UpdateList><classic/></UpdateList>");
    files_.Put("/keldra/upgrade6s.xml", kUtf8Mark + "<UpdateList><six/></UpdateList>");
    const TempFolder empty;
    const std::tuple<std::wstring, bool, const char*> cases[] = {
        {empty.Path(), false, "/keldra/upgrade6s.xml"},  // no keldra.exe
        {StubFolder("keldra-6.0.0.1"), false, "/keldra/upgrade6s.xml"},
        {StubFolder("keldra-5.9.2.1"), true, "/keldra/upgrade6s.xml"},  // the settings switch
        {StubFolder("keldra-6.0.0.0"), false, "/keldra/upgrade.xml"},
        {StubFolder("keldra-unversioned"), false, "/keldra/upgrade.xml"}};
    for (const auto& [moduleDir, version6Switch, path] : cases) {
        SCOPED_TRACE(WideToUtf8(moduleDir));
        list_.clear();
        const ServerLog log;
        const UpgradeManifestOutcome outcome = ReadUpgrade(moduleDir, version6Switch);
        const bool classic = std::string(path) == "/keldra/upgrade.xml";
        EXPECT_EQ(outcome.variant,
                  classic ? ManifestVariant::kClassic : ManifestVariant::kVersion6);
        EXPECT_EQ(Entries(),
                  std::vector<std::string>{classic ? "classic|||||||c0" : "six|||||||c0"});
        const auto requests = log.NewRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(PathOnly(requests[0].path), path);
    }
}

TEST(SettingsManifestReader, AppliesTheSettingsOfTheHostOrKeepsThemWhenItFails) {
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
    const std::tuple<const char*, std::wstring, bool, std::wstring> cases[] = {
        {"{}", ServerOrigin(), true, L"10.20.30.40|1|新版本发布|hijack.html,portal,"},
        {R"({"/keldra/tallix.xml": {"answer": "html404"}})", ServerOrigin(), true,
         L"203.0.113.80|0||"},
        {R"({"/keldra/tallix.xml": {"answer": "empty"}})", ServerOrigin(), false,
         L"203.0.113.80|0||"},
        {"{}", ClosedOrigin(), false, L"203.0.113.80|0||"}};
    for (const auto& [rules, origin, fetched, settingsAfter] : cases) {
        SCOPED_TRACE(rules);
        files.SetRules(rules);
        ManifestDocument document;
        UpdaterSettings settings;
        settings.downloadAddress = L"203.0.113.80";
        const ServerLog log;
        EXPECT_EQ(FetchSettingsManifest(document, origin, settings), fetched);
        std::wstring names;
        for (const std::wstring& name : settings.hijackNames) {
            names += name + L",";
        }
        EXPECT_EQ(settings.downloadAddress + L"|" + (settings.version6Switch ? L"1" : L"0") + L"|" +
                      settings.announcement + L"|" + names,
                  settingsAfter);
        if (origin == ServerOrigin()) {
            const auto requests = log.NewRequests();
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(PathOnly(requests[0].path), "/keldra/tallix.xml");
            EXPECT_FALSE(QueryValue(requests[0].path, "a").empty());
        }
    }
}

}  // namespace
