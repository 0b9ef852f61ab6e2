#include "manifest/installed_products.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// A machine with some files and registry values; records which registry values were read.
struct FakeMachine {
    bool wow64 = false;
    std::set<std::wstring> files;
    std::map<std::wstring, std::wstring> values;  // "root|path|value" -> text
    mutable std::vector<std::wstring> reads;

    static std::wstring Id(RegistryRoot root, const std::wstring& path, const std::wstring& value) {
        return std::wstring(root == RegistryRoot::kLocalMachine ? L"HKLM|" : L"HKCU|") + path +
               L"|" + value;
    }

    ProductProbe Probe() const {
        ProductProbe probe;
        probe.wow64 = wow64;
        probe.fileExists = [this](const std::wstring& path) { return files.count(path) > 0; };
        probe.readString = [this](const RegistryLocation& key, const std::wstring& value) {
            EXPECT_EQ(key.accessModifier, wow64 ? kKeyWow64_64Key : 0u);
            const std::wstring id = Id(key.root, key.path, value);
            reads.push_back(id);
            const auto found = values.find(id);
            return found == values.end() ? std::wstring() : found->second;
        };
        return probe;
    }
};

const wchar_t kKeldraKey[] = L"Software\\Orvane\\Keldra";
const wchar_t kKeldraKey64[] = L"Software\\Wow6432Node\\Orvane\\Keldra";
const wchar_t kHelvorKey[] = L"Software\\orvane\\Helvor3";
const wchar_t kHelvorKey64[] = L"Software\\Wow6432Node\\orvane\\Helvor3";

TEST(ProductRegistryKey, KeyTable) {
    struct Case {
        ProductKey product;
        RegistryRoot root;
        const wchar_t* path;
        const wchar_t* wow64Path;
    };
    const Case cases[] = {
        {ProductKey::kMainProgram, RegistryRoot::kLocalMachine, kKeldraKey, kKeldraKey64},
        {ProductKey::kOlderLine, RegistryRoot::kLocalMachine, kHelvorKey, kHelvorKey64},
        {ProductKey::kCalendar, RegistryRoot::kCurrentUser, L"Software\\Orvane\\Dayloom", nullptr},
        {ProductKey::kFennick, RegistryRoot::kCurrentUser, L"Software\\Orvane\\Fennick3", nullptr},
        {ProductKey::kMarlow, RegistryRoot::kCurrentUser, L"Software\\Orvane\\Marlow", nullptr},
        {ProductKey::kUpdater, RegistryRoot::kCurrentUser, L"Software\\Orvane\\Tallix", nullptr},
    };
    for (const Case& c : cases) {
        const RegistryLocation native = ProductRegistryKey(c.product, false);
        EXPECT_EQ(native.root, c.root);
        EXPECT_EQ(native.path, c.path);
        EXPECT_EQ(native.accessModifier, 0u);
        const RegistryLocation wow = ProductRegistryKey(c.product, true);
        EXPECT_EQ(wow.root, c.root);
        EXPECT_EQ(wow.path, c.wow64Path ? c.wow64Path : c.path);
        EXPECT_EQ(wow.accessModifier, 0x100u);
    }
}

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
        {L"C:\\a", L"x\\y\\z", L"C:\\a\\x\\y\\z"},
    };
    for (const auto& [directory, more, joined] : cases) {
        EXPECT_EQ(AppendPath(directory, more), joined);
    }
}

TEST(ProductLookups, PathsFromRegistryValues) {
    FakeMachine m;
    EXPECT_EQ(CalendarExecutablePath(m.Probe()), L"");
    EXPECT_EQ(FennickExecutablePath(m.Probe()), L"");
    EXPECT_EQ(MarlowExecutablePath(m.Probe()), L"");
    EXPECT_EQ(MarlowUpgradePath(m.Probe()), L"");
    EXPECT_EQ(CalendarPluginsPath(m.Probe()), L"");

    const auto set = [&m](const wchar_t* key, const wchar_t* value, const wchar_t* text) {
        m.values[FakeMachine::Id(RegistryRoot::kCurrentUser,
                                 std::wstring(L"Software\\Orvane\\") + key, value)] = text;
    };
    set(L"Dayloom", L"Install_Dir", L"C:\\Cal");
    set(L"Dayloom", L"PluginsPath", L"C:\\Cal\\plugins\\");
    set(L"Fennick3", L"Install_Dir", L"C:\\Fen");  // no separator is added
    set(L"Marlow", L"Install_NewPath", L"C:\\Mar");
    for (bool wow64 : {false, true}) {
        m.wow64 = wow64;
        EXPECT_EQ(CalendarExecutablePath(m.Probe()), L"C:\\Cal\\dayloom.exe");
        EXPECT_EQ(CalendarPluginsPath(m.Probe()), L"C:\\Cal\\plugins\\");
        EXPECT_EQ(FennickExecutablePath(m.Probe()), L"C:\\Fenfennick.exe");
        EXPECT_EQ(MarlowExecutablePath(m.Probe()), L"C:\\Mar\\marlow.exe");
        EXPECT_EQ(MarlowUpgradePath(m.Probe()), L"C:\\Mar\\upgrade.exe");
    }
    EXPECT_EQ(MarlowUpgradeInLocalAppData(L"C:\\Users\\u\\AppData\\Local"),
              L"C:\\Users\\u\\AppData\\Local\\orvane\\marlow\\upgrade.exe");
    EXPECT_EQ(MarlowUpgradeInLocalAppData(L""), L"");
}

