#include "manifest/update_decision.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "base/command_line.h"
#include "manifest/installed_products.h"
#include "manifest/substring_watch.h"
#include "manifest/version.h"
#include "tests/native/decision_machine_fake.h"

namespace {

using namespace decision_fake;

using Registry = std::map<std::wstring, std::wstring>;

// Files written "path=product version"; "S\" is the suite and "P\" the plug-in directory.
std::map<std::wstring, std::wstring> Files(const std::wstring& text) {
    std::map<std::wstring, std::wstring> files;
    std::wistringstream words(text);
    for (std::wstring word; words >> word;) {
        const std::size_t equals = word.find(L'=');
        std::wstring path = word.substr(0, equals);
        if (path.rfind(L"S\\", 0) == 0 || path.rfind(L"P\\", 0) == 0) {
            path = (path[0] == L'S' ? kSuite : kPlugins) + path.substr(2);
        }
        files[path] = word.substr(equals + 1);
    }
    return files;
}

std::wstring Offered(const DecisionResults& r) {
    return r.currentName + L"|" + r.currentVersion + L"|" + r.currentFileName + L"|" +
           r.targetDependency;
}

// The switches as letters: s (suite run), p (plug-in mode), e (enforce).
DecisionOptions Target(const std::wstring& target, const std::string& switches = "",
                       const std::wstring& requested = L"") {
    DecisionOptions o;
    o.targetProduct = target;
    o.requestedVersion = requested;
    o.suiteMode = switches.find('s') != std::string::npos;
    o.pluginMode = switches.find('p') != std::string::npos;
    o.enforceSwitch = switches.find('e') != std::string::npos;
    return o;
}

const Registry kCalendarKeys = {{RegistryId(ProductKey::kCalendar, kValueInstallDir), L"C:\\Cal"},
                                {RegistryId(ProductKey::kCalendar, kValuePluginsPath), kPlugins}};

struct Scenario {
    const char* name;
    DecisionOptions options;
    const wchar_t* entries;
    const wchar_t* files;
    const wchar_t* decided;
    const wchar_t* offered = nullptr;  // the window's results; not checked when null
    Registry registry = kCalendarKeys;
};

// Runs the decision twice, as the program does: the second run must change nothing.
void Check(const Scenario& s, DecisionResults results = {}) {
    SCOPED_TRACE(s.name);
    FakeMachine fake;
    fake.files = Files(s.files);
    fake.registry = s.registry;
    UpdateList list = Entries(s.entries);
    DecideUpdates(list, s.options, fake.Machine(), results);
    EXPECT_EQ(Decided(list), s.decided);
    const std::wstring offered = Offered(results);
    if (s.offered != nullptr) {
        EXPECT_EQ(offered, s.offered);
    }
    DecideUpdates(list, s.options, fake.Machine(), results);
    EXPECT_EQ(Decided(list), s.decided) << "second run";
    EXPECT_EQ(Offered(results), offered) << "second run";
}

TEST(TargetedDecision, InstalledVersionRules) {
    const Scenario scenarios[] = {
        // The window offers the last entry handled.
        {"main program older, updater current, other entries untouched", Target(L"keldra"),
         L"keldra:6.0.0.2@k6.exe pinnace:2.0.0.0 tallix:3.2.0.17@t.exe octakit:9.0.0.0",
         L"S\\k6.exe=6.0.0.1 S\\pinnace.exe=1.0.0.0 S\\t.exe=3.2.0.17 S\\octakit.exe=1.0.0.0",
         L"keldra=6.0.0.1* pinnace= tallix=3.2.0.17 octakit=", L"tallix display|3.2.0.17|t.exe|"},
        {"the target after the updater is offered", Target(L"keldra"),
         L"tallix:3.2.0.18 keldra:6.0.0.2@k6.exe", L"", L"tallix=* keldra=*",
         L"keldra display|6.0.0.2|k6.exe|"},
        {"calendar by its file in the suite directory", Target(L"dayloom"), L"dayloom:3.0.0.1",
         L"S\\dayloom.exe=3.0.0.0", L"dayloom=3.0.0.0*"},
        {"an older offer is no update", Target(L"dayloom"), L"dayloom:2.9.9.9",
         L"S\\dayloom.exe=3.0.0.0", L"dayloom=3.0.0.0"},
        {"caller's version older: nothing looked up for the target, the updater still is",
         Target(L"dayloom", "", L"3.0.0.0"), L"dayloom:3.0.0.1 tallix:3.2.0.18",
         L"S\\dayloom.exe=3.0.0.1 S\\tallix.exe=3.2.0.17", L"dayloom=* tallix=3.2.0.17*"},
        {"caller's version equal to the offered one", Target(L"dayloom", "", L"3.0.0.1"),
         L"dayloom:3.0.0.1", L"", L"dayloom="},
        {"octakit by its tag, not by its package name", Target(L"octakit"),
         L"octakit:2.0.0.0@octakit_pkg.exe", L"S\\octakit.exe=2.0.0.0 S\\octakit_pkg.exe=1.0.0.0",
         L"octakit=2.0.0.0"},
        {"ostrakit by its tag even in plug-in mode", Target(L"ostrakit", "p"),
         L"ostrakit:2.0.0.1@ostra_pkg.exe", L"S\\ostrakit.exe=2.0.0.0 P\\ostra_pkg.exe=2.0.0.1",
         L"ostrakit=2.0.0.0*"},
        {"plug-in mode: the plug-in directory for the target, the suite for the updater",
         Target(L"weather", "p"), L"weather:1.1.0.0@weather.dll tallix:3.2.0.18",
         L"P\\weather.dll=1.0.0.0 S\\weather.dll=1.1.0.0 P\\tallix.exe=1.0.0.0 "
         L"S\\tallix.exe=3.2.0.18",
         L"weather=1.0.0.0* tallix=3.2.0.18"},
        {"plug-in mode: missing from the plug-in directory", Target(L"weather", "p"),
         L"weather:1.1.0.0@weather.dll", L"S\\weather.dll=1.1.0.0 weather.dll=1.1.0.0",
         L"weather=*"},
        {"plug-in mode for the calendar itself leaves its plug-ins alone", Target(L"dayloom", "p"),
         L"dayloom:3.0.0.1 cal_a:1.0.0.2@cal_a.dll#1",
         L"P\\dayloom.exe=3.0.0.1 S\\dayloom.exe=3.0.0.0 cal_a.dll=1.0.0.1",
         L"dayloom=3.0.0.1 cal_a="},
        {"the calendar decides its plug-ins (placement kind 1 only) first", Target(L"dayloom"),
         L"dayloom:3.0.0.1 cal_a:1.0.0.2@cal_a.dll#1 cal_b:1.0.0.0@cal_b.dll#1! "
         L"cal_c:1.0.0.2@cal_c.dll#2",
         L"S\\dayloom.exe=3.0.0.1 cal_a.dll=1.0.0.1 cal_c.dll=1.0.0.1",
         L"dayloom=3.0.0.1 cal_a=1.0.0.1* cal_b= cal_c="},
        {"a missing enforced plug-in with the enforce switch", Target(L"dayloom", "e"),
         L"dayloom:3.0.0.1 cal_b:1.0.0.0@cal_b.dll#1!", L"S\\dayloom.exe=3.0.0.1",
         L"dayloom=3.0.0.1 cal_b=*"},
        {"the target's dependencies", Target(L"keldra"),
         L"keldra:6.0.0.1<,Pinnace,WARDEL, pinnace:2.0.0.0 wardel:1.0.0.0 octakit:2.0.0.0",
         L"S\\keldra.exe=6.0.0.1 S\\pinnace.exe=1.0.0.0 S\\octakit.exe=1.0.0.0",
         L"keldra=6.0.0.1 pinnace=1.0.0.0* wardel=* octakit="}};
    for (const Scenario& s : scenarios) {
        Check(s);
    }
    // The calendar's setup packages take the version of the installed calendar.
    for (const std::wstring tag :
         {L"dayloomsetup", L"dayloomsetup_silent", L"pinnacesetup", L"pinnacesetup_silent"}) {
        const std::wstring entry = tag + L":3.0.0.1";
        const std::wstring files = L"C:\\Cal\\dayloom.exe=3.0.0.0 S\\" + tag + L".exe=3.0.0.1";
        const std::wstring installed = tag + L"=3.0.0.0*", missing = tag + L"=*";
        Scenario s{"installed calendar", Target(tag), entry.c_str(), files.c_str(),
                   installed.c_str()};
        Check(s);
        s.name = "calendar not registered";
        s.decided = missing.c_str();
        s.registry.clear();
        Check(s);
    }
}

TEST(SuiteDecision, InstalledVersionRules) {
    const Registry fennickKey = {{RegistryId(ProductKey::kFennick, kValueInstallDir), L"C:\\F\\"}};
    const wchar_t localUpgrade[] = L"C:\\Local\\orvane\\marlow\\upgrade.exe";
    const std::wstring below = std::wstring(localUpgrade) + L"=1.0.3.1 S\\upgrade.exe=1.0.3.5";
    const std::wstring at = std::wstring(localUpgrade) + L"=1.0.3.2";
    const std::wstring newer = std::wstring(localUpgrade) + L"=1.0.4.0";
    const wchar_t components[] = L"keldra:6.0.0.2 pinnace:2.0.0.0 wardel:1.0.0.0! octakit:1.0.0.0";
    const wchar_t installed[] = L"S\\keldra.exe=6.0.0.1 S\\pinnace.exe=2.0.0.0";
    const Scenario scenarios[] = {
        // The window offers the main program's entry; the file name stays as it was.
        {"components without the enforce switch", Target(L"keldra", "s"), components, installed,
         L"keldra=6.0.0.1* pinnace=2.0.0.0 wardel= octakit=", L"keldra display|6.0.0.2||"},
        {"components with the enforce switch", Target(L"keldra", "se"), components, installed,
         L"keldra=6.0.0.1* pinnace=2.0.0.0 wardel=* octakit="},
        {"keldra.exe missing forces the main entry", Target(L"keldra", "s"),
         L"keldra:6.0.0.1@keldra_6.exe", L"S\\keldra_6.exe=6.0.0.1", L"keldra=6.0.0.1*"},
        {"keldra.exe present at the offered version", Target(L"keldra", "s"),
         L"keldra:6.0.0.1@keldra_6.exe", L"S\\keldra_6.exe=6.0.0.1 S\\keldra.exe=5.0.0.0",
         L"keldra=6.0.0.1"},
        {"hostile package names are neither looked up nor updated", Target(L"keldra", "se"),
         L"ha:1.0.0.1@..\\evil.exe! hb:1.0.0.1@CON! hc:1.0.0.1@C:x.exe! keldra:6.0.0.2@C:k.exe",
         L"S\\..\\evil.exe=1.0.0.0", L"ha= hb= hc= keldra="},
        {"fennick not installed is never updated", Target(L"keldra", "se"), L"fennick:1.0.0.1!",
         L"S\\fennick.exe=1.0.0.0", L"fennick=9999.9999.9999.9999"},
        {"fennick registered but its file missing", Target(L"keldra", "se"), L"fennick:1.0.0.1!",
         L"", L"fennick=9999.9999.9999.9999", nullptr, fennickKey},
        {"fennick installed and older", Target(L"keldra", "s"), L"fennick:1.0.0.1",
         L"C:\\F\\fennick.exe=1.0.0.0", L"fennick=1.0.0.0*", nullptr, fennickKey},
        {"upgrade program below 1.0.3.2", Target(L"keldra", "s"), L"upgrade:1.0.3.5", below.c_str(),
         L"upgrade=1.0.3.1*"},
        {"upgrade program at 1.0.3.2 counts as not installed", Target(L"keldra", "s"),
         L"upgrade:1.0.3.5", at.c_str(), L"upgrade="},
        {"newer upgrade program, enforced", Target(L"keldra", "se"), L"upgrade:1.0.3.5!",
         newer.c_str(), L"upgrade=*"},
        {"the sibling's own directory is not consulted",
         Target(L"keldra", "s"),
         L"upgrade:1.0.3.1",
         L"C:\\M\\upgrade.exe=1.0.0.0",
         L"upgrade=",
         nullptr,
         {{RegistryId(ProductKey::kMarlow, kValueInstallNewPath), L"C:\\M"}}},
        // Placement kind 2 is no plug-in: its file in the suite directory decides.
        {"plug-ins: the plug-in directory only when it holds the offered version",
         Target(L"keldra", "s"),
         L"pa:1.0.0.2@pa.dll#1 pb:1.0.0.2@pb.dll#1 pc:1.0.0.2@pc.dll#1 pd:1.0.0.2@pd.dll#1! "
         L"upgrade:1.0.0.1@up.dll#1 pe:1.0.0.2@pe.dll#2",
         L"P\\pa.dll=1.0.0.2 pa.dll=0.5.0.0 P\\pb.dll=1.0.0.3 pb.dll=1.0.0.1 P\\pc.dll=1.0.0.1 "
         L"pc.dll=1.0.0.2 P\\up.dll=1.0.0.1 P\\pe.dll=1.0.0.2 S\\pe.dll=1.0.0.1",
         L"pa=1.0.0.2 pb=1.0.0.1* pc=1.0.0.2 pd= upgrade=1.0.0.1 pe=1.0.0.1*"}};
    for (const Scenario& s : scenarios) {
        Check(s);
    }
}

TEST(SuiteDecision, DependencyListDependenciesAndTheirTokens) {
    // Missing and not enforced: only a dependency of an installed component is forced.
    Scenario s = {"installed components' depend texts",
                  Target(L"keldra", "s"),
                  L"keldra:6.0.0.1<pinnace,wardel tallix:3.2.0.17<pinnace,wardel "
                  L"octakit:1.0.0.0<wardel pinnace:2.0.0.0<,Guard, ghost:1.0.0.0<lost "
                  L"wardel:1.0.0.0 guard:1.0.0.0 lost:1.0.0.0",
                  L"S\\keldra.exe=6.0.0.1 S\\tallix.exe=3.2.0.17 S\\octakit.exe=1.0.0.0 "
                  L"S\\pinnace.exe=2.0.0.0",
                  L"keldra=6.0.0.1 tallix=3.2.0.17 octakit=1.0.0.0 pinnace=2.0.0.0 ghost= "
                  L"wardel=* guard=* lost=",
                  L"keldra display|6.0.0.1||pinnace,wardel,,Guard,,"};
    Check(s);
    // A depend text already in the list is not added again.
    s.offered = L"keldra display|6.0.0.1|kept.exe|pinnace,wardel,Guard,,";
    Check(s, {L"", L"", L"kept.exe", L"pinnace,wardel"});
    // A dependency decides the first entry of its tag, as in a targeted run: the first "dup" is
    // missing and forced, the second (missing and not enforced) is left as the suite pass left it.
    Check({"the first entry of a duplicated tag", Target(L"keldra", "s"),
           L"keldra:6.0.0.1<dup dup:1.0.0.0@dup1.exe dup:1.0.0.0@dup2.exe",
           L"S\\keldra.exe=6.0.0.1", L"keldra=6.0.0.1 dup=* dup="});
    // The tokens of a depend text name whole tags, in any case.
    FakeMachine fake;
    fake.files = Files(L"S\\pinnace.exe=1.0.0.0 S\\octakit.exe= S\\keldra.exe=1.0.0.0");
    // "pin" comes first so that a token matching by substring (either way) would decide it.
    const wchar_t entries[] =
        L"pin:9.0.0.0@pinnace.exe pinnace:2.0.0.0 wardel:1.0.0.0 "
        L"wardel:1.0.0.0 octakit:1.0.0.0 keldra:1.0.0.0 blank";
    const std::pair<const wchar_t*, const wchar_t*> texts[] = {
        {L",Pinnace,,WARDEL,octakit,keldra,",
         L"pin= pinnace=1.0.0.0* wardel=* wardel= octakit= keldra=1.0.0.0 blank="},
        {L"blank", L"pin= pinnace= wardel= wardel= octakit= keldra= blank=*"},
        {L"pinnace ,wardel", L"pin= pinnace= wardel=* wardel= octakit= keldra= blank="},
        {L",,,", L"pin= pinnace= wardel= wardel= octakit= keldra= blank="}};
    for (const auto& [text, decided] : texts) {
        UpdateList list = Entries(entries);
        EvaluateDependencies(text, list, fake.Machine());
        EXPECT_EQ(Decided(list), decided) << ::testing::PrintToString(std::wstring(text));
    }
}

// The watch that keeps the dependency list linear answers as a search of the whole text would,
// on texts of a small alphabet (many overlaps, patterns inside patterns) fed in pieces.
TEST(SuiteDecision, DependencyWatchAnswersAsASearchOfTheListSoFar) {
    std::mt19937 random(7);
    const auto text = [&random](int longest) {
        std::wstring t(std::uniform_int_distribution<int>(0, longest)(random), L'a');
        for (wchar_t& c : t) {
            c = L"ab,"[std::uniform_int_distribution<int>(0, 2)(random)];
        }
        return t;
    };
    for (int round = 0; round < 200; ++round) {
        std::vector<std::wstring> patterns;
        for (int i = 0; i < 12; ++i) {
            patterns.push_back(text(6));
        }
        SubstringWatch watch(patterns);
        std::wstring fed;
        for (int piece = 0; piece < 6; ++piece) {
            const std::wstring more = text(5);
            watch.Feed(more);
            fed += more;
            for (const std::wstring& p : patterns) {
                ASSERT_EQ(watch.Seen(p), fed.find(p) != std::wstring::npos)
                    << "pattern \"" << ::testing::PrintToString(p) << "\" in "
                    << ::testing::PrintToString(fed);
            }
        }
        EXPECT_FALSE(watch.Seen(L"not given"));
    }
}

TEST(DecisionQueries, UpdateAvailableEmptyListAndOptionsFromTheSwitches) {
    const std::tuple<const wchar_t*, const wchar_t*, bool, bool> cases[] = {
        // target, entries, updater update available, target update available
        {L"dayloom", L"", false, false},
        {L"Keldra", L"keldra:1<pinnace,wardel* tallix:1", false, true},
        {L"keldra", L"keldra:1<pinnace,wardel keldra:1*", false, false},  // the first entry only
        {L"keldra", L"keldra:1<pinnace,wardel wardel:1*", false, true},   // in the depend text
        {L"keldra", L"keldra:1<pinnace,wardel ward:1*", false, true},     // part of a name in it
        {L"keldra", L"keldra:1<pinnace,wardel octakit:1*", false, false},
        {L"fennick", L"wardel:1*", false, false},                    // needs a target entry
        {L"DayLoom", L"pa:1#1*", false, true},                       // the calendar's plug-ins
        {L"dayloom", L"octakit:1* pb:1#2* tallix:1*", true, false},  // only kind 1 counts
        {L"keldra", L"keldra:1 pa:1#1*", false, false},              // only for the calendar
        {L"keldra", L"tallix:1 tallix:2*", false, false},            // the first updater entry only
        {L"keldra", L"Tallix:1*", false, false},                     // the updater's tag exactly
    };
    for (const auto& [target, entries, updater, available] : cases) {
        const UpdateList list = Entries(entries);
        EXPECT_EQ(UpdaterUpdateAvailable(list), updater) << ::testing::PrintToString(entries);
        EXPECT_EQ(TargetUpdateAvailable(list, target), available)
            << ::testing::PrintToString(entries);
    }
    // An empty list leaves the results; the options come from the switches.
    FakeMachine fake;
    UpdateList list;
    DecisionResults results{L"name", L"1.0", L"file.exe", L"a,"};
    DecideUpdates(list, Target(L"keldra"), fake.Machine(), results);
    DecideUpdates(list, Target(L"keldra", "se"), fake.Machine(), results);
    EXPECT_EQ(Offered(results), L"name|1.0|file.exe|a,");

    SessionOptions session;
    session.productKey = L"dayloom";
    session.requestedVersion = L"3.0.0.0";
    for (int bits = 0; bits < 8; ++bits) {
        session.suiteCaller = bits & 1;
        session.enforce = bits & 2;
        session.fromCalendar = bits & 4;
        const DecisionOptions o = DecisionOptionsFrom(session);
        EXPECT_EQ(o.targetProduct + L"|" + o.requestedVersion, L"dayloom|3.0.0.0");
        EXPECT_EQ(o.suiteMode + 2 * o.enforceSwitch + 4 * o.pluginMode, bits);
    }
}

const std::wstring kKeldra = L"HKLM|Software\\Orvane\\Keldra|";
const std::wstring kKeldra64 = L"HKLM|Software\\Wow6432Node\\Orvane\\Keldra|";
const std::wstring kHelvor = L"HKLM|Software\\orvane\\Helvor3|";
const std::wstring kHelvor64 = L"HKLM|Software\\Wow6432Node\\orvane\\Helvor3|";

TEST(Paths, SuiteDirectoryAppendAndTheProductsFromTheUsersRegistryValues) {
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
        {L"C:\\a", L"D:", L"D:"},  // a bare drive is rooted too
        {L"C:\\a", L"D", L"C:\\a\\D"},
        {L"C:\\a", L"x\\y", L"C:\\a\\x\\y"}};
    for (const auto& [directory, more, joined] : cases) {
        EXPECT_EQ(AppendPath(directory, more), joined);
    }
    // The products' paths come from the user's registry values.
    const std::pair<std::wstring (*)(const ProductProbe&), const wchar_t*> lookups[] = {
        {CalendarExecutablePath, L"C:\\Cal\\dayloom.exe"},
        {CalendarPluginsPath, L"C:\\Cal\\plugins\\"},
        {FennickExecutablePath, L"C:\\Fenfennick.exe"},  // no separator added
        {MarlowExecutablePath, L"C:\\Mar\\marlow.exe"},
        {MarlowUpgradePath, L"C:\\Mar\\upgrade.exe"}};
    FakeMachine m;
    for (const auto& [lookup, path] : lookups) {
        EXPECT_EQ(lookup(m.Machine().probe), L"") << path;
    }
    m.registry = {{L"HKCU|Software\\Orvane\\Dayloom|Install_Dir", L"C:\\Cal"},
                  {L"HKCU|Software\\Orvane\\Dayloom|PluginsPath", L"C:\\Cal\\plugins\\"},
                  {L"HKCU|Software\\Orvane\\Fennick3|Install_Dir", L"C:\\Fen"},
                  {L"HKCU|Software\\Orvane\\Marlow|Install_NewPath", L"C:\\Mar"}};
    for (bool wow64 : {false, true}) {  // the user's keys have no WOW64 path
        m.wow64 = wow64;
        for (const auto& [lookup, path] : lookups) {
            EXPECT_EQ(lookup(m.Machine().probe), path);
        }
    }
    EXPECT_EQ(ProductRegistryKey(ProductKey::kUpdater, false).path, L"Software\\Orvane\\Tallix");
    EXPECT_EQ(MarlowUpgradeInLocalAppData(L"C:\\Users\\u\\AppData\\Local"),
              L"C:\\Users\\u\\AppData\\Local\\orvane\\marlow\\upgrade.exe");
    EXPECT_EQ(MarlowUpgradeInLocalAppData(L""), L"");
}

