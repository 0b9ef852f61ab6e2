#include "manifest/installed_products.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

namespace {

// A machine with some files and registry values; records which registry values were read. The
// values are keyed by the registry path as written in the suite's key list, so a lookup under
// another root or path finds nothing.
struct FakeMachine {
    bool wow64 = false;
    std::set<std::wstring> files;
    std::map<std::wstring, std::wstring> values;  // "HKLM|path|value" or "HKCU|path|value"
    mutable std::vector<std::wstring> reads;

    ProductProbe Probe() const {
        ProductProbe probe;
        probe.wow64 = wow64;
        probe.fileExists = [this](const std::wstring& path) { return files.count(path) > 0; };
        probe.readString = [this](const RegistryLocation& key, const std::wstring& value) {
            EXPECT_EQ(key.accessModifier, wow64 ? 0x100u : 0u);
            const std::wstring id =
                (key.root == RegistryRoot::kLocalMachine ? L"HKLM|" : L"HKCU|") + key.path + L"|" +
                value;
            reads.push_back(id);
            const auto found = values.find(id);
            return found == values.end() ? std::wstring() : found->second;
        };
        return probe;
    }
};

const std::wstring kKeldra = L"HKLM|Software\\Orvane\\Keldra|";
const std::wstring kKeldra64 = L"HKLM|Software\\Wow6432Node\\Orvane\\Keldra|";
const std::wstring kHelvor = L"HKLM|Software\\orvane\\Helvor3|";
const std::wstring kHelvor64 = L"HKLM|Software\\Wow6432Node\\orvane\\Helvor3|";

TEST(Paths, SuiteDirectoryAndAppend) {
    EXPECT_EQ(SuiteDirectoryOf(L"C:\\Suite\\tallix.exe"), L"C:\\Suite\\");
    EXPECT_EQ(SuiteDirectoryOf(L"tallix.exe"), L"");
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\a", L"b.exe", L"C:\\a\\b.exe"},
        {L"C:\\a\\", L"b.exe", L"C:\\a\\b.exe"},
        {L"C:\\a", L"\\b.exe", L"C:\\a\\b.exe"},
        {L"C:\\a", L"", L"C:\\a"},
        {L"", L"b.exe", L"b.exe"},
        {L"C:\\a", L"D:\\b.exe", L"D:\\b.exe"},
        {L"C:\\a", L"\\\\srv\\b", L"\\\\srv\\b"},
        {L"C:\\a", L"x\\y", L"C:\\a\\x\\y"}};
    for (const auto& [directory, more, joined] : cases) {
        EXPECT_EQ(AppendPath(directory, more), joined);
    }
}

TEST(ProductLookups, PathsFromTheUsersRegistryValues) {
    FakeMachine m;
    for (const auto& lookup : {CalendarExecutablePath, FennickExecutablePath, MarlowExecutablePath,
                               MarlowUpgradePath, CalendarPluginsPath}) {
        EXPECT_EQ(lookup(m.Probe()), L"");
    }
    m.values = {{L"HKCU|Software\\Orvane\\Dayloom|Install_Dir", L"C:\\Cal"},
                {L"HKCU|Software\\Orvane\\Dayloom|PluginsPath", L"C:\\Cal\\plugins\\"},
                {L"HKCU|Software\\Orvane\\Fennick3|Install_Dir", L"C:\\Fen"},
                {L"HKCU|Software\\Orvane\\Marlow|Install_NewPath", L"C:\\Mar"}};
    for (bool wow64 : {false, true}) {  // the user's keys have no WOW64 path
        m.wow64 = wow64;
        EXPECT_EQ(CalendarExecutablePath(m.Probe()), L"C:\\Cal\\dayloom.exe");
        EXPECT_EQ(CalendarPluginsPath(m.Probe()), L"C:\\Cal\\plugins\\");
        EXPECT_EQ(FennickExecutablePath(m.Probe()), L"C:\\Fenfennick.exe");  // no separator added
        EXPECT_EQ(MarlowExecutablePath(m.Probe()), L"C:\\Mar\\marlow.exe");
        EXPECT_EQ(MarlowUpgradePath(m.Probe()), L"C:\\Mar\\upgrade.exe");
    }
    EXPECT_EQ(ProductRegistryKey(ProductKey::kUpdater, false).path, L"Software\\Orvane\\Tallix");
    EXPECT_EQ(MarlowUpgradeInLocalAppData(L"C:\\Users\\u\\AppData\\Local"),
              L"C:\\Users\\u\\AppData\\Local\\orvane\\marlow\\upgrade.exe");
    EXPECT_EQ(MarlowUpgradeInLocalAppData(L""), L"");
}