TEST(MainProgramPresent, Tests) {
    const std::wstring dir = L"C:\\Suite\\";
    struct Case {
        const char* name;
        bool wow64;
        std::set<std::wstring> files;
        std::map<std::wstring, std::wstring> values;
        const wchar_t* productKey;
        bool present;
    };
    const auto lm = [](const wchar_t* key, const wchar_t* value) {
        return FakeMachine::Id(RegistryRoot::kLocalMachine, key, value);
    };
    const Case cases[] = {
        {"nothing", false, {}, {}, L"keldra", false},
        {"keldra.exe beside the updater", false, {dir + L"keldra.exe"}, {}, L"", true},
        {"main key",
         false,
         {L"D:\\K\\k.exe"},
         {{lm(kKeldraKey, L"Install_Dir"), L"D:\\K"}, {lm(kKeldraKey, L"ExeName"), L"k.exe"}},
         L"",
         true},
        {"main key with trailing backslash",
         false,
         {L"D:\\K\\k.exe"},
         {{lm(kKeldraKey, L"Install_Dir"), L"D:\\K\\"}, {lm(kKeldraKey, L"ExeName"), L"k.exe"}},
         L"",
         true},
        {"main key without ExeName",
         false,
         {L"D:\\K\\keldra.exe", L"D:\\K\\"},
         {{lm(kKeldraKey, L"Install_Dir"), L"D:\\K"}},
         L"",
         false},
        {"main key, file missing",
         false,
         {},
         {{lm(kKeldraKey, L"Install_Dir"), L"D:\\K"}, {lm(kKeldraKey, L"ExeName"), L"k.exe"}},
         L"",
         false},
        {"main key under WOW64",
         true,
         {L"D:\\K\\k.exe"},
         {{lm(kKeldraKey64, L"Install_Dir"), L"D:\\K"}, {lm(kKeldraKey64, L"ExeName"), L"k.exe"}},
         L"",
         true},
        {"native key ignored under WOW64",
         true,
         {L"D:\\K\\k.exe"},
         {{lm(kKeldraKey, L"Install_Dir"), L"D:\\K"}, {lm(kKeldraKey, L"ExeName"), L"k.exe"}},
         L"",
         false},
        {"older line",
         false,
         {L"E:\\H\\Helvor3.exe"},
         {{lm(kHelvorKey, L"Install_Dir"), L"E:\\H"}},
         L"",
         true},
        {"older line under WOW64",
         true,
         {L"E:\\H\\Helvor3.exe"},
         {{lm(kHelvorKey64, L"Install_Dir"), L"E:\\H\\"}},
         L"",
         true},
        {"older line, file missing",
         false,
         {},
         {{lm(kHelvorKey, L"Install_Dir"), L"E:\\H"}},
         L"",
         false},
        {"dayloomsetup", false, {}, {}, L"DayloomSetup", true},
        {"dayloomsetup_silent", false, {}, {}, L"dayloomsetup_silent", true},
        {"pinnacesetup", false, {}, {}, L"pinnacesetup", true},
        {"pinnacesetup_silent", false, {}, {}, L"PINNACESETUP_SILENT", true},
        {"other setup", false, {}, {}, L"keldrasetup", false},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        m.wow64 = c.wow64;
        m.files = c.files;
        m.values = c.values;
        EXPECT_EQ(MainProgramPresent(dir, c.productKey, m.Probe()), c.present) << c.name;
    }
}

TEST(MainProgramPresent, StopsAtTheFirstTestThatHolds) {
    FakeMachine m;
    m.files = {L"C:\\S\\keldra.exe"};
    EXPECT_TRUE(MainProgramPresent(L"C:\\S\\", L"", m.Probe()));
    EXPECT_TRUE(m.reads.empty());
}

TEST(Version6Line, NeedsMoreThanSixZero) {
    EXPECT_FALSE(IsVersion6Line(L""));
    EXPECT_FALSE(IsVersion6Line(L"6.0.0.0"));
    EXPECT_FALSE(IsVersion6Line(L"5.9.9.9"));
    EXPECT_TRUE(IsVersion6Line(L"6.0.0.1"));
    EXPECT_TRUE(IsVersion6Line(L"7.0.0.0"));
}

}  // namespace