TEST(MainProgram, PresentByEachTestAndItsVersion6Line) {
    const Registry main = {{kKeldra + L"Install_Dir", L"D:\\K"}, {kKeldra + L"ExeName", L"k.exe"}};
    const Registry main64 = {{kKeldra64 + L"Install_Dir", L"D:\\K\\"},
                             {kKeldra64 + L"ExeName", L"k.exe"}};
    const Registry noExeName = {{kKeldra + L"Install_Dir", L"D:\\K"}};
    const Registry helvor = {{kHelvor + L"Install_Dir", L"E:\\H"}};
    const Registry helvor64 = {{kHelvor64 + L"Install_Dir", L"E:\\H\\"}};
    const wchar_t *k = L"D:\\K\\k.exe", *h = L"E:\\H\\Helvor3.exe";
    // name, WOW64, the files, the registry values, the product key; whether it is present.
    const std::tuple<const char*, bool, const wchar_t*, Registry, const wchar_t*, bool> cases[] = {
        {"nothing", false, L"", {}, L"keldra", false},
        {"keldra.exe beside the updater", false, L"S\\keldra.exe", {}, L"", true},
        {"main key", false, k, main, L"", true},
        {"main key, file missing", false, L"", main, L"", false},
        {"main key without ExeName", false, L"D:\\K\\keldra.exe D:\\K\\", noExeName, L"", false},
        {"main key under WOW64, directory with backslash", true, k, main64, L"", true},
        {"native key ignored under WOW64", true, k, main, L"", false},
        {"older line", false, h, helvor, L"", true},
        {"older line under WOW64", true, h, helvor64, L"", true},
        {"older line, file missing", false, L"", helvor, L"", false},
        // Setup packages of the calendar and the tray companion need no main program.
        {"dayloomsetup", false, L"", {}, L"DayloomSetup", true},
        {"dayloomsetup_silent", false, L"", {}, L"dayloomsetup_silent", true},
        {"pinnacesetup", false, L"", {}, L"pinnacesetup", true},
        {"pinnacesetup_silent", false, L"", {}, L"PINNACESETUP_SILENT", true},
        {"other setup", false, L"", {}, L"keldrasetup", false}};
    for (const auto& [name, wow64, files, values, productKey, present] : cases) {
        FakeMachine m;
        m.wow64 = wow64;
        m.files = Files(files);
        m.registry = values;
        EXPECT_EQ(MainProgramPresent(kSuite, productKey, m.Machine().probe), present) << name;
        if (name == std::string("keldra.exe beside the updater")) {
            EXPECT_TRUE(m.reads.empty());  // the first test that holds ends the search
        }
    }
    // The version-6 line needs more than 6.0.0.0.
    EXPECT_FALSE(IsVersion6Line(L""));
    EXPECT_FALSE(IsVersion6Line(L"6.0.0.0"));
    EXPECT_TRUE(IsVersion6Line(L"6.0.0.1"));
}

}  // namespace
