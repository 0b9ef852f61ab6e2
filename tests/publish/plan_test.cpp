// The plan's outcomes that the scenarios under Wine do not reach: enforced items handed to a
// second updater, the updater's own update, the version-6 main window's count and a missing
// upgrade manifest.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tools/publish/plan.h"

namespace {

const std::string kMark = "\xEF\xBB\xBF";

Prediction Predict(const std::string& entries, const std::string& profileJson,
                   const std::wstring& switches, bool withUpgrade = true) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("plan-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "keldra");
    std::ofstream(dir / "keldra" / "tallix.xml", std::ios::binary) << kMark << "<TallixSet/>";
    if (withUpgrade) {
        std::ofstream(dir / "keldra" / "upgrade.xml", std::ios::binary)
            << kMark << "<UpdateList>" << entries << "</UpdateList>";
    }
    std::string error;
    const auto profile = ParseProfile(profileJson, error);
    EXPECT_TRUE(profile) << error;
    PublishHosts hosts;
    hosts.release = L"3.2.0.17";
    MachineProfile machine = *profile;
    machine.files.emplace(L"c:\\s\\tallix.exe", L"3.2.0.17");
    const Prediction p =
        PredictRun(LoadRelease(ManifestSource(dir.string())), machine, switches, hosts);
    std::filesystem::remove_all(dir);
    return p;
}

std::string Entry(const std::string& tag, const std::string& version,
                  const std::string& extra = "") {
    return "<" + tag + "><version>" + version + "</version><installfile>/k/" + tag +
           ".exe</installfile>" + extra + "</" + tag + ">";
}

const char kMachine[] =
    R"({"suiteDirectory": "C:\\S\\", "files": {"keldra.exe": "5.9.2.1", "pinnace.exe": "2.1.0.0"},
        "windows": [{"class": "_Keldra6", "visible": false}]})";

TEST(Plan, OutcomesBeyondTheScenarios) {
    const std::string own = Entry("tallix", "3.2.0.17");
    {  // enforced items go to a second, hidden updater; this one closes when nothing else is left
        const Prediction p = Predict(own + Entry("pinnace", "2.1.0.1", "<enforce>true</enforce>"),
                                     kMachine, L"-pinnace -silent");
        ASSERT_EQ(p.starts.size(), 1u);
        EXPECT_EQ(p.starts[0].program + L" " + p.starts[0].parameters,
                  L"C:\\S\\tallix.exe -keldra -silent -enforce");
        EXPECT_EQ(p.starts[0].how, L"hidden");
        EXPECT_TRUE(p.downloads.empty());
        EXPECT_FALSE(p.unpredicted.empty());
    }
    {  // a newer updater is fetched first and started with the command line and "-resetnew"
        const Prediction p = Predict(Entry("tallix", "3.2.0.18") + Entry("pinnace", "2.1.0.1"),
                                     kMachine, L"-pinnace");
        EXPECT_TRUE(p.selfUpdate);
        EXPECT_EQ(p.requests.back(), L"/k/tallix.exe");
        ASSERT_EQ(p.starts.size(), 1u);
        EXPECT_EQ(p.starts[0].parameters, L"-pinnace -resetnew ");
    }
    {  // the version-6 main window is told how many ordinary updates wait
        const Prediction p = Predict(own + Entry("keldra", "5.9.3.0") + Entry("pinnace", "2.1.0.1"),
                                     kMachine, L"-keldra6");
        EXPECT_EQ(p.records, std::vector<std::wstring>{L"update count to _Keldra6: 2"});
    }
    {  // no upgrade manifest: what the host answers instead decides
        const Prediction p = Predict("", kMachine, L"-keldra", false);
        EXPECT_FALSE(p.unpredicted.empty());
    }
}

}  // namespace
