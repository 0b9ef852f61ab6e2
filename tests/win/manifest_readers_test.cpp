// The settings and upgrade manifest readers end to end: fetched from the loopback server, parsed
// by MSXML, walked by the portable readers, and the update decision that then runs against this
// machine (executables with chosen version resources and the suite's registry values).
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "manifest/machine_win.h"
#include "manifest/manifest_readers_win.h"
#include "manifest/update_decision.h"
#include "test_support.h"
#include "tests/native/decision_machine_fake.h"

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
    <depend>,wardel,</depend>
  </keldra>
  <!-- the updater itself -->
  <Tallix>
    <Name>升级程序</Name>
    <VERSION>3.2.0.18</VERSION>
    <InstallFile>tallix</InstallFile>
  </Tallix>
  <keldrasetup>
    <installfile>HTTP://cdn.orvane.test/setup/KeldraSetup.exe</installfile>
  </keldrasetup>
</UpdateList>
)";

const wchar_t kDownloadBase[] = L"http://down.orvane.test";

class ManifestReadersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TEST_RUN();
        state_.downloadBase = kDownloadBase;
    }

    // Reads the upgrade manifest for the updater in `moduleDir`. The decision runs after the list
    // is filled; on this machine, with `decide`.
    UpgradeManifestOutcome ReadUpgrade(const std::wstring& moduleDir, bool version6Switch = false,
                                       const DecisionOptions* decide = nullptr) {
        UpgradeManifestRequest request;
        request.hostOrigin = ServerOrigin();
        request.moduleDir = moduleDir;
        request.version6Switch = version6Switch;
        request.targetProduct = decide != nullptr ? decide->targetProduct : L"keldra";
        request.runUpdateDecision = [this, decide, moduleDir] {
            decisionListSizes_.push_back(list_.size());
            if (decide != nullptr) {
                DecideUpdates(list_, *decide, WindowsDecisionMachine(moduleDir), results_);
            }
        };
        return FetchUpgradeManifest(document_, request, state_, list_);
    }

    // The fields of each entry that come from the text of its elements (their rules, and the
    // flags: update_list_test.cpp): "tag|name|version|url|file name|depend".
    std::vector<std::string> Entries() const {
        std::vector<std::string> entries;
        for (const auto& i : list_) {
            entries.push_back(WideToUtf8(i->tag + L"|" + i->name + L"|" + i->version + L"|" +
                                         i->downloadUrl + L"|" + i->fileName + L"|" + i->depend));
        }
        return entries;
    }

    ServedFiles files_;
    ManifestDocument document_;
    UpgradeReaderState state_;
    UpdateList list_;
    DecisionResults results_;
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
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{
                  "keldra|Keldra 主程序|5.9.3.0|http://down.orvane.test/keldra/5.9.3.0/keldra.exe|"
                  "keldra.exe|,wardel,",
                  "#comment|||||",
                  "tallix|升级程序|3.2.0.18|http://down.orvane.testtallix|tallix.exe|",
                  "keldrasetup|||HTTP://cdn.orvane.test/setup/KeldraSetup.exe|KeldraSetup.exe|",
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

// Answers that MSXML does not parse, or whose root is not the one read, and no body at all (the
// fetch's other failures and its read limit: manifest_fetch_test.cpp; a 404 page: the settings).
TEST_F(ManifestReadersTest, ABadAnswerContributesNothing) {
    const struct {
        const char* name;
        std::string body;
        const char* rules;
        bool fetched;
    } cases[] = {
        {"malformed", kUtf8Mark + "<UpdateList><keldra><version>1</keldra></UpdateList>", "{}",
         true},
        {"root in lower case", kUtf8Mark + "<updatelist><keldra/></updatelist>", "{}", true},
        {"wrong root", kUtf8Mark + "<TallixSet><keldra><version>1</version></keldra></TallixSet>",
         "{}", true},
        {"empty body", kClassicManifest, R"({"/keldra/upgrade.xml": {"answer": "empty"}})", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // What an earlier read left must stay as it was.
        list_.clear();
        list_.push_back(std::make_unique<UpdateItem>());
        list_.back()->tag = L"earlier";
        state_ = UpgradeReaderState{kDownloadBase, L"setup", L"1.0", L",dep,", 1, L"setup.exe"};
        decisionListSizes_.clear();
        files_.Put("/keldra/upgrade.xml", c.body);
        files_.SetRules(c.rules);

        EXPECT_EQ(ReadUpgrade(classicSuite_).fetched, c.fetched);
        EXPECT_EQ(list_.size(), 1u);
        EXPECT_EQ(state_.mainSetupUrl + L"|" + state_.latestUpdaterVersion + L"|" +
                      state_.targetDependency + L"|" + std::to_wstring(state_.setupKind) + L"|" +
                      state_.mainSetupFileName,
                  L"setup|1.0|,dep,|1|setup.exe");
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
        {StubFolder("keldra-6.0.0.0"), false, "/keldra/upgrade.xml"}};
    for (const auto& [moduleDir, version6Switch, path] : cases) {
        SCOPED_TRACE(WideToUtf8(moduleDir));
        list_.clear();
        const ServerLog log;
        const UpgradeManifestOutcome outcome = ReadUpgrade(moduleDir, version6Switch);
        const bool classic = std::string(path) == "/keldra/upgrade.xml";
        EXPECT_EQ(outcome.variant,
                  classic ? ManifestVariant::kClassic : ManifestVariant::kVersion6);
        EXPECT_EQ(Entries(), std::vector<std::string>{classic ? "classic|||||" : "six|||||"});
        const auto requests = log.NewRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(PathOnly(requests[0].path), path);
    }
}

TEST(SettingsManifestReader, AppliesTheSettingsOfTheHostOrKeepsThemWhenItFails) {
    REQUIRE_TEST_RUN();
    ServedFiles files;
    files.Put("/keldra/tallix.xml", kUtf8Mark + R"(<?xml version="1.0" encoding="utf-8"?>
<TallixSet>
  <EUPP><mp>1</mp><se>2</se></EUPP>
  <DownIP>10.20.30.40</DownIP>
  <upkeldra6>1</upkeldra6>
  <history>新版本发布</history>
  <hijactname>|hijack.html|portal|</hijactname>
</TallixSet>)");
    const std::tuple<const char*, bool, std::wstring> cases[] = {
        {"{}", true, L"10.20.30.40|1|新版本发布|hijack.html,portal,"},
        {R"({"/keldra/tallix.xml": {"answer": "html404"}})", true, L"203.0.113.80|0||"},
        {R"({"/keldra/tallix.xml": {"answer": "empty"}})", false, L"203.0.113.80|0||"}};
    for (const auto& [rules, fetched, settingsAfter] : cases) {
        SCOPED_TRACE(rules);
        files.SetRules(rules);
        ManifestDocument document;
        UpdaterSettings settings;
        settings.downloadAddress = L"203.0.113.80";
        const ServerLog log;
        EXPECT_EQ(FetchSettingsManifest(document, ServerOrigin(), settings), fetched);
        std::wstring names;
        for (const std::wstring& name : settings.hijackNames) {
            names += name + L",";
        }
        EXPECT_EQ(settings.downloadAddress + L"|" + (settings.version6Switch ? L"1" : L"0") + L"|" +
                      settings.announcement + L"|" + names,
                  settingsAfter);
        const auto requests = log.NewRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(PathOnly(requests[0].path), "/keldra/tallix.xml");
        EXPECT_FALSE(QueryValue(requests[0].path, "a").empty());
    }
}

const wchar_t kCalendarKey[] = L"Software\\Orvane\\Dayloom";

// Copies the stub program "<product>-<version>\<product>.exe" into `directory` under `name`.
void CopyStub(const std::string& folder, const std::wstring& directory, const std::wstring& name) {
    const std::wstring from =
        StubFolder(folder) + Utf8ToWide(folder.substr(0, folder.find('-'))) + L".exe";
    EXPECT_TRUE(CopyFileW(from.c_str(), (directory + name).c_str(), FALSE)) << WideToUtf8(from);
}

std::wstring WithoutFinalBackslash(const std::wstring& folder) {
    return folder.substr(0, folder.size() - 1);
}

// The decision on this machine: versions read from the suite folder, from folders that the
// registry names, and nothing for a path that is not there. Its rules: update_decision_test.cpp.
TEST_F(ManifestReadersTest, SuiteRunReadsTheInstalledVersions) {
    const TempFolder suite;
    CopyStub("keldra-5.9.2.1", suite.Path(), L"keldra.exe");
    CopyStub("pinnace-2.1.0.0", suite.Path(), L"pinnace.exe");
    CopyStub("tallix-3.2.0.17", suite.Path(), L"tallix.exe");
    ScopedRegistryValue fennickInstallDir(HKEY_CURRENT_USER, L"Software\\Orvane\\Fennick3",
                                          L"Install_Dir");
    fennickInstallDir.SetString(StubFolder("fennick-1.0.0.0"));  // fennick.exe 1.0.0.0
    files_.Put("/keldra/upgrade.xml", kUtf8Mark + R"(<UpdateList>
  <keldra><version>5.9.3.0</version><installfile>/keldra/keldra.exe</installfile></keldra>
  <pinnace><version>2.1.0.0</version><installfile>/tools/pinnace.exe</installfile></pinnace>
  <fennick><version>1.0.0.1</version><installfile>/fennick/fennick.exe</installfile></fennick>
  <tallix><version>3.2.0.18</version><installfile>tallix</installfile></tallix>
</UpdateList>)");
    DecisionOptions options;
    options.targetProduct = L"keldra";
    options.suiteMode = true;
    EXPECT_TRUE(ReadUpgrade(suite.Path(), false, &options).fetched);
    EXPECT_EQ(decision_fake::Decided(list_),
              L"keldra=5.9.2.1* pinnace=2.1.0.0 fennick=1.0.0.0* tallix=3.2.0.17*");
}

TEST_F(ManifestReadersTest, TargetedRunForTheCalendarProduct) {
    // The calendar's install folder, where the updater runs: dayloom.exe 3.0.0.1, no pinnace.exe.
    const TempFolder calendar;
    CopyStub("dayloom-3.0.0.1", calendar.Path(), L"dayloom.exe");
    CopyStub("tallix-3.2.0.17", calendar.Path(), L"tallix.exe");
    // Plug-ins at 2.1.0.0: weather as offered, moonphase older than offered.
    const TempFolder plugins;
    CopyStub("pinnace-2.1.0.0", plugins.Path(), L"weather.dll");
    CopyStub("pinnace-2.1.0.0", plugins.Path(), L"moonphase.dll");
    ScopedRegistryValue installDir(HKEY_CURRENT_USER, kCalendarKey, L"Install_Dir");
    ScopedRegistryValue pluginsPath(HKEY_CURRENT_USER, kCalendarKey, L"PluginsPath");
    pluginsPath.SetString(WithoutFinalBackslash(plugins.Path()));
    files_.Put("/keldra/upgrade6s.xml", kUtf8Mark + R"(<UpdateList>
  <tallix><n>Tallix</n><v>3.2.0.18</v><f>tallix</f></tallix>
  <dayloom><n>Dayloom</n><v>3.0.0.1</v><f>/dayloom/dayloom.exe</f><d>,pinnace,</d></dayloom>
  <pinnace><v>2.1.0.0</v><f>/tools/pinnace.exe</f></pinnace>
  <weather><v>2.1.0.0</v><f>/plugins/weather.dll</f><p>1</p></weather>
  <moonphase><v>2.2.0.0</v><f>/plugins/moonphase.dll</f><p>1</p><ef>true</ef></moonphase>
  <dayloomsetup><n>Dayloom setup</n><v>3.1.0.0</v><f>/dayloom/DayloomSetup.exe</f></dayloomsetup>
</UpdateList>)");

    // target, enforce switch, Install_Dir set, decided entries
    const std::tuple<const wchar_t*, bool, bool, const wchar_t*> cases[] = {
        // A plug-in older than offered is looked for in the second place, which holds nothing.
        {L"dayloom", true, true,
         L"tallix=3.2.0.17* dayloom=3.0.0.1 pinnace=* weather=2.1.0.0 moonphase=* dayloomsetup="},
        // No calendar path: nothing is read (not the updater's own version).
        {L"dayloomsetup", false, false,
         L"tallix=3.2.0.17* dayloom= pinnace= weather= moonphase= dayloomsetup=*"}};
    for (const auto& [target, enforceSwitch, installDirSet, decided] : cases) {
        SCOPED_TRACE(WideToUtf8(target));
        installDirSet ? installDir.SetString(WithoutFinalBackslash(calendar.Path()))
                      : installDir.Remove();
        DecisionOptions options;
        options.targetProduct = target;
        options.enforceSwitch = enforceSwitch;
        list_.clear();
        results_ = DecisionResults();
        EXPECT_TRUE(ReadUpgrade(calendar.Path(), false, &options).fetched);
        EXPECT_EQ(decision_fake::Decided(list_), decided);
    }
}

}  // namespace
