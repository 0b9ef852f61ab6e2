#include "manifest/update_decision.h"

#include <gtest/gtest.h>

#include <memory>
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
UpdateItem Placed(UpdateItem item, int kind = 1) {
    item.placementKind = kind;
    return item;
}
UpdateItem Needs(UpdateItem item) {
    item.updateNeeded = true;
    return item;
}

UpdateList ListOf(const std::vector<UpdateItem>& entries) {
    UpdateList list;
    for (const UpdateItem& entry : entries) {
        list.push_back(std::make_unique<UpdateItem>(entry));
    }
    return list;
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

// Each entry as "<tag>=<installed version>", followed by "*" when it needs an update.
std::wstring Decided(const UpdateList& list) {
    std::wstring text;
    for (const auto& item : list) {
        text += (text.empty() ? L"" : L" ") + item->tag + L"=" + item->installedVersion +
                (item->updateNeeded ? L"*" : L"");
    }
    return text;
}

std::wstring Offered(const DecisionResults& r) {
    return r.currentName + L"|" + r.currentVersion + L"|" + r.currentFileName + L"|" +
           r.targetDependency;
}

struct Scenario {
    const char* name;
    DecisionOptions options;
    std::vector<UpdateItem> entries;
    Files files;
    Registry registry;
    const wchar_t* decided;
    const wchar_t* offered = nullptr;  // the window's results; not checked when null
};

// Runs the decision twice, as the program does: the second run must change nothing.
void Check(const Scenario& s, DecisionResults results = {}) {
    SCOPED_TRACE(s.name);
    FakeMachine fake;
    fake.files = s.files;
    fake.registry = s.registry;
    UpdateList list = ListOf(s.entries);
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
        {"main program older, updater current, other entries untouched",
         Targeted(L"keldra"),
         {Item(L"keldra", L"6.0.0.2", L"k6.exe"), Item(L"pinnace", L"2.0.0.0"),
          Item(L"tallix", L"3.2.0.17", L"t.exe"), Item(L"octakit", L"9.0.0.0")},
         {{InSuite(L"k6.exe"), L"6.0.0.1"},
          {InSuite(L"pinnace.exe"), L"1.0.0.0"},
          {InSuite(L"t.exe"), L"3.2.0.17"},
          {InSuite(L"octakit.exe"), L"1.0.0.0"}},
         {},
         L"keldra=6.0.0.1* pinnace= tallix=3.2.0.17 octakit=",
         // The window offers the last entry handled.
         L"tallix display|3.2.0.17|t.exe|"},
        {"the target after the updater is offered",
         Targeted(L"keldra"),
         {Item(L"tallix", L"3.2.0.18"), Item(L"keldra", L"6.0.0.2", L"k6.exe")},
         {},
         {},
         L"tallix=* keldra=*",
         L"keldra display|6.0.0.2|k6.exe|"},
        {"calendar by its file in the suite directory",
         Targeted(L"dayloom"),
         {Item(L"dayloom", L"3.0.0.1")},
         {{InSuite(L"dayloom.exe"), L"3.0.0.0"}},
         kCalendarKeys,
         L"dayloom=3.0.0.0*"},
        {"caller's version older: nothing looked up for the target, the updater still is",
         Targeted(L"dayloom", L"3.0.0.0"),
         {Item(L"dayloom", L"3.0.0.1"), Item(L"tallix", L"3.2.0.18")},
         {{InSuite(L"dayloom.exe"), L"3.0.0.1"}, {InSuite(L"tallix.exe"), L"3.2.0.17"}},
         kCalendarKeys,
         L"dayloom=* tallix=3.2.0.17*"},
        {"caller's version equal to the offered one",
         Targeted(L"dayloom", L"3.0.0.1"),
         {Item(L"dayloom", L"3.0.0.1")},
         {},
         {},
         L"dayloom="},
        {"octakit by its tag, not by its package name",
         Targeted(L"octakit"),
         {Item(L"octakit", L"2.0.0.0", L"octakit_pkg.exe")},
         {{InSuite(L"octakit.exe"), L"2.0.0.0"}, {InSuite(L"octakit_pkg.exe"), L"1.0.0.0"}},
         {},
         L"octakit=2.0.0.0"},
        {"ostrakit by its tag even in plug-in mode",
         Targeted(L"ostrakit", L"", true),
         {Item(L"ostrakit", L"2.0.0.1", L"ostra_pkg.exe")},
         {{InSuite(L"ostrakit.exe"), L"2.0.0.0"}, {InPlugins(L"ostra_pkg.exe"), L"2.0.0.1"}},
         kCalendarKeys,
         L"ostrakit=2.0.0.0*"},
        {"plug-in mode: the plug-in directory for the target, the suite for the updater",
         Targeted(L"weather", L"", true),
         {Item(L"weather", L"1.1.0.0", L"weather.dll"), Item(L"tallix", L"3.2.0.18")},
         {{InPlugins(L"weather.dll"), L"1.0.0.0"},
          {InSuite(L"weather.dll"), L"1.1.0.0"},
          {InPlugins(L"tallix.exe"), L"1.0.0.0"},
          {InSuite(L"tallix.exe"), L"3.2.0.18"}},
         kCalendarKeys,
         L"weather=1.0.0.0* tallix=3.2.0.18"},
        {"plug-in mode: missing from the plug-in directory",
         Targeted(L"weather", L"", true),
         {Item(L"weather", L"1.1.0.0", L"weather.dll")},
         {{InSuite(L"weather.dll"), L"1.1.0.0"}, {L"weather.dll", L"1.1.0.0"}},
         kCalendarKeys,
         L"weather=*"},
        {"plug-in mode for the calendar itself leaves its plug-ins alone",
         Targeted(L"dayloom", L"", true),
         {Item(L"dayloom", L"3.0.0.1"), Placed(Item(L"cal_a", L"1.0.0.2", L"cal_a.dll"))},
         {{InPlugins(L"dayloom.exe"), L"3.0.0.1"},
          {InSuite(L"dayloom.exe"), L"3.0.0.0"},
          {L"cal_a.dll", L"1.0.0.1"}},
         kCalendarKeys,
         L"dayloom=3.0.0.1 cal_a="},
        {"the calendar decides its plug-ins (placement kind 1 only) first",
         Targeted(L"dayloom"),
         {Item(L"dayloom", L"3.0.0.1"), Placed(Item(L"cal_a", L"1.0.0.2", L"cal_a.dll")),
          Enforced(Placed(Item(L"cal_b", L"1.0.0.0", L"cal_b.dll"))),
          Placed(Item(L"cal_c", L"1.0.0.2", L"cal_c.dll"), 2)},
         {{InSuite(L"dayloom.exe"), L"3.0.0.1"},
          {L"cal_a.dll", L"1.0.0.1"},
          {L"cal_c.dll", L"1.0.0.1"}},
         kCalendarKeys,
         L"dayloom=3.0.0.1 cal_a=1.0.0.1* cal_b= cal_c="},
        {"a missing enforced plug-in with the enforce switch",
         Targeted(L"dayloom", L"", false, true),
         {Item(L"dayloom", L"3.0.0.1"), Enforced(Placed(Item(L"cal_b", L"1.0.0.0", L"cal_b.dll")))},
         {{InSuite(L"dayloom.exe"), L"3.0.0.1"}},
         kCalendarKeys,
         L"dayloom=3.0.0.1 cal_b=*"},
        {"the target's dependencies",
         Targeted(L"keldra"),
         {Item(L"keldra", L"6.0.0.1", L"", L",Pinnace,WARDEL,"), Item(L"pinnace", L"2.0.0.0"),
          Item(L"wardel", L"1.0.0.0"), Item(L"octakit", L"2.0.0.0")},
         {{InSuite(L"keldra.exe"), L"6.0.0.1"},
          {InSuite(L"pinnace.exe"), L"1.0.0.0"},
          {InSuite(L"octakit.exe"), L"1.0.0.0"}},
         {},
         L"keldra=6.0.0.1 pinnace=1.0.0.0* wardel=* octakit="},
    };
    for (const Scenario& s : scenarios) {
        Check(s);
    }
    // The calendar's setup packages take the version of the installed calendar.
    for (const wchar_t* tag :
         {L"dayloomsetup", L"dayloomsetup_silent", L"pinnacesetup", L"pinnacesetup_silent"}) {
        const Files files = {{L"C:\\Cal\\dayloom.exe", L"3.0.0.0"},
                             {InSuite(std::wstring(tag) + L".exe"), L"3.0.0.1"}};
        const std::wstring tagged = tag;
        Check({"installed calendar",
               Targeted(tag),
               {Item(tag, L"3.0.0.1")},
               files,
               kCalendarKeys,
               (tagged + L"=3.0.0.0*").c_str()});
        Check({"calendar not registered",
               Targeted(tag),
               {Item(tag, L"3.0.0.1")},
               files,
               {},
               (tagged + L"=*").c_str()});
    }
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
        // The window offers the main program's entry; the file name stays as it was.
        {"components without the enforce switch",
         Suite(false),
         components,
         installed,
         {},
         L"keldra=6.0.0.1* pinnace=2.0.0.0 wardel= octakit=",
         L"keldra display|6.0.0.2||"},
        {"components with the enforce switch",
         Suite(true),
         components,
         installed,
         {},
         L"keldra=6.0.0.1* pinnace=2.0.0.0 wardel=* octakit="},
        {"keldra.exe missing forces the main entry",
         Suite(false),
         {Item(L"keldra", L"6.0.0.1", L"keldra_6.exe")},
         {{InSuite(L"keldra_6.exe"), L"6.0.0.1"}},
         {},
         L"keldra=6.0.0.1*"},
        {"keldra.exe present at the offered version",
         Suite(false),
         {Item(L"keldra", L"6.0.0.1", L"keldra_6.exe")},
         {{InSuite(L"keldra_6.exe"), L"6.0.0.1"}, {InSuite(L"keldra.exe"), L"5.0.0.0"}},
         {},
         L"keldra=6.0.0.1"},
        {"fennick not installed is never updated",
         Suite(true),
         {Enforced(Item(L"fennick", L"1.0.0.1"))},
         {{InSuite(L"fennick.exe"), L"1.0.0.0"}},
         {},
         L"fennick=9999.9999.9999.9999"},
        {"fennick registered but its file missing",
         Suite(true),
         {Enforced(Item(L"fennick", L"1.0.0.1"))},
         {},
         fennickKey,
         L"fennick=9999.9999.9999.9999"},
        {"fennick installed and older",
         Suite(false),
         {Item(L"fennick", L"1.0.0.1")},
         {{L"C:\\F\\fennick.exe", L"1.0.0.0"}},
         fennickKey,
         L"fennick=1.0.0.0*"},
        {"upgrade program below 1.0.3.2",
         Suite(false),
         {Item(L"upgrade", L"1.0.3.5")},
         {{localUpgrade, L"1.0.3.1"}, {InSuite(L"upgrade.exe"), L"1.0.3.5"}},
         {},
         L"upgrade=1.0.3.1*"},
        {"upgrade program at 1.0.3.2 counts as not installed",
         Suite(false),
         {Item(L"upgrade", L"1.0.3.5")},
         {{localUpgrade, L"1.0.3.2"}},
         {},
         L"upgrade="},
        {"newer upgrade program, enforced",
         Suite(true),
         {Enforced(Item(L"upgrade", L"1.0.3.5"))},
         {{localUpgrade, L"1.0.4.0"}},
         {},
         L"upgrade=*"},
        {"the sibling's own directory is not consulted",
         Suite(false),
         {Item(L"upgrade", L"1.0.3.1")},
         {{L"C:\\M\\upgrade.exe", L"1.0.0.0"}},
         {{RegistryId(ProductKey::kMarlow, kValueInstallNewPath), L"C:\\M"}},
         L"upgrade="},
        {"plug-ins: the plug-in directory only when it holds the offered version",
         Suite(false),
         {Placed(Item(L"pa", L"1.0.0.2", L"pa.dll")), Placed(Item(L"pb", L"1.0.0.2", L"pb.dll")),
          Placed(Item(L"pc", L"1.0.0.2", L"pc.dll")),
          Enforced(Placed(Item(L"pd", L"1.0.0.2", L"pd.dll"))),
          Placed(Item(L"upgrade", L"1.0.0.1", L"up.dll")),
          Placed(Item(L"pe", L"1.0.0.2", L"pe.dll"), 2)},
         {{InPlugins(L"pa.dll"), L"1.0.0.2"},
          {L"pa.dll", L"0.5.0.0"},
          {InPlugins(L"pb.dll"), L"1.0.0.3"},
          {L"pb.dll", L"1.0.0.1"},
          {InPlugins(L"pc.dll"), L"1.0.0.1"},
          {L"pc.dll", L"1.0.0.2"},
          {InPlugins(L"up.dll"), L"1.0.0.1"},
          {InPlugins(L"pe.dll"), L"1.0.0.2"},
          {InSuite(L"pe.dll"), L"1.0.0.1"}},
         kCalendarKeys,
         // Placement kind 2 is no plug-in: its file in the suite directory decides.
         L"pa=1.0.0.2 pb=1.0.0.1* pc=1.0.0.2 pd= upgrade=1.0.0.1 pe=1.0.0.1*"},
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
        L"keldra=6.0.0.1 tallix=3.2.0.17 octakit=1.0.0.0 pinnace=2.0.0.0 ghost= wardel=* "
        L"guard=* lost=",
        L"keldra display|6.0.0.1||pinnace,wardel,,Guard,,"};
    Check(s);
    Scenario seeded = s;  // a depend text already in the list is not added again
    seeded.offered = L"keldra display|6.0.0.1|kept.exe|pinnace,wardel,Guard,,";
    Check(seeded, {L"", L"", L"kept.exe", L"pinnace,wardel"});
}

