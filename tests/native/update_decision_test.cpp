#include "manifest/update_decision.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "manifest/version.h"
#include "tests/native/decision_machine_fake.h"

namespace {

using namespace decision_fake;

using Files = std::map<std::wstring, std::wstring>;
using Registry = std::map<std::wstring, std::wstring>;

UpdateItem Item(const std::wstring& tag, const std::wstring& version,
                const std::wstring& fileName = L"", const std::wstring& depend = L"") {
    UpdateItem item;
    item.tag = tag;
    item.name = tag + L" display";
    item.version = version;
    item.fileName = fileName.empty() ? tag + L".exe" : fileName;
    item.depend = depend;
    return item;
}
UpdateItem Enforced(UpdateItem item) {
    item.enforce = true;
    return item;
}
UpdateItem Plugin(UpdateItem item) {
    item.placementKind = 1;
    return item;
}
UpdateItem Needs(UpdateItem item) {
    item.updateNeeded = true;
    return item;
}

DecisionOptions Targeted(const std::wstring& target, const std::wstring& requested = L"",
                         bool pluginMode = false, bool enforceSwitch = false) {
    DecisionOptions options;
    options.targetProduct = target;
    options.requestedVersion = requested;
    options.pluginMode = pluginMode;
    options.enforceSwitch = enforceSwitch;
    return options;
}
DecisionOptions Suite(bool enforceSwitch) {
    DecisionOptions options = Targeted(L"keldra", L"", false, enforceSwitch);
    options.suiteMode = true;
    return options;
}

const Registry kCalendarKeys = {{RegistryId(ProductKey::kCalendar, kValueInstallDir), L"C:\\Cal"},
                                {RegistryId(ProductKey::kCalendar, kValuePluginsPath), kPlugins}};

// The k-th entry with a tag takes the k-th expectation with that tag; entries without one must be
// left as they were created (nothing installed, no update).
struct Expect {
    const wchar_t* tag;
    const wchar_t* installed;
    bool needed;
};

struct Scenario {
    const char* name;
    DecisionOptions options;
    std::vector<UpdateItem> entries;
    Files files;
    Registry registry;
    std::vector<Expect> expect;
};

using Observed = std::vector<std::pair<std::wstring, bool>>;

Observed Observe(const UpdateList& list) {
    Observed seen;
    for (const auto& item : list) {
        seen.emplace_back(item->installedVersion, item->updateNeeded);
    }
    return seen;
}

// Runs the decision twice, as the program does, and checks that the second run changes nothing.
UpdateList RunTwice(const Scenario& s, DecisionResults& results) {
    FakeMachine fake;
    fake.files = s.files;
    fake.registry = s.registry;
    const DecisionMachine machine = fake.Machine();
    UpdateList list;
    for (const UpdateItem& entry : s.entries) {
        list.push_back(std::make_unique<UpdateItem>(entry));
    }
    DecideUpdates(list, s.options, machine, results);
    const Observed first = Observe(list);
    const DecisionResults firstResults = results;
    DecideUpdates(list, s.options, machine, results);
    EXPECT_EQ(Observe(list), first) << "second run differs";
    EXPECT_EQ(results.targetDependency, firstResults.targetDependency);
    EXPECT_EQ(results.currentName, firstResults.currentName);
    EXPECT_EQ(results.currentVersion, firstResults.currentVersion);
    EXPECT_EQ(results.currentFileName, firstResults.currentFileName);
    return list;
}

void ExpectItems(const UpdateList& list, const std::vector<Expect>& expect) {
    std::map<std::wstring, std::size_t> seen;
    for (const auto& item : list) {
        std::size_t wanted = seen[item->tag]++;
        const Expect* found = nullptr;
        for (const Expect& e : expect) {
            if (e.tag == item->tag && wanted-- == 0) {
                found = &e;
                break;
            }
        }
        SCOPED_TRACE(testing::PrintToString(item->tag));
        EXPECT_EQ(item->installedVersion, found ? found->installed : L"");
        EXPECT_EQ(item->updateNeeded, found ? found->needed : false);
    }
}

void Check(const Scenario& s) {
    SCOPED_TRACE(s.name);
    DecisionResults results;
    ExpectItems(RunTwice(s, results), s.expect);
}

TEST(TargetedDecision, InstalledVersionRules) {
    const Scenario scenarios[] = {
        {"main program older, updater current, other entries untouched",
         Targeted(L"keldra"),
         {Item(L"keldra", L"6.0.0.2"), Item(L"pinnace", L"2.0.0.0"), Item(L"tallix", L"3.2.0.17"),
          Item(L"octakit", L"9.0.0.0"), Item(L"keldrasetup", L"6.0.0.2")},
         {{InSuite(L"keldra.exe"), L"6.0.0.1"},
          {InSuite(L"pinnace.exe"), L"1.0.0.0"},
          {InSuite(L"tallix.exe"), L"3.2.0.17"},
          {InSuite(L"octakit.exe"), L"1.0.0.0"}},
         {},
         {{L"keldra", L"6.0.0.1", true}, {L"tallix", L"3.2.0.17", false}}},
        {"nothing installed: target and updater both need an update",
         Targeted(L"keldra"),
         {Item(L"keldra", L"6.0.0.2"), Item(L"tallix", L"3.2.0.18")},
         {},
         {},
         {{L"keldra", L"", true}, {L"tallix", L"", true}}},
        {"calendar by its file in the suite directory",
         Targeted(L"dayloom"),
         {Item(L"dayloom", L"3.0.0.1")},
         {{InSuite(L"dayloom.exe"), L"3.0.0.0"}},
         kCalendarKeys,
         {{L"dayloom", L"3.0.0.0", true}}},
        {"caller's version older: update, nothing looked up; the updater is still looked up",
         Targeted(L"dayloom", L"3.0.0.0"),
         {Item(L"dayloom", L"3.0.0.1"), Item(L"tallix", L"3.2.0.18")},
         {{InSuite(L"dayloom.exe"), L"3.0.0.1"}, {InSuite(L"tallix.exe"), L"3.2.0.17"}},
         kCalendarKeys,
         {{L"dayloom", L"", true}, {L"tallix", L"3.2.0.17", true}}},
        {"caller's version equal to the offered one",
         Targeted(L"dayloom", L"3.0.0.1"),
         {Item(L"dayloom", L"3.0.0.1")},
         {},
         {},
         {{L"dayloom", L"", false}}},
        {"octakit by its tag, not by its package name",
         Targeted(L"octakit"),
         {Item(L"octakit", L"2.0.0.0", L"octakit_pkg.exe")},
         {{InSuite(L"octakit.exe"), L"2.0.0.0"}, {InSuite(L"octakit_pkg.exe"), L"1.0.0.0"}},
         {},
         {{L"octakit", L"2.0.0.0", false}}},
        {"ostrakit by its tag even in plug-in mode",
         Targeted(L"ostrakit", L"", true),
         {Item(L"ostrakit", L"2.0.0.1", L"ostra_pkg.exe")},
         {{InSuite(L"ostrakit.exe"), L"2.0.0.0"}, {InPlugins(L"ostra_pkg.exe"), L"2.0.0.1"}},
         kCalendarKeys,
         {{L"ostrakit", L"2.0.0.0", true}}},
        {"plug-in mode: the plug-in directory for the target, the suite for the updater",
         Targeted(L"weather", L"", true),
         {Item(L"weather", L"1.1.0.0", L"weather.dll"), Item(L"tallix", L"3.2.0.18")},
         {{InPlugins(L"weather.dll"), L"1.0.0.0"},
          {InSuite(L"weather.dll"), L"1.1.0.0"},
          {InPlugins(L"tallix.exe"), L"1.0.0.0"},
          {InSuite(L"tallix.exe"), L"3.2.0.18"}},
         kCalendarKeys,
         {{L"weather", L"1.0.0.0", true}, {L"tallix", L"3.2.0.18", false}}},
        {"plug-in mode: missing from the plug-in directory",
         Targeted(L"weather", L"", true),
         {Item(L"weather", L"1.1.0.0", L"weather.dll")},
         {{InSuite(L"weather.dll"), L"1.1.0.0"}, {L"weather.dll", L"1.1.0.0"}},
         kCalendarKeys,
         {{L"weather", L"", true}}},
        {"plug-in mode for the calendar itself leaves its plug-ins alone",
         Targeted(L"dayloom", L"", true),
         {Item(L"dayloom", L"3.0.0.1"), Plugin(Item(L"cal_a", L"1.0.0.2", L"cal_a.dll"))},
         {{InPlugins(L"dayloom.exe"), L"3.0.0.1"},
          {InSuite(L"dayloom.exe"), L"3.0.0.0"},
          {L"cal_a.dll", L"1.0.0.1"}},
         kCalendarKeys,
         {{L"dayloom", L"3.0.0.1", false}}},
        {"the calendar decides its plug-ins first",
         Targeted(L"dayloom"),
         {Item(L"dayloom", L"3.0.0.1"), Plugin(Item(L"cal_a", L"1.0.0.2", L"cal_a.dll")),
          Enforced(Plugin(Item(L"cal_b", L"1.0.0.0", L"cal_b.dll")))},
         {{InSuite(L"dayloom.exe"), L"3.0.0.1"}, {L"cal_a.dll", L"1.0.0.1"}},
         kCalendarKeys,
         {{L"dayloom", L"3.0.0.1", false}, {L"cal_a", L"1.0.0.1", true}, {L"cal_b", L"", false}}},
        {"a missing enforced plug-in with the enforce switch",
         Targeted(L"dayloom", L"", false, true),
         {Item(L"dayloom", L"3.0.0.1"), Enforced(Plugin(Item(L"cal_b", L"1.0.0.0", L"cal_b.dll")))},
         {{InSuite(L"dayloom.exe"), L"3.0.0.1"}},
         kCalendarKeys,
         {{L"dayloom", L"3.0.0.1", false}, {L"cal_b", L"", true}}},
        {"the target's dependencies",
         Targeted(L"keldra"),
         {Item(L"keldra", L"6.0.0.1", L"", L",Pinnace,WARDEL,"), Item(L"pinnace", L"2.0.0.0"),
          Item(L"wardel", L"1.0.0.0"), Item(L"octakit", L"2.0.0.0")},
         {{InSuite(L"keldra.exe"), L"6.0.0.1"},
          {InSuite(L"pinnace.exe"), L"1.0.0.0"},
          {InSuite(L"octakit.exe"), L"1.0.0.0"}},
         {},
         {{L"keldra", L"6.0.0.1", false}, {L"pinnace", L"1.0.0.0", true}, {L"wardel", L"", true}}},
    };
    for (const Scenario& s : scenarios) {
        Check(s);
    }
}

TEST(TargetedDecision, CalendarSetupsUseTheCalendarExecutable) {
    for (const wchar_t* tag :
         {L"dayloomsetup", L"dayloomsetup_silent", L"pinnacesetup", L"pinnacesetup_silent"}) {
        const Files files = {{L"C:\\Cal\\dayloom.exe", L"3.0.0.0"},
                             {InSuite(std::wstring(tag) + L".exe"), L"3.0.0.1"}};
        Check({"installed calendar",
               Targeted(tag),
               {Item(tag, L"3.0.0.1")},
               files,
               kCalendarKeys,
               {{tag, L"3.0.0.0", true}}});
        Check({"calendar not registered",
               Targeted(tag),
               {Item(tag, L"3.0.0.1")},
               files,
               {},
               {{tag, L"", true}}});
    }
}

TEST(TargetedDecision, CurrentProductIsTheLastEntryHandled) {
    const Files files = {{InSuite(L"keldra.exe"), L"6.0.0.1"}};
    DecisionResults results;
    RunTwice({"target first",
              Targeted(L"keldra"),
              {Item(L"keldra", L"6.0.0.2", L"k6.exe"), Item(L"pinnace", L"1.0.0.0", L"p.exe"),
               Item(L"tallix", L"3.2.0.18", L"t.exe")},
              files,
              {},
              {}},
             results);
    EXPECT_EQ(results.currentName, L"tallix display");
    EXPECT_EQ(results.currentVersion, L"3.2.0.18");
    EXPECT_EQ(results.currentFileName, L"t.exe");
    RunTwice({"updater first",
              Targeted(L"keldra"),
              {Item(L"tallix", L"3.2.0.18", L"t.exe"), Item(L"keldra", L"6.0.0.2", L"k6.exe"),
               Item(L"pinnace", L"1.0.0.0", L"p.exe")},
              files,
              {},
              {}},
             results);
    EXPECT_EQ(results.currentName, L"keldra display");
    EXPECT_EQ(results.currentVersion, L"6.0.0.2");
    EXPECT_EQ(results.currentFileName, L"k6.exe");
}

TEST(SuiteDecision, InstalledVersionRules) {
    const std::wstring localUpgrade = std::wstring(kLocal) + L"\\orvane\\marlow\\upgrade.exe";
    const Registry fennickKey = {{RegistryId(ProductKey::kFennick, kValueInstallDir), L"C:\\F\\"}};
    const std::vector<UpdateItem> components = {
        Item(L"keldra", L"6.0.0.2"), Item(L"pinnace", L"2.0.0.0"),
        Enforced(Item(L"wardel", L"1.0.0.0")), Item(L"octakit", L"1.0.0.0")};
    const Files installed = {{InSuite(L"keldra.exe"), L"6.0.0.1"},
                             {InSuite(L"pinnace.exe"), L"2.0.0.0"}};
    const Scenario scenarios[] = {
        {"components without the enforce switch",
         Suite(false),
         components,
         installed,
         {},
         {{L"keldra", L"6.0.0.1", true},
          {L"pinnace", L"2.0.0.0", false},
          {L"wardel", L"", false},
          {L"octakit", L"", false}}},
        {"components with the enforce switch",
         Suite(true),
         components,
         installed,
         {},
         {{L"keldra", L"6.0.0.1", true},
          {L"pinnace", L"2.0.0.0", false},
          {L"wardel", L"", true},
          {L"octakit", L"", false}}},
        {"keldra.exe missing forces the main entry",
         Suite(false),
         {Item(L"keldra", L"6.0.0.1", L"keldra_6.exe")},
         {{InSuite(L"keldra_6.exe"), L"6.0.0.1"}},
         {},
         {{L"keldra", L"6.0.0.1", true}}},
        {"keldra.exe present at the offered version",
         Suite(false),
         {Item(L"keldra", L"6.0.0.1", L"keldra_6.exe")},
         {{InSuite(L"keldra_6.exe"), L"6.0.0.1"}, {InSuite(L"keldra.exe"), L"5.0.0.0"}},
         {},
         {{L"keldra", L"6.0.0.1", false}}},
        {"fennick not installed is never updated",
         Suite(true),
         {Enforced(Item(L"fennick", L"1.0.0.1"))},
         {{InSuite(L"fennick.exe"), L"1.0.0.0"}},
         {},
         {{L"fennick", kFennickNotInstalled, false}}},
        {"fennick registered but its file missing",
         Suite(true),
         {Enforced(Item(L"fennick", L"1.0.0.1"))},
         {},
         fennickKey,
         {{L"fennick", kFennickNotInstalled, false}}},
        {"fennick installed and older",
         Suite(false),
         {Item(L"fennick", L"1.0.0.1")},
         {{L"C:\\F\\fennick.exe", L"1.0.0.0"}},
         fennickKey,
         {{L"fennick", L"1.0.0.0", true}}},
        {"upgrade program below 1.0.3.2",
         Suite(false),
         {Item(L"upgrade", L"1.0.3.5")},
         {{localUpgrade, L"1.0.3.1"}, {InSuite(L"upgrade.exe"), L"1.0.3.5"}},
         {},
         {{L"upgrade", L"1.0.3.1", true}}},
        {"upgrade program at 1.0.3.2 counts as not installed",
         Suite(false),
         {Item(L"upgrade", L"1.0.3.5")},
         {{localUpgrade, L"1.0.3.2"}},
         {},
         {{L"upgrade", L"", false}}},
        {"newer upgrade program, enforced",
         Suite(true),
         {Enforced(Item(L"upgrade", L"1.0.3.5"))},
         {{localUpgrade, L"1.0.4.0"}},
         {},
         {{L"upgrade", L"", true}}},
        {"the sibling's own directory is not consulted",
         Suite(false),
         {Item(L"upgrade", L"1.0.3.1")},
         {{L"C:\\M\\upgrade.exe", L"1.0.0.0"}},
         {{RegistryId(ProductKey::kMarlow, kValueInstallNewPath), L"C:\\M"}},
         {{L"upgrade", L"", false}}},
        {"plug-ins: the plug-in directory only when it holds the offered version",
         Suite(false),
         {Plugin(Item(L"pa", L"1.0.0.2", L"pa.dll")), Plugin(Item(L"pb", L"1.0.0.2", L"pb.dll")),
          Plugin(Item(L"pc", L"1.0.0.2", L"pc.dll")),
          Enforced(Plugin(Item(L"pd", L"1.0.0.2", L"pd.dll"))),
          Plugin(Item(L"upgrade", L"1.0.0.1", L"up.dll"))},
         {{InPlugins(L"pa.dll"), L"1.0.0.2"},
          {L"pa.dll", L"0.5.0.0"},
          {InPlugins(L"pb.dll"), L"1.0.0.3"},
          {L"pb.dll", L"1.0.0.1"},
          {InPlugins(L"pc.dll"), L"1.0.0.1"},
          {L"pc.dll", L"1.0.0.2"},
          {InPlugins(L"up.dll"), L"1.0.0.1"}},
         kCalendarKeys,
         {{L"pa", L"1.0.0.2", false},
          {L"pb", L"1.0.0.1", true},
          {L"pc", L"1.0.0.2", false},
          {L"pd", L"", false},
          {L"upgrade", L"1.0.0.1", false}}},
    };
    for (const Scenario& s : scenarios) {
        Check(s);
    }
}

TEST(SuiteDecision, DependencyListAndDependencies) {
    const Scenario s = {
        "installed components' depend texts",
        Suite(false),
        {Item(L"keldra", L"6.0.0.1", L"", L"pinnace,wardel"),
         Item(L"tallix", L"3.2.0.17", L"", L"pinnace,wardel"),
         Item(L"octakit", L"1.0.0.0", L"", L"wardel"),
         Item(L"pinnace", L"2.0.0.0", L"", L",Guard,"), Item(L"ghost", L"1.0.0.0", L"", L"lost"),
         Item(L"wardel", L"1.0.0.0"), Item(L"guard", L"1.0.0.0"), Item(L"lost", L"1.0.0.0")},
        {{InSuite(L"keldra.exe"), L"6.0.0.1"},
         {InSuite(L"tallix.exe"), L"3.2.0.17"},
         {InSuite(L"octakit.exe"), L"1.0.0.0"},
         {InSuite(L"pinnace.exe"), L"2.0.0.0"}},
        {},
        // Missing and not enforced: only a dependency of an installed component is forced.
        {{L"keldra", L"6.0.0.1", false},
         {L"tallix", L"3.2.0.17", false},
         {L"octakit", L"1.0.0.0", false},
         {L"pinnace", L"2.0.0.0", false},
         {L"ghost", L"", false},
         {L"wardel", L"", true},
         {L"guard", L"", true},
         {L"lost", L"", false}}};
    Check(s);
    DecisionResults results;
    RunTwice(s, results);
    EXPECT_EQ(results.targetDependency, L"pinnace,wardel,,Guard,,");
    EXPECT_EQ(results.currentName, L"keldra display");

    DecisionResults seeded;
    seeded.targetDependency = L"pinnace,wardel";  // as the manifest reader left it
    seeded.currentFileName = L"kept.exe";
    RunTwice(s, seeded);
    EXPECT_EQ(seeded.targetDependency, L"pinnace,wardel,Guard,,");
    EXPECT_EQ(seeded.currentFileName, L"kept.exe");
}

TEST(DecisionDependencies, Tokens) {
    FakeMachine fake;
    fake.files = {{InSuite(L"pinnace.exe"), L"1.0.0.0"},
                  {InSuite(L"octakit.exe"), L""},
                  {InSuite(L"keldra.exe"), L"1.0.0.0"}};
    const DecisionMachine machine = fake.Machine();
    // "pin" comes first so that a token matching by substring (either way) would decide it.
    const std::vector<UpdateItem> entries = {Item(L"pin", L"9.0.0.0", L"pinnace.exe"),
                                             Item(L"pinnace", L"2.0.0.0"),
                                             Item(L"wardel", L"1.0.0.0"),
                                             Item(L"wardel", L"1.0.0.0"),
                                             Item(L"octakit", L"1.0.0.0"),
                                             Item(L"keldra", L"1.0.0.0"),
                                             Item(L"blank", L"")};
    const struct {
        const wchar_t* text;
        std::vector<Expect> expect;
    } cases[] = {
        {L",Pinnace,,WARDEL,octakit,keldra,",
         {{L"pinnace", L"1.0.0.0", true},
          {L"wardel", L"", true},
          {L"octakit", L"", false},
          {L"keldra", L"1.0.0.0", false}}},
        {L"blank", {{L"blank", L"", true}}},
        {L"pinnace ,wardel", {{L"wardel", L"", true}}},
        {L",,,", {}},
        {L"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        UpdateList list;
        for (const UpdateItem& entry : entries) {
            list.push_back(std::make_unique<UpdateItem>(entry));
        }
        EvaluateDependencies(c.text, list, machine);
        ExpectItems(list, c.expect);
    }
}

TEST(DecisionQueries, UpdaterUpdateAvailable) {
    const struct {
        const char* name;
        std::vector<UpdateItem> entries;
        bool available;
    } cases[] = {
        {"empty list", {}, false},
        {"updater needs an update", {Item(L"keldra", L"1"), Needs(Item(L"tallix", L"1"))}, true},
        {"only the first updater entry counts",
         {Item(L"tallix", L"1"), Needs(Item(L"tallix", L"2"))},
         false},
        {"tag compared exactly", {Needs(Item(L"Tallix", L"1"))}, false},
        {"other entries do not count",
         {Needs(Item(L"keldra", L"1")), Item(L"tallix", L"1")},
         false},
    };
    for (const auto& c : cases) {
        UpdateList list;
        for (const UpdateItem& entry : c.entries) {
            list.push_back(std::make_unique<UpdateItem>(entry));
        }
        EXPECT_EQ(UpdaterUpdateAvailable(list), c.available) << c.name;
    }
}

TEST(DecisionQueries, TargetUpdateAvailable) {
    const UpdateItem target = Item(L"keldra", L"1", L"", L"pinnace,wardel");
    const struct {
        const char* name;
        const wchar_t* targetProduct;
        std::vector<UpdateItem> entries;
        bool available;
    } cases[] = {
        {"empty list", L"keldra", {}, false},
        {"empty list, calendar", L"dayloom", {}, false},
        {"(a) target needs, any case", L"Keldra", {Needs(target)}, true},
        {"(a) only the first target entry", L"keldra", {target, Needs(target)}, false},
        {"(b) named in the depend text", L"keldra", {target, Needs(Item(L"wardel", L"1"))}, true},
        {"(b) part of a name in the depend text",
         L"keldra",
         {target, Needs(Item(L"ward", L"1"))},
         true},
        {"(b) not named", L"keldra", {target, Needs(Item(L"octakit", L"1"))}, false},
        {"(b) needs a target entry", L"fennick", {Needs(Item(L"wardel", L"1"))}, false},
        {"(c) calendar plug-in", L"DayLoom", {Needs(Plugin(Item(L"pa", L"1")))}, true},
        {"(c) only for the calendar", L"keldra", {target, Needs(Plugin(Item(L"pa", L"1")))}, false},
        {"(c) a plug-in that needs nothing", L"dayloom", {Plugin(Item(L"pa", L"1"))}, false},
    };
    for (const auto& c : cases) {
        UpdateList list;
        for (const UpdateItem& entry : c.entries) {
            list.push_back(std::make_unique<UpdateItem>(entry));
        }
        EXPECT_EQ(TargetUpdateAvailable(list, c.targetProduct), c.available) << c.name;
    }
}

TEST(DecisionQueries, EmptyListLeavesResults) {
    FakeMachine fake;
    UpdateList list;
    DecisionResults results{L"name", L"1.0", L"file.exe", L"a,"};
    for (bool suite : {false, true}) {
        DecideUpdates(list, suite ? Suite(true) : Targeted(L"keldra"), fake.Machine(), results);
    }
    EXPECT_EQ(results.currentName, L"name");
    EXPECT_EQ(results.currentFileName, L"file.exe");
    EXPECT_EQ(results.targetDependency, L"a,");
    EXPECT_FALSE(UpdaterUpdateAvailable(list));
    EXPECT_FALSE(TargetUpdateAvailable(list, L"keldra"));
}

TEST(DecisionOptionsTest, FromSessionOptions) {
    SessionOptions session;
    session.productKey = L"dayloom";
    session.suiteCaller = true;
    session.requestedVersion = L"3.0.0.0";
    session.enforce = true;
    session.fromCalendar = true;
    const DecisionOptions options = DecisionOptionsFrom(session);
    EXPECT_EQ(options.targetProduct, L"dayloom");
    EXPECT_TRUE(options.suiteMode);
    EXPECT_EQ(options.requestedVersion, L"3.0.0.0");
    EXPECT_TRUE(options.enforceSwitch);
    EXPECT_TRUE(options.pluginMode);
}

}  // namespace
