// The update decision end to end on this machine: a suite folder of executables with chosen
// version resources, the suite's registry values, an upgrade manifest served by the loopback
// server and read by the real reader, which then runs the decision against the Windows machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "manifest/machine_win.h"
#include "manifest/manifest_readers_win.h"
#include "manifest/update_decision.h"
#include "test_support.h"

namespace {

const std::string kUtf8Mark = "\xEF\xBB\xBF";
const wchar_t kCalendarKey[] = L"Software\\Orvane\\Dayloom";
const wchar_t kFennickKey[] = L"Software\\Orvane\\Fennick3";

// Copies the stub program <folder>\<stub>.exe into `directory` under `name`.
void CopyStub(const std::string& folder, const std::wstring& stub, const std::wstring& directory,
              const std::wstring& name) {
    const std::wstring from = StubFolder(folder) + stub + L".exe";
    ASSERT_TRUE(CopyFileW(from.c_str(), (directory + name).c_str(), FALSE)) << WideToUtf8(from);
}

std::wstring WithoutFinalBackslash(const std::wstring& folder) {
    return folder.substr(0, folder.size() - 1);
}

// Each entry as "<tag>=<installed version>", followed by "*" when it needs an update, in list
// order and separated by spaces. An entry that the run leaves alone reads "<tag>=".
std::wstring Decided(const UpdateList& list) {
    std::wstring entries;
    for (const auto& item : list) {
        entries += (entries.empty() ? L"" : L" ") + item->tag + L"=" + item->installedVersion +
                   (item->updateNeeded ? L"*" : L"");
    }
    return entries;
}

class DecisionOnWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_LOOPBACK_SERVER();
        if (StubFolder("tallix-3.2.0.17").empty()) {
            GTEST_SKIP() << "no stub programs (run through ctest)";
        }
    }

    // Reads the upgrade manifest for the updater in `suiteDir`; the reader runs the decision.
    UpgradeManifestOutcome ReadAndDecide(const std::wstring& suiteDir,
                                         const DecisionOptions& options) {
        list_.clear();
        results_ = DecisionResults();
        UpgradeManifestRequest request;
        request.hostOrigin = ServerOrigin();
        request.moduleDir = suiteDir;
        request.targetProduct = options.targetProduct;
        request.runUpdateDecision = [&] {
            DecideUpdates(list_, options, WindowsDecisionMachine(suiteDir), results_);
        };
        ManifestDocument document;
        UpgradeReaderState state;
        state.downloadBase = L"http://down.orvane.test";
        return FetchUpgradeManifest(document, request, state, list_);
    }

    ServedFiles files_;
    UpdateList list_;
    DecisionResults results_;
};

// Classic vocabulary: the suite folder holds a main program of the 5.x line.
std::string SuiteManifest(const std::string& updaterOffered) {
    return kUtf8Mark + R"(<?xml version="1.0" encoding="utf-8"?>
<UpdateList>
  <keldra><name>Keldra</name><version>5.9.3.0</version>
    <installfile>/keldra/5.9.3.0/keldra.exe</installfile><depend>,Pinnace,</depend></keldra>
  <pinnace><version>2.1.0.0</version><installfile>/tools/pinnace.exe</installfile></pinnace>
  <wardel><version>1.0.0.0</version><installfile>/tools/wardel.exe</installfile>
    <enforce>true</enforce></wardel>
  <brindle><version>1.0.0.0</version><installfile>/tools/brindle.exe</installfile></brindle>
  <fennick><version>1.0.0.1</version><installfile>/fennick/fennick.exe</installfile></fennick>
  <tallix><version>)" +
           updaterOffered +
           R"(</version><installfile>tallix</installfile></tallix>
</UpdateList>)";
}

TEST_F(DecisionOnWindows, SuiteRunDecidesEveryEntry) {
    const TempFolder suite;
    ASSERT_NO_FATAL_FAILURE(CopyStub("keldra-5.9.2.1", L"keldra", suite.Path(), L"keldra.exe"));
    ASSERT_NO_FATAL_FAILURE(CopyStub("pinnace-2.1.0.0", L"pinnace", suite.Path(), L"pinnace.exe"));
    ASSERT_NO_FATAL_FAILURE(CopyStub("tallix-3.2.0.17", L"tallix", suite.Path(), L"tallix.exe"));
    ScopedRegistryValue fennickInstallDir(HKEY_CURRENT_USER, kFennickKey, L"Install_Dir");

    fennickInstallDir.SetString(StubFolder("fennick-1.0.0.0"));  // fennick.exe 1.0.0.0
    files_.Put("/keldra/upgrade.xml", SuiteManifest("3.2.0.18"));
    DecisionOptions options;
    options.targetProduct = L"keldra";
    options.suiteMode = true;
    const UpgradeManifestOutcome outcome = ReadAndDecide(suite.Path(), options);
    EXPECT_TRUE(outcome.fetched);
    EXPECT_EQ(outcome.variant, ManifestVariant::kClassic);
    // Missing components that are not enforced are left alone.
    const wchar_t decided[] =
        L"keldra=5.9.2.1* pinnace=2.1.0.0 wardel= brindle= fennick=1.0.0.0* tallix=3.2.0.17*";
    EXPECT_EQ(Decided(list_), decided);
    EXPECT_TRUE(UpdaterUpdateAvailable(list_));
    EXPECT_TRUE(TargetUpdateAvailable(list_, L"keldra"));
    // The window offers the main program; only installed components add their depend texts.
    EXPECT_EQ(results_.currentName + L"|" + results_.currentVersion + L"|" +
                  results_.currentFileName + L"|" + results_.targetDependency,
              L"Keldra|5.9.3.0||,Pinnace,,");

    // The history reader runs the decision again over the same list: nothing changes.
    DecideUpdates(list_, options, WindowsDecisionMachine(suite.Path()), results_);
    EXPECT_EQ(Decided(list_), decided);
    EXPECT_EQ(results_.targetDependency, L",Pinnace,,");
}