TEST(DecisionDependencies, Tokens) {
    FakeMachine fake;
    fake.files = {{InSuite(L"pinnace.exe"), L"1.0.0.0"},
                  {InSuite(L"octakit.exe"), L""},
                  {InSuite(L"keldra.exe"), L"1.0.0.0"}};
    // "pin" comes first so that a token matching by substring (either way) would decide it.
    const std::vector<UpdateItem> entries = {Item(L"pin", L"9.0.0.0", L"pinnace.exe"),
                                             Item(L"pinnace", L"2.0.0.0"),
                                             Item(L"wardel", L"1.0.0.0"),
                                             Item(L"wardel", L"1.0.0.0"),
                                             Item(L"octakit", L"1.0.0.0"),
                                             Item(L"keldra", L"1.0.0.0"),
                                             Item(L"blank", L"")};
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L",Pinnace,,WARDEL,octakit,keldra,",
         L"pin= pinnace=1.0.0.0* wardel=* wardel= octakit= keldra=1.0.0.0 blank="},
        {L"blank", L"pin= pinnace= wardel= wardel= octakit= keldra= blank=*"},
        {L"pinnace ,wardel", L"pin= pinnace= wardel=* wardel= octakit= keldra= blank="},
        {L",,,", L"pin= pinnace= wardel= wardel= octakit= keldra= blank="},
    };
    for (const auto& [text, decided] : cases) {
        UpdateList list = ListOf(entries);
        EvaluateDependencies(text, list, fake.Machine());
        EXPECT_EQ(Decided(list), decided) << ::testing::PrintToString(std::wstring(text));
    }
}