TEST(MainProgramPresent, Tests) {
    struct Case {
        const char* name;
        bool wow64;
        std::set<std::wstring> files;
        std::map<std::wstring, std::wstring> values;
        const wchar_t* productKey;
        bool present;
    };
    using Values = std::map<std::wstring, std::wstring>;
    const Values main = {{kKeldra + L"Install_Dir", L"D:\\K"}, {kKeldra + L"ExeName", L"k.exe"}};
    const Values main64 = {{kKeldra64 + L"Install_Dir", L"D:\\K\\"},
                           {kKeldra64 + L"ExeName", L"k.exe"}};
    const Values noExeName = {{kKeldra + L"Install_Dir", L"D:\\K"}};
    const Values helvor = {{kHelvor + L"Install_Dir", L"E:\\H"}};
    const Values helvor64 = {{kHelvor64 + L"Install_Dir", L"E:\\H\\"}};
    const std::set<std::wstring> k = {L"D:\\K\\k.exe"}, h = {L"E:\\H\\Helvor3.exe"};
    const Case cases[] = {
        {"nothing", false, {}, {}, L"keldra", false},
        {"keldra.exe beside the updater", false, {L"C:\\Suite\\keldra.exe"}, {}, L"", true},
        {"main key", false, k, main, L"", true},
        {"main key, file missing", false, {}, main, L"", false},
        {"main key without ExeName",
         false,
         {L"D:\\K\\keldra.exe", L"D:\\K\\"},
         noExeName,
         L"",
         false},
        {"main key under WOW64, directory with backslash", true, k, main64, L"", true},
        {"native key ignored under WOW64", true, k, main, L"", false},
        {"older line", false, h, helvor, L"", true},
        {"older line under WOW64", true, h, helvor64, L"", true},
        {"older line, file missing", false, {}, helvor, L"", false},
        // Setup packages of the calendar and the tray companion need no main program.
        {"dayloomsetup", false, {}, {}, L"DayloomSetup", true},
        {"dayloomsetup_silent", false, {}, {}, L"dayloomsetup_silent", true},
        {"pinnacesetup", false, {}, {}, L"pinnacesetup", true},
        {"pinnacesetup_silent", false, {}, {}, L"PINNACESETUP_SILENT", true},
        {"other setup", false, {}, {}, L"keldrasetup", false}};
    for (const Case& c : cases) {
        FakeMachine m;
        m.wow64 = c.wow64;
        m.files = c.files;
        m.values = c.values;
        EXPECT_EQ(MainProgramPresent(L"C:\\Suite\\", c.productKey, m.Probe()), c.present) << c.name;
        if (c.name == std::string("keldra.exe beside the updater")) {
            EXPECT_TRUE(m.reads.empty());  // the first test that holds ends the search
        }
    }
}

TEST(Version6Line, NeedsMoreThanSixZero) {
    EXPECT_FALSE(IsVersion6Line(L""));
    EXPECT_FALSE(IsVersion6Line(L"6.0.0.0"));
    EXPECT_TRUE(IsVersion6Line(L"6.0.0.1"));
}

}  // namespace