// Version-6 vocabulary: the calendar's folder holds no main program.
const char kCalendarManifest[] = R"(<UpdateList>
  <keldra><n>Keldra</n><v>6.2.0.0</v><f>/keldra6/keldra.exe</f></keldra>
  <tallix><n>Tallix</n><v>3.2.0.18</v><f>tallix</f></tallix>
  <dayloom><n>Dayloom</n><v>3.0.0.1</v><f>/dayloom/dayloom.exe</f><d>,pinnace,</d></dayloom>
  <pinnace><v>2.1.0.0</v><f>/tools/pinnace.exe</f></pinnace>
  <weather><v>2.1.0.0</v><f>/plugins/weather.dll</f><p>1</p></weather>
  <moonphase><v>2.2.0.0</v><f>/plugins/moonphase.dll</f><p>1</p><ef>true</ef></moonphase>
  <dayloomsetup><n>Dayloom setup</n><v>3.1.0.0</v><f>/dayloom/DayloomSetup.exe</f></dayloomsetup>
</UpdateList>)";

TEST_F(DecisionOnWindows, TargetedRunForTheCalendarProduct) {
    // The calendar's install folder, where the updater runs: dayloom.exe 3.0.0.1, no pinnace.exe.
    const TempFolder calendar;
    ASSERT_NO_FATAL_FAILURE(
        CopyStub("dayloom-3.0.0.1", L"dayloom", calendar.Path(), L"dayloom.exe"));
    ASSERT_NO_FATAL_FAILURE(CopyStub("tallix-3.2.0.17", L"tallix", calendar.Path(), L"tallix.exe"));
    // Plug-ins at 2.1.0.0: weather as offered, moonphase older than offered.
    const TempFolder plugins;
    ASSERT_NO_FATAL_FAILURE(
        CopyStub("pinnace-2.1.0.0", L"pinnace", plugins.Path(), L"weather.dll"));
    ASSERT_NO_FATAL_FAILURE(
        CopyStub("pinnace-2.1.0.0", L"pinnace", plugins.Path(), L"moonphase.dll"));
    ScopedRegistryValue installDir(HKEY_CURRENT_USER, kCalendarKey, L"Install_Dir");
    ScopedRegistryValue pluginsPath(HKEY_CURRENT_USER, kCalendarKey, L"PluginsPath");
    pluginsPath.SetString(WithoutFinalBackslash(plugins.Path()));
    files_.Put("/keldra/upgrade6s.xml", kUtf8Mark + kCalendarManifest);

    // target, caller's version, enforce switch, Install_Dir set, decided entries, target update
    const std::tuple<const wchar_t*, const wchar_t*, bool, bool, const wchar_t*, bool> cases[] = {
        // A plug-in older than offered is looked for in the second place, which holds nothing.
        {L"dayloom", L"", true, true,
         L"keldra= tallix=3.2.0.17* dayloom=3.0.0.1 pinnace=* weather=2.1.0.0 moonphase=* "
         L"dayloomsetup=",
         true},
        {L"dayloomsetup", L"", false, true,
         L"keldra= tallix=3.2.0.17* dayloom= pinnace= weather= moonphase= dayloomsetup=3.0.0.1*",
         true},
        {L"dayloomsetup", L"", false, false,
         L"keldra= tallix=3.2.0.17* dayloom= pinnace= weather= moonphase= dayloomsetup=*", true}};
    for (const auto& [target, requested, enforceSwitch, installDirSet, decided, targetUpdate] :
         cases) {
        SCOPED_TRACE(WideToUtf8(std::wstring(target) + L" " + requested));
        installDirSet ? installDir.SetString(WithoutFinalBackslash(calendar.Path()))
                      : installDir.Remove();
        DecisionOptions options;
        options.targetProduct = target;
        options.requestedVersion = requested;
        options.enforceSwitch = enforceSwitch;

        const UpgradeManifestOutcome outcome = ReadAndDecide(calendar.Path(), options);
        EXPECT_TRUE(outcome.fetched);
        EXPECT_EQ(outcome.variant, ManifestVariant::kVersion6);
        EXPECT_EQ(Decided(list_), decided);
        EXPECT_TRUE(UpdaterUpdateAvailable(list_));
        EXPECT_EQ(TargetUpdateAvailable(list_, target), targetUpdate);
        // The target comes after the updater's entry, so the window offers the target.
        EXPECT_EQ(results_.currentFileName,
                  target == std::wstring(L"dayloom") ? L"dayloom.exe" : L"DayloomSetup.exe");
        EXPECT_EQ(results_.targetDependency, L"");
    }
}

}  // namespace
