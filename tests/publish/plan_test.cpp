// The plan's outcomes that the scenarios under Wine do not reach (enforced items handed to a
// second updater, the updater's own update, the version-6 main window's count, a missing upgrade
// manifest), where it read each entry's version, the table of machines, and the example profiles.
// The window after the check is compared with the real updater's in tests/e2e/scenarios_plan.py.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "base/os_code.h"
#include "tools/publish/plan.h"

namespace {

using namespace std::string_literals;

const std::string kMark = "\xEF\xBB\xBF";

const std::filesystem::path kDir =
    std::filesystem::temp_directory_path() / ("plan-" + std::to_string(::getpid()));

// A manifest folder with the settings and, unless `upgradeFile` is empty, that upgrade manifest.
std::string Manifests(const std::string& entries, const std::string& upgradeFile) {
    std::filesystem::remove_all(kDir);
    std::filesystem::create_directories(kDir / "keldra");
    std::ofstream(kDir / "keldra" / "tallix.xml", std::ios::binary) << kMark << "<TallixSet/>";
    if (!upgradeFile.empty()) {
        std::ofstream(kDir / "keldra" / upgradeFile, std::ios::binary)
            << kMark << "<UpdateList>" << entries << "</UpdateList>";
    }
    return kDir.string();
}

Prediction Predict(const std::string& entries, const std::string& profileJson,
                   const std::wstring& switches, const std::string& upgradeFile = "upgrade.xml") {
    const std::string dir = Manifests(entries, upgradeFile);
    std::string error;
    const auto profile = ParseProfile(profileJson, error);
    EXPECT_TRUE(profile) << error;
    PublishHosts hosts;
    hosts.release = L"3.2.0.17";
    MachineProfile machine = *profile;
    machine.files.emplace(L"c:\\s\\tallix.exe", L"3.2.0.17");
    const Prediction p = PredictRun(LoadRelease(ManifestSource(dir)), machine, switches, hosts);
    std::filesystem::remove_all(kDir);
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
    // Enforced items go to a second, hidden updater with the caller's switches; this one closes
    // when nothing else is left.
    for (const auto& [switches, started] :
         {std::pair{L"-pinnace -silent", L"-keldra -silent -enforce"},
          std::pair{L"-pinnace -notice", L"-pinnace -silent -enforce -notice -from:_Keldra"}}) {
        const Prediction p = Predict(own + Entry("pinnace", "2.1.0.1", "<enforce>true</enforce>"),
                                     kMachine, switches);
        ASSERT_EQ(p.starts.size(), 1u) << Utf16ToUtf8(switches);
        EXPECT_EQ(p.starts[0].program + L" " + p.starts[0].parameters,
                  L"C:\\S\\tallix.exe "s + started)
            << Utf16ToUtf8(switches);
        EXPECT_EQ(p.starts[0].how, L"hidden");
        EXPECT_FALSE(p.windowShown);
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
    {  // "-execute" with nothing to do: the five seconds pass unseen
        const Prediction p =
            Predict(own + Entry("keldra", "5.9.2.1"), kMachine, L"-keldra -execute");
        EXPECT_EQ(p.outcome, L"closes after 5 seconds; no window");
    }
    {  // no upgrade manifest: what the host answers instead decides
        const Prediction p = Predict("", kMachine, L"-keldra", "");
        EXPECT_FALSE(p.unpredicted.empty());
    }
}

const PlannedEntry& EntryOf(const Prediction& p, const std::wstring& tag) {
    for (const PlannedEntry& e : p.entries) {
        if (e.tag == tag)
            return e;
    }
    throw std::runtime_error("no entry");
}

// Where each version was read, which entries the run decided, which manifest it read and the
// retry through the download IP.
TEST(Plan, WhatTheRunReadsAndAsks) {
    const std::string own = Entry("tallix", "3.2.0.17");
    const std::string entries = own + Entry("keldra", "5.9.3.0") +
                                Entry("pinnace", "2.1.0.1", "<depend>chime</depend>") +
                                Entry("chime", "1.0.0.0");
    const char machine[] = R"({"suiteDirectory": "C:\\S\\",
        "files": {"keldra.exe": "5.9.2.1", "pinnace.exe": "2.1.0.0", "chime.exe": "1.0.0.0"}})";
    {
        const Prediction p = Predict(entries, machine, L"-pinnace -execute");
        EXPECT_EQ(p.variant, L"classic");
        EXPECT_EQ(p.requests[1], L"/keldra/upgrade.xml");
        EXPECT_EQ(EntryOf(p, L"pinnace").foundBy, L"C:\\S\\pinnace.exe");
        // The dependency is up to date and decided; the main program is not looked at.
        EXPECT_TRUE(EntryOf(p, L"chime").decided);
        EXPECT_EQ(EntryOf(p, L"chime").foundBy, L"C:\\S\\chime.exe");
        EXPECT_FALSE(EntryOf(p, L"keldra").decided);
        ASSERT_EQ(p.downloads.size(), 1u);
        EXPECT_EQ(p.downloads[0].url, L"http://down.orvane.com/k/pinnace.exe");
        EXPECT_EQ(p.downloads[0].retryUrl, L"http://203.0.113.80/k/pinnace.exe");
    }
    {  // the caller's own version stands for its product's, and only for it
        const Prediction p = Predict(entries, machine, L"-pinnace -v2.1.0.0");
        EXPECT_EQ(EntryOf(p, L"pinnace").foundBy, L"the caller's version 2.1.0.0");
        EXPECT_EQ(EntryOf(p, L"tallix").foundBy, L"C:\\S\\tallix.exe");
    }
    {  // the version-6 line reads its own manifest; a calendar plug-in's second place is the
       // bare file name
        const Prediction p = Predict(
            "<tallix><v>3.2.0.17</v><f>/k/tallix.exe</f></tallix>"
            "<weather><v>1.0.0.1</v><f>/k/weather.dll</f><p>1</p></weather>",
            R"({"suiteDirectory": "C:\\S\\", "files": {"keldra.exe": "6.1.0.0"}})", L"-keldra",
            "upgrade6s.xml");
        EXPECT_EQ(p.variant, L"version-6");
        EXPECT_EQ(p.requests[1], L"/keldra/upgrade6s.xml");
        EXPECT_EQ(EntryOf(p, L"weather").foundBy, L"weather.dll");
    }
}