TEST(DecisionQueries, UpdateAvailable) {
    const UpdateItem target = Item(L"keldra", L"1", L"", L"pinnace,wardel");
    const struct {
        const char* name;
        const wchar_t* targetProduct;
        std::vector<UpdateItem> entries;
        bool updater;
        bool available;
    } cases[] = {
        {"empty list", L"dayloom", {}, false, false},
        {"(a) target needs, any case",
         L"Keldra",
         {Needs(target), Item(L"tallix", L"1")},
         false,
         true},
        {"(a) only the first target entry", L"keldra", {target, Needs(target)}, false, false},
        {"(b) named in the depend text",
         L"keldra",
         {target, Needs(Item(L"wardel", L"1"))},
         false,
         true},
        {"(b) part of a name in the depend text",
         L"keldra",
         {target, Needs(Item(L"ward", L"1"))},
         false,
         true},
        {"(b) not named", L"keldra", {target, Needs(Item(L"octakit", L"1"))}, false, false},
        {"(b) needs a target entry", L"fennick", {Needs(Item(L"wardel", L"1"))}, false, false},
        {"(c) calendar plug-in", L"DayLoom", {Needs(Placed(Item(L"pa", L"1")))}, false, true},
        {"(c) only plug-ins count for the calendar",
         L"dayloom",
         {Needs(Item(L"octakit", L"1")), Needs(Placed(Item(L"pb", L"1"), 2)),
          Needs(Item(L"tallix", L"1"))},
         true,
         false},
        {"(c) only for the calendar",
         L"keldra",
         {target, Needs(Placed(Item(L"pa", L"1")))},
         false,
         false},
        {"updater: only the first entry, tag exact",
         L"keldra",
         {Item(L"tallix", L"1"), Needs(Item(L"tallix", L"2"))},
         false,
         false},
        {"updater: tag in capitals", L"keldra", {Needs(Item(L"Tallix", L"1"))}, false, false},
    };
    for (const auto& c : cases) {
        const UpdateList list = ListOf(c.entries);
        EXPECT_EQ(UpdaterUpdateAvailable(list), c.updater) << c.name;
        EXPECT_EQ(TargetUpdateAvailable(list, c.targetProduct), c.available) << c.name;
    }
}

TEST(DecisionQueries, EmptyListLeavesResultsAndOptionsComeFromTheSwitches) {
    FakeMachine fake;
    UpdateList list;
    DecisionResults results{L"name", L"1.0", L"file.exe", L"a,"};
    DecideUpdates(list, Targeted(L"keldra"), fake.Machine(), results);
    DecideUpdates(list, Suite(true), fake.Machine(), results);
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

}  // namespace
