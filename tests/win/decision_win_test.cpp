// The update decision end to end on this machine: a suite folder of executables with chosen
// version resources, the suite's registry values, an upgrade manifest served by the loopback
// server and read by the real reader, which then runs the decision against the Windows machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "loopback_server_support.h"
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
    const std::wstring fennickDir = StubFolder("fennick-1.0.0.0");  // fennick.exe 1.0.0.0
    ScopedRegistryValue fennickInstallDir(HKEY_CURRENT_USER, kFennickKey, L"Install_Dir");

    const struct {
        const char* name;
        bool enforceSwitch;
        std::wstring fennickDir;  // empty: no Install_Dir value
        std::string updaterOffered;
        const wchar_t* decided;
        bool updaterNeeded;
    } cases[] = {
        {"fennick older than offered", false, fennickDir, "3.2.0.18",
         L"keldra=5.9.2.1* pinnace=2.1.0.0 wardel= brindle= fennick=1.0.0.0* tallix=3.2.0.17*",
         true},
        // Missing components: only the one whose entry says enforce, and only with the switch.
        {"fennick not installed, enforce switch", true, L"", "3.2.0.17",
         L"keldra=5.9.2.1* pinnace=2.1.0.0 wardel=* brindle= fennick=9999.9999.9999.9999 "
         L"tallix=3.2.0.17",
         false},
        // "fennick.exe" is appended to the directory as it is, without a separator.
        {"fennick directory without its backslash", false, WithoutFinalBackslash(fennickDir),
         "3.2.0.18",
         L"keldra=5.9.2.1* pinnace=2.1.0.0 wardel= brindle= fennick=9999.9999.9999.9999 "
         L"tallix=3.2.0.17*",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.fennickDir.empty() ? fennickInstallDir.Remove()
                             : fennickInstallDir.SetString(c.fennickDir);
        files_.Put("/keldra/upgrade.xml", SuiteManifest(c.updaterOffered));
        DecisionOptions options;
        options.targetProduct = L"keldra";
        options.suiteMode = true;
        options.enforceSwitch = c.enforceSwitch;

        const UpgradeManifestOutcome outcome = ReadAndDecide(suite.Path(), options);
        EXPECT_TRUE(outcome.fetched);
        EXPECT_EQ(outcome.variant, ManifestVariant::kClassic);
        EXPECT_EQ(Decided(list_), c.decided);
        EXPECT_EQ(UpdaterUpdateAvailable(list_), c.updaterNeeded);
        EXPECT_TRUE(TargetUpdateAvailable(list_, L"keldra"));
        EXPECT_EQ(results_.currentName, L"Keldra");
        EXPECT_EQ(results_.currentVersion, L"5.9.3.0");
        EXPECT_EQ(results_.currentFileName, L"");
        // Only installed components contribute: keldra.exe is there, so its depend text.
        EXPECT_EQ(results_.targetDependency, L",Pinnace,,");

        // The history reader runs the decision again over the same list: nothing changes.
        DecideUpdates(list_, options, WindowsDecisionMachine(suite.Path()), results_);
        EXPECT_EQ(Decided(list_), c.decided);
        EXPECT_EQ(results_.targetDependency, L",Pinnace,,");
    }
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

    const struct {
        const char* name;
        const wchar_t* target;
        const wchar_t* requested;
        bool enforceSwitch;
        bool installDirSet;
        const wchar_t* decided;
        const wchar_t* currentFileName;
        bool targetUpdate;
    } cases[] = {
        // A plug-in older than offered is looked for in the second place, which holds nothing.
        {"dayloom as installed", L"dayloom", L"", false, true,
         L"keldra= tallix=3.2.0.17* dayloom=3.0.0.1 pinnace=* weather=2.1.0.0 moonphase= "
         L"dayloomsetup=",
         L"dayloom.exe", true},
        {"dayloom, enforce switch", L"dayloom", L"", true, true,
         L"keldra= tallix=3.2.0.17* dayloom=3.0.0.1 pinnace=* weather=2.1.0.0 moonphase=* "
         L"dayloomsetup=",
         L"dayloom.exe", true},
        // The caller's version replaces the lookup, and the plug-ins are not decided.
        {"dayloom, caller's version", L"dayloom", L"3.0.0.0", true, true,
         L"keldra= tallix=3.2.0.17* dayloom=* pinnace=* weather= moonphase= dayloomsetup=",
         L"dayloom.exe", true},
        {"setup package, calendar installed", L"dayloomsetup", L"", false, true,
         L"keldra= tallix=3.2.0.17* dayloom= pinnace= weather= moonphase= dayloomsetup=3.0.0.1*",
         L"DayloomSetup.exe", true},
        {"setup package, caller's version", L"dayloomsetup", L"3.1.0.0", false, true,
         L"keldra= tallix=3.2.0.17* dayloom= pinnace= weather= moonphase= dayloomsetup=",
         L"DayloomSetup.exe", false},
        {"setup package, calendar not installed", L"dayloomsetup", L"", false, false,
         L"keldra= tallix=3.2.0.17* dayloom= pinnace= weather= moonphase= dayloomsetup=*",
         L"DayloomSetup.exe", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.installDirSet ? installDir.SetString(WithoutFinalBackslash(calendar.Path()))
                        : installDir.Remove();
        DecisionOptions options;
        options.targetProduct = c.target;
        options.requestedVersion = c.requested;
        options.enforceSwitch = c.enforceSwitch;

        const UpgradeManifestOutcome outcome = ReadAndDecide(calendar.Path(), options);
        EXPECT_TRUE(outcome.fetched);
        EXPECT_EQ(outcome.variant, ManifestVariant::kVersion6);
        EXPECT_EQ(Decided(list_), c.decided);
        EXPECT_TRUE(UpdaterUpdateAvailable(list_));
        EXPECT_EQ(TargetUpdateAvailable(list_, c.target), c.targetUpdate);
        // The target comes after the updater's entry, so the window offers the target.
        EXPECT_EQ(results_.currentFileName, c.currentFileName);
        EXPECT_EQ(results_.targetDependency, L"");
    }
}

}  // namespace