// The table of machines: the switches it ran with, one notation for what is not installed with
// its legend, and the reason of its exit status.
TEST(Plan, TheTableOfMachines) {
    const std::string dir = Manifests(Entry("tallix", "3.2.0.17") + Entry("keldra", "5.9.3.0") +
                                          Entry("pinnace", "2.1.0.1", "<enforce>true</enforce>") +
                                          Entry("fennick", "1.0.0.1") + Entry("chime", "1.0.0.0"),
                                      "upgrade.xml");
    std::ofstream(kDir / "keldra" / "upgrade6s.xml", std::ios::binary)
        << kMark << "<UpdateList><tallix><v>3.2.0.17</v><f>/k/tallix.exe</f></tallix>"
        << "<keldra><v>6.1.0.0</v><f>/k/keldra.exe</f></keldra></UpdateList>";
    const std::filesystem::path one = kDir / "one.json";
    const std::filesystem::path two = kDir / "two.json";
    std::ofstream(one) << R"({"name": "one", "files": {"keldra.exe": "6.1.0.0"}})";
    std::ofstream(two) << R"({"name": "two", "files": {"keldra.exe": "5.9.3.0",
                                                      "pinnace.exe": "2.1.0.0"}})";
    PublishHosts hosts;
    hosts.release = L"3.2.0.17";
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunPlanCommand(dir, {one.string(), two.string()}, "-keldra -silent", false, hosts,
                             false, out, err),
              1);
    std::filesystem::remove_all(kDir);
    // The lines, each cut into its cells (two blanks or more between cells).
    std::vector<std::vector<std::string>> lines;
    std::istringstream text(out.str());
    const std::regex gap(" {2,}");
    for (std::string line; std::getline(text, line);)
        lines.emplace_back(std::sregex_token_iterator(line.begin(), line.end(), gap, -1),
                           std::sregex_token_iterator());
    using Cells = std::vector<std::string>;
    ASSERT_EQ(lines.size(), 7u) << out.str();
    EXPECT_EQ(lines[0], Cells{"switches: -keldra -silent"});
    EXPECT_EQ(lines[1],
              (Cells{"machine", "tallix", "keldra", "pinnace", "fennick", "chime", "outcome"}));
    // The version-6 machine's manifest has no such entries; neither machine has the sibling or
    // the chime.
    EXPECT_EQ(lines[3], (Cells{"one", "3.2.0.17 ok", "6.1.0.0 ok", "no entry", "no entry",
                               "no entry", "closes at once; no window"}));
    EXPECT_EQ(lines[4],
              (Cells{"two", "3.2.0.17 ok", "5.9.3.0 ok", "2.1.0.0 -> 2.1.0.1", "-", "-",
                     "a second updater takes the enforced items; closes at once; no window"}));
    EXPECT_EQ(lines[5][0].rfind("legend: ", 0), 0u);
    EXPECT_NE(lines[5][0].find("\"-\" not installed"), std::string::npos);
    EXPECT_EQ(lines[6], Cells{"not predicted (two): what the second, hidden updater does with the "
                              "enforced items"});
    EXPECT_EQ(err.str(),
              "tallix-publish: 1 of 2 run(s) have parts the plan cannot predict (listed as \"not "
              "predicted\")\n");
}

// Every example machine names a system the updater can tell apart: its code is one that the
// updater's own mapping gives for some version data.
TEST(Plan, ExampleProfilesHaveCodesOfRealSystems) {
    std::set<int> codes = {0};  // neither version query answered
    OsVersionData d;
    for (d.platformId = 0; d.platformId < 5; ++d.platformId)
        for (d.major = 0; d.major < 12; ++d.major)
            for (const std::uint32_t minor : {0u, 1u, 2u, 3u, 4u, 10u, 90u, 99u})
                for (const std::uint8_t type : {kProductWorkstation, kProductServer})
                    for (const wchar_t* current : {L"", L"6.3", L"6.4"}) {
                        d.minor = minor;
                        d.productType = type;
                        d.currentVersion = current;
                        d.currentMajorVersionNumber.reset();
                        codes.insert(OsCodeFrom(d));
                        d.currentMajorVersionNumber = 10;
                        codes.insert(OsCodeFrom(d));
                    }
    int profiles = 0;
    for (const auto& file :
         std::filesystem::directory_iterator(TALLIX_SOURCE_DIR "/demo/profiles")) {
        std::string error;
        const auto profile = LoadProfile(file.path().string(), error);
        ASSERT_TRUE(profile) << error;
        EXPECT_EQ(codes.count(profile->osCode), 1u) << file.path() << ": " << profile->osCode;
        ++profiles;
    }
    EXPECT_GE(profiles, 5);
}

}  // namespace
