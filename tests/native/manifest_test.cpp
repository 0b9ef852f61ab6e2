// The manifest readers over an in-memory tree shaped like the XML component's DOM; any accessor
// of a node can be told to fail, to stand for an error reported by the XML component.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/text.h"
#include "manifest/history.h"
#include "manifest/manifest_node.h"
#include "manifest/manifest_text.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_list.h"
#include "manifest/version.h"
#include "tests/native/decision_machine_fake.h"

namespace {

struct TreeNode {
    std::wstring name;
    std::wstring ownText;  // the text of a "#text" or "#comment" node
    std::vector<TreeNode> children;
    bool failName = false;
    bool failText = false;
    bool failCount = false;
    bool failChild = false;  // every Child() of this node fails
};

inline TreeNode Element(std::wstring name, std::vector<TreeNode> children = {}) {
    return {std::move(name), L"", std::move(children)};
}
inline TreeNode TextNode(std::wstring text) {
    return {L"#text", std::move(text), {}};
}
inline TreeNode Comment(std::wstring text) {
    return {L"#comment", std::move(text), {}};
}

inline TreeNode Leaf(std::wstring name, std::wstring text) {
    std::vector<TreeNode> children;
    if (!text.empty()) {
        children.push_back(TextNode(std::move(text)));
    }
    return Element(std::move(name), std::move(children));
}

class TreeView : public ManifestNode {
  public:
    explicit TreeView(const TreeNode& node) : node_(node) {}

    bool Name(std::wstring& name) const override {
        name = node_.name;
        return !node_.failName;
    }

    bool Text(std::wstring& text) const override {
        if (node_.failText) {
            return false;
        }
        text = Concatenated(node_);
        return true;
    }

    bool ChildCount(std::size_t& count) const override {
        count = node_.children.size();
        return !node_.failCount;
    }

    std::unique_ptr<ManifestNode> Child(std::size_t index) const override {
        if (node_.failChild || index >= node_.children.size()) {
            return nullptr;
        }
        return std::make_unique<TreeView>(node_.children[index]);
    }

  private:
    static std::wstring Concatenated(const TreeNode& node) {
        std::wstring text = node.ownText;
        for (const TreeNode& child : node.children) {
            if (child.name != L"#comment") {
                text += Concatenated(child);
            }
        }
        return text;
    }

    const TreeNode& node_;
};

constexpr ManifestVariant kClassic = ManifestVariant::kClassic;
constexpr ManifestVariant kVersion6 = ManifestVariant::kVersion6;

struct Reading {
    bool complete = false;
    UpgradeReaderState state;
    UpdateList list;
};

Reading Read(const std::vector<TreeNode>& children, ManifestVariant variant = kClassic,
             const std::wstring& target = L"") {
    Reading r;
    r.state.downloadBase = L"http://dl.test";
    r.state.setupKind = 7;  // the caller's value, kept unless UpgradeType is met
    r.complete = ReadUpgradeManifest(TreeView(Element(L"UpdateList", children)), variant, target,
                                     r.state, r.list);
    return r;
}

// Every field of an entry; "!" for an entry already marked (never by the reader).
std::wstring Describe(const UpdateItem& i) {
    return i.tag + L"|" + i.name + L"|" + i.version + L"|" + i.downloadUrl + L"|" + i.fileName +
           L"|" + i.className + L"|" + i.depend + L"|" + (i.copyFile ? L"c" : L"") +
           (i.enforce ? L"e" : L"") + (i.runDirect ? L"r" : L"") + (i.unattended ? L"u" : L"") +
           std::to_wstring(i.placementKind) + (i.updateNeeded || !i.packageOk ? L"!" : L"");
}

// The one entry of a manifest that holds only `fields` below an entry named `tag`.
std::wstring Entry(const std::wstring& tag, const std::vector<TreeNode>& fields,
                   ManifestVariant variant = kClassic) {
    Reading r = Read({Element(tag, fields)}, variant);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.list.size(), 1u);
    return r.list.empty() ? L"" : Describe(*r.list[0]);
}

TEST(InstallFile, UrlAndFileName) {
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"keldra", L"/keldra/keldra_6.exe", L"http://dl.test/keldra/keldra_6.exe|keldra_6.exe"},
        {L"tallix", L"tallix_new.exe", L"http://dl.testtallix_new.exe|tallix.exe"},
        {L"Tallix", L"/tallix_new.exe", L"http://dl.test/tallix_new.exe|tallix.exe"},
        {L"keldra", L"HTTP://Other.Test/Pkg/K.exe", L"HTTP://Other.Test/Pkg/K.exe|K.exe"},
        {L"keldra", L"hTtPs://o.test/a.exe", L"hTtPs://o.test/a.exe|a.exe"},
        {L"keldra", L"htt", L"http://dl.testhtt|keldra.exe"},
        {L"keldra", L"/dir/", L"http://dl.test/dir/|"}};
    for (const auto& [tag, text, urlAndFile] : cases) {
        const std::wstring lower = tag == std::wstring(L"Tallix") ? L"tallix" : tag;
        EXPECT_EQ(Entry(tag, {Leaf(L"installfile", text)}), lower + L"|||" + urlAndFile + L"|||c0");
    }
    Reading r = Read({Element(L"keldra", {Leaf(L"installfile", L"/k.exe")}),
                      Element(L"KeldraSetup", {Leaf(L"InstallFile", L"/s/setup.exe")})});
    EXPECT_EQ(r.state.mainSetupUrl, L"http://dl.test/s/setup.exe");
    EXPECT_EQ(r.state.mainSetupFileName, L"setup.exe");
}

// The main setup's name is worked out once, by the reader, and refused there: the download job
// and the installer that runs it both take the recorded name.
TEST(InstallFile, MainSetupNameFromTheToolCodeOrTheUrlAndRefusedWhenHostile) {
    EXPECT_EQ(MainSetupFileName(L"u59", L"/k/s.exe"), L"keldrasetup_u59.exe");
    EXPECT_EQ(MainSetupFileName(L"", L"http://x/k/s.exe"), L"s.exe");
    EXPECT_EQ(MainSetupFileName(L"", L"s.exe"), L"s.exe");
    for (const wchar_t* url :
         {L"http://x/..\\..\\evil.exe", L"http://x/\\\\host\\share\\s.exe", L"http://x/C:s.exe",
          L"http://x/..\uFF3Cs.exe", L"http://x/", L"http://x/KELDRA~1.EXE"}) {
        EXPECT_EQ(MainSetupFileName(L"", url), L"") << url;
    }
    const auto recorded = [](const std::wstring& target, const std::wstring& file) {
        Reading r = Read({Element(L"keldrasetup", {Leaf(L"installfile", file)})}, kClassic, target);
        return r.state.mainSetupFileName;
    };
    EXPECT_EQ(recorded(L"pinnace", L"/s/setup.exe"), L"keldrasetup_u21.exe");
    EXPECT_EQ(recorded(L"dayloom", L"/s/setup.exe"), L"setup.exe");  // no tool code
    EXPECT_EQ(recorded(L"", L"/s/..\\..\\setup.exe"), L"");
}

TEST(InstallFile, HostileFileNamesAreRefused) {
    // Printable ASCII punctuation that names nothing else is taken; so is a device name with
    // more after it than an extension.
    for (const wchar_t* name : {L"keldra_6.exe", L"pinnace-setup.1.exe", L"COM10.exe", L"nul-x.exe",
                                L"a b-c_d(1)+[x]{y}!@#$%^&'=,;.exe"}) {
        EXPECT_TRUE(IsSafePackageFileName(name)) << ::testing::PrintToString(std::wstring(name));
    }
    EXPECT_TRUE(IsSafePackageFileName(std::wstring(259, L'a')));
    EXPECT_FALSE(IsSafePackageFileName(std::wstring(260, L'a')));
    // Separators, colons, wildcards, quotes, pipes and angle brackets; a trailing dot or blank;
    // devices; characters a code-page conversion could turn into a separator, a colon or a dot
    // (fullwidth forms, the yen and won signs), anything else beyond printable ASCII, and the
    // "~" of a short alias.
    const std::vector<const wchar_t*> refused[] = {
        {L"con.txt.exe", L"..\\..\\evil.exe", L"..", L".", L"", L"C:evil.exe", L"a.exe:stream"},
        {L"a/b.exe", L"a?.exe", L"a\"b.exe", L"a|b", L"a<b>.exe", L"a*.exe", L"tab\t.exe"},
        {L"evil.exe.", L"evil.exe ", L"CON", L"con.exe", L"Nul .exe", L"aux", L"PRN.dll"},
        {L"com1.exe", L"LPT9", L"com\u00B9.exe", L"conout$.exe", L"CONIN$", L"a~b.exe"},
        {L"..\uFF3C..\uFF3Cevil.exe", L"..\uFF0F..\uFF0Fevil.exe", L"C\uFF1Aevil.exe"},
        {L"evil\uFF0Eexe", L"..\u00A5evil.exe", L"..\u20A9evil.exe", L"\u65E5\u5386.exe"},
        {L"caf\u00E9.exe", L"KELDRA~1.EXE", L"a\x7F.exe"}};
    for (const auto& group : refused) {
        for (const wchar_t* name : group) {
            EXPECT_FALSE(IsSafePackageFileName(name))
                << ::testing::PrintToString(std::wstring(name));
        }
    }
    const std::wstring folder = L"C:\\suite\\upgrade\\";
    EXPECT_TRUE(IsSafePackagePath(folder, std::wstring(259 - 4 - folder.size(), L'a')));
    EXPECT_FALSE(IsSafePackagePath(folder, std::wstring(259 - 3 - folder.size(), L'a')));
    EXPECT_FALSE(IsSafePackagePath(folder, L"..\\evil.exe"));
}

// The reader refuses every entry whose name is refused by itself or differs from another
// entry's only by letter case; the very same name twice is one shared package.
TEST(InstallFile, ReaderRefusesHostileNamesAndNamesThatDifferOnlyByCase) {
    const auto install = [](const wchar_t* tag, const wchar_t* file) {
        return Element(tag, {Leaf(L"installfile", file)});
    };
    Reading r = Read({install(L"pinnace", L"/k/pinnace.exe"), install(L"other", L"/k/PINNACE.exe"),
                      install(L"keldra", L"/k/keldra.exe"), install(L"again", L"/k/keldra.exe"),
                      install(L"wide", L"/k/..\uFF3Cevil.exe"),
                      install(L"tilde", L"/k/PINNAC~1.EXE"), install(L"tallix", L"/k/tallix.exe")});
    std::wstring refused;
    for (const auto& item : r.list) {
        refused += item->tag + (item->nameRefused ? L"! " : L" ");
    }
    EXPECT_EQ(refused, L"pinnace! other! keldra again wide! tilde! tallix ");
    // An entry read before the component failed is judged too.
    std::vector<TreeNode> broken = {install(L"wide", L"/k/\uFF0Fevil.exe"), install(L"bad", L"/b")};
    broken[1].failChild = true;
    r = Read(broken);
    EXPECT_FALSE(r.complete);
    ASSERT_EQ(r.list.size(), 1u);
    EXPECT_TRUE(r.list[0]->nameRefused);
}

TEST(EntryFields, EachVocabularyIgnoresTheOtherAndTheFlagsTextRules) {
    // A later element overwrites an earlier one; an element's text joins its text children.
    std::vector<TreeNode> fields = {
        Leaf(L"Name", L"long"),     Leaf(L"VERSION", L"1.0.0.0"),
        Leaf(L"ClassName", L"LC"),  Leaf(L"Depend", L"ld"),
        Leaf(L"n", L"short"),       Leaf(L"V", L"6.0.0.1"),
        Leaf(L"CN", L"SC"),         Leaf(L"d", L"sd"),
        Leaf(L"p", L" 2x"),         Leaf(L"EnForce", L"1"),
        Leaf(L"ef", L"false"),      Leaf(L"copyfile", L"false"),
        Leaf(L"RunDirect", L"yes"), Leaf(L"InstallFile", L"/l/l.exe"),
        Leaf(L"F", L"/s/s.exe"),    Leaf(L"enforce", L"false"),
    };
    fields.push_back(Element(L"version", {TextNode(L"2.0."), Comment(L"c"), TextNode(L"0.1")}));
    EXPECT_EQ(Entry(L"dayloom", fields, kClassic),
              L"dayloom|long|2.0.0.1|http://dl.test/l/l.exe|l.exe|LC|ld|r0");
    EXPECT_EQ(Entry(L"dayloom", fields, kVersion6),
              L"dayloom|short|6.0.0.1|http://dl.test/s/s.exe|s.exe|SC|sd|c2");
    EXPECT_EQ(Entry(L"keldra", {}), L"keldra|||||||c0");
    // copy file, enforce and run direct are true unless "false"; unattended only for "true".
    const std::pair<const wchar_t*, const wchar_t*> flagTexts[] = {
        {L"false", L""}, {L"FALSE", L""}, {L"TRUE", L"ceru"}, {L"true", L"ceru"},
        {L"0", L"cer"},  {L"no", L"cer"}, {L"", L"cer"},      {L" false", L"cer"}};
    for (const auto& [text, flags] : flagTexts) {
        for (ManifestVariant v : {kClassic, kVersion6}) {
            const bool classic = v == kClassic;
            const std::vector<TreeNode> flagFields = {
                Leaf(classic ? L"copyfile" : L"CF", text), Leaf(classic ? L"Enforce" : L"ef", text),
                Leaf(classic ? L"rundirect" : L"rd", text), Leaf(L"U", text)};
            EXPECT_EQ(Entry(L"k", flagFields, v), std::wstring(L"k|||||||") + flags + L"0")
                << ::testing::PrintToString(std::wstring(text));
        }
    }
}

// The target's dependency comes from the entry of the target's tag, in any case.
TEST(UpgradeManifest, SystemSetEntriesInOrderAndTheUpgradeType) {
    Reading r =
        Read({Element(L"SystemSet", {Leaf(L"upgradetype", L"0"), Leaf(L"HistoryHelvor", L"h")}),
              Element(L"Keldra", {Leaf(L"version", L"6.1.0.0"), Leaf(L"depend", L"k")}),
              Comment(L" note "), Element(L"systemset", {Leaf(L"UpgradeType", L"1")}),
              Element(L"TALLIX", {Leaf(L"version", L"3.2.0.18"), Leaf(L"depend", L"t")}),
              Element(L"x", {Leaf(L"depend", L"x")})},
             kClassic, L"Tallix");
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.state.setupKind, 0);
    std::wstring entries;
    for (const auto& item : r.list) {
        entries += Describe(*item) + L" ";
    }
    EXPECT_EQ(entries,
              L"keldra||6.1.0.0||||k|c0 #comment|||||||c0 systemset|||||||c0 "
              L"tallix||3.2.0.18||||t|c0 x||||||x|c0 ");
    EXPECT_EQ(r.state.latestUpdaterVersion, L"3.2.0.18");
    EXPECT_EQ(r.state.targetDependency, L"t");
    // The upgrade type is exactly "0" or else 1; without it the caller's value stays.
    const std::pair<const wchar_t*, int> cases[] = {{L"0", 0},  {L"1", 1},  {L"", 1},
                                                    {L"00", 1}, {L" 0", 1}, {L"2", 1}};
    for (const auto& [text, kind] : cases) {
        EXPECT_EQ(Read({Element(L"SystemSet", {Leaf(L"UpgradeType", text)})}).state.setupKind,
                  kind);
    }
    EXPECT_EQ(Read({Element(L"SystemSet", {Leaf(L"HistoryPinnace", L"0")})}).state.setupKind, 7);
}

TEST(UpgradeManifest, ComponentFailureKeepsEarlierEntriesAndDropsTheCurrentOne) {
    TreeNode badField = Leaf(L"version", L"2");
    badField.failText = true;
    TreeNode badChildren = Element(L"dayloom", {Leaf(L"version", L"1")});
    badChildren.failChild = true;
    TreeNode badName = Element(L"dayloom");
    badName.failName = true;
    TreeNode badType = Leaf(L"UpgradeType", L"0");
    badType.failText = true;
    TreeNode badSettings = Element(L"SystemSet", {Leaf(L"UpgradeType", L"0")});
    badSettings.failChild = true;
    for (const TreeNode& bad : {Element(L"dayloom", {Leaf(L"name", L"n"), badField}), badChildren,
                                badName, Element(L"SystemSet", {badType}), badSettings}) {
        Reading r = Read({Element(L"keldra", {Leaf(L"version", L"1.0.0.0")}), bad,
                          Element(L"tallix", {Leaf(L"version", L"9")})});
        EXPECT_FALSE(r.complete);
        ASSERT_EQ(r.list.size(), 1u);
        EXPECT_EQ(r.list[0]->tag, L"keldra");
        EXPECT_EQ(r.state.latestUpdaterVersion, L"");
    }
    // A later read appends to what the list holds; no target, no target dependency.
    Reading r = Read({Element(L"keldra", {Leaf(L"depend", L"p")})});
    EXPECT_EQ(r.state.targetDependency, L"");
    EXPECT_TRUE(ReadUpgradeManifest(TreeView(Element(L"UpdateList", {Element(L"tallix")})),
                                    kVersion6, L"", r.state, r.list));
    ASSERT_EQ(r.list.size(), 2u);
    EXPECT_EQ(r.list[1]->tag, L"tallix");
}

std::wstring Describe(const UpdaterSettings& s) {
    std::wstring names;
    for (const std::wstring& name : s.hijackNames) {
        names += name + L",";
    }
    return s.downloadAddress + L"|" + (s.version6Switch ? L"1" : L"0") + L"|" + s.announcement +
           L"|" + names;
}

// Reads a manifest with `children` over settings that start as "127.0.0.1|0|earlier|x,".
std::wstring Settings(const std::vector<TreeNode>& children, bool switchBefore = false) {
    UpdaterSettings s{L"127.0.0.1", switchBefore, L"earlier", {L"x"}};
    EXPECT_TRUE(ReadSettingsManifest(TreeView(Element(L"TallixSet", children)), s));
    return Describe(s);
}

TEST(SettingsManifest, ElementsTheirTextsHijackNamesAndTheVersion6Switch) {
    const std::pair<std::vector<TreeNode>, std::wstring> cases[] = {
        {{Comment(L"nothing"), Leaf(L"other", L"1"), Leaf(L"SystemSet", L"1")},
         L"127.0.0.1|0|earlier|x,"},
        // Names in any case; a later element overrides an earlier one.
        {{Leaf(L"DOWNIP", L"10.0.0.1"), Leaf(L"UpKeldra6", L"1"), Leaf(L"History", L"first"),
          Leaf(L"downIp", L"10.0.0.2"), Leaf(L"HISTORY", L"second")},
         L"10.0.0.2|1|second|x,"},
        // An empty address empties it; an empty history gives the built-in announcement.
        {{Leaf(L"downip", L""), Leaf(L"history", L"")},
         std::wstring(L"|0|") + kBuiltInAnnouncement + L"|x,"},
        {{Element(L"EUPP", {Leaf(L"mp", L"1"), Leaf(L"se", L"2"), Leaf(L"downip", L"9.9.9.9"),
                            Leaf(L"history", L"h")})},
         L"127.0.0.1|0|earlier|x,"},
        // The hijack list only grows.
        {{Leaf(L"hijactname", L"|a|b|"), Leaf(L"HijactName", L"c")},
         L"127.0.0.1|0|earlier|x,a,b,c,"}};
    for (const auto& [children, settings] : cases) {
        EXPECT_EQ(Settings(children), settings);
    }
    // The hijack names are split at bars.
    const std::pair<const wchar_t*, std::vector<std::wstring>> names[] = {
        {L"|a|b|", {L"a", L"b"}},
        {L"a|b", {L"a", L"b"}},
        {L"single", {L"single"}},
        {L"||a||", {L"a"}},
        {L"a||b", {L"a", L"|b"}},  // a bar right after a bar does not cut
        {L"", {}},
        {L"|||", {}},
        {L" a | b ", {L" a ", L" b "}}};
    for (const auto& [text, expected] : names) {
        std::vector<std::wstring> split;
        AppendHijackNames(text, split);
        EXPECT_EQ(split, expected) << ::testing::PrintToString(std::wstring(text));
    }
    // The version-6 switch only for exactly "1".
    const std::pair<const wchar_t*, bool> switches[] = {
        {L"1", true},   {L"0", false},  {L"true", false}, {L"10", false},
        {L"01", false}, {L" 1", false}, {L"1 ", false},   {L"", false}};
    for (const auto& [text, on] : switches) {
        EXPECT_EQ(Settings({Leaf(L"upkeldra6", text)}, !on)[10], on ? L'1' : L'0')
            << ::testing::PrintToString(std::wstring(text));
    }
}

TEST(SettingsManifest, ComponentFailureEndsTheWalkKeepingEarlierValues) {
    TreeNode broken = Leaf(L"history", L"x");
    broken.failText = true;
    TreeNode eupp = Element(L"EUPP", {Leaf(L"mp", L"1")});
    eupp.children[0].failText = true;
    TreeNode unnamed = Leaf(L"downip", L"1.1.1.1");
    unnamed.failName = true;
    TreeNode uncounted = Element(L"TallixSet", {Leaf(L"downip", L"10.0.0.1")});
    uncounted.failCount = true;
    for (const TreeNode& bad : {broken, eupp, unnamed}) {
        UpdaterSettings s;
        EXPECT_FALSE(ReadSettingsManifest(
            TreeView(Element(L"TallixSet",
                             {Leaf(L"downip", L"10.0.0.1"), bad, Leaf(L"upkeldra6", L"1")})),
            s));
        EXPECT_EQ(Describe(s), L"10.0.0.1|0||");
    }
    UpdaterSettings s;
    EXPECT_FALSE(ReadSettingsManifest(TreeView(uncounted), s));
    EXPECT_EQ(Describe(s), L"|0||");
}

HistoryRecord Record(std::wstring tag, std::wstring notes, bool needed = true, bool enforce = false,
                     int placement = 0) {
    return {.tag = tag,
            .notes = std::move(notes),
            .name = L"N-" + tag,
            .version = L"1.0",
            .placementKind = placement,
            .updateNeeded = needed,
            .enforce = enforce};
}

TEST(HistoryPage, RecordsFromTheManifestTakeTheFieldsOfTheirItems) {
    const TreeNode root = Element(
        L"UpdateList",
        {Element(L"dayloom", {Leaf(L"h", L"old"), Leaf(L"other", L"x"), Leaf(L"H", L"|a|b|")}),
         Element(L"pinnace"), Element(L"wardel", {Leaf(L"h", L"w")})});
    std::vector<HistoryRecord> records;
    EXPECT_TRUE(ReadHistoryRecords(TreeView(root), records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].tag, L"dayloom");
    EXPECT_EQ(records[0].notes, L"|a|b|");  // the last "h" counts, its name ignores case
    EXPECT_EQ(records[1].notes, L"");

    TreeNode broken = root;
    broken.children[1].failCount = true;
    records.clear();
    EXPECT_FALSE(ReadHistoryRecords(TreeView(broken), records));
    EXPECT_EQ(records.size(), 1u);  // what came before the failure stays
    // Records take the fields of their items.
    const UpdateList items = decision_fake::Entries(L"dayloom:2.0#1!*");
    records = {Record(L"DayLoom", L""), Record(L"other", L"", false)};
    records[0].updateNeeded = false;
    CopyItemFields(items, records);
    const auto describe = [](const HistoryRecord& r) {
        return r.name + L"|" + r.version + L"|" + std::to_wstring(r.placementKind) +
               (r.updateNeeded ? L"*" : L"") + (r.enforce ? L"!" : L"");
    };
    EXPECT_EQ(describe(records[0]), L"dayloom display|2.0|1*!");
    EXPECT_EQ(describe(records[1]), L"N-other|1.0|0");  // no item: unchanged
}

const wchar_t kAnnouncement[] =
    L"<strong>OrvaneHelvor 6.0正式版</strong>\n\r<p>\n\r<span>●</span>News<br />";

std::wstring Section(const std::wstring& tag, const std::wstring& lines) {
    return L"<strong>N-" + tag + L" 1.0</strong>\n\r<p>\n\r" + lines + L"</p>\n\r";
}

TEST(HistoryPage, PageText) {
    const std::vector<HistoryRecord> records = {
        Record(L"dayloom", L"|a|b|"),
        Record(L"pinnace", L"p"),
        Record(L"weather", L"w", true, false, 1),
        Record(L"fennick", L"f", false),      // needs no update
        Record(L"wardel", L"g", true, true),  // enforced
        Record(L"marlow", L"m1||m2"),
        Record(L"", L"e"),  // an entry without a tag is named by no depend text
    };
    const std::wstring ab = L"<span>●</span>a<br /><span>●</span>b<br />";
    const std::wstring pw = Section(L"pinnace", L"<span>●</span>p<br />") +
                            Section(L"weather", L"<span>●</span>w<br />");
    const std::wstring marlow =
        Section(L"marlow", L"<span>●</span>m1<br /><span>●</span><br /><span>●</span>m2<br />");
    const std::tuple<const char*, HistoryPageInputs, std::wstring> cases[] = {
        {"main product line", {true, true, true, L"keldra", L"", L"News"}, kAnnouncement},
        {"nothing for the target", {false, false, false, L"dayloom", L"", L"News"}, kAnnouncement},
        {"targeted calendar run",
         {false, true, false, L"DAYLOOM", L",pinnace,wardel,fennick", L"News"},
         Section(L"dayloom", ab) + pw},
        {"targeted run of another product", {false, true, false, L"marlow", L"", L""}, marlow},
        {"suite run",
         {false, false, true, L"keldra6", L"", L"News"},
         Section(L"dayloom", ab) + pw + marlow + Section(L"", L"<span>●</span>e<br />")},
    };
    for (const auto& [name, in, text] : cases) {
        EXPECT_EQ(HistoryPageText(records, in), text) << name;
    }
    EXPECT_EQ(HistoryPageText({Record(L"x", L"|||")}, {false, false, true, L"", L"", L""}),
              Section(L"x", L""));
    // Bars at the end are all stripped: one line, one bullet.
    EXPECT_EQ(HistoryPageText({Record(L"x", L"a||")}, {false, false, true, L"", L"", L""}),
              Section(L"x", L"<span>●</span>a<br />"));
}

TEST(HistoryPage, ManifestTextsAreShownAsTextNotMarkup) {
    HistoryRecord hostile =
        Record(L"grid", L"|fast <script>alert(2)</script> start|a & \"b\" 'c'|");
    hostile.name = L"Grid<img src=x onerror=alert(1)>";
    hostile.version = L"1.0<b>";
    EXPECT_EQ(HistoryPageText({hostile}, {false, false, true, L"", L"", L""}),
              L"<strong>Grid&lt;img src=x onerror=alert(1)&gt; 1.0&lt;b&gt;</strong>\n\r<p>\n\r"
              L"<span>●</span>fast &lt;script&gt;alert(2)&lt;/script&gt; start<br />"
              L"<span>●</span>a &amp; &quot;b&quot; &#39;c&#39;<br /></p>\n\r");
    EXPECT_EQ(HistoryPageText({}, {true, false, false, L"keldra", L"", L"<i>&amp;</i>"}),
              L"<strong>OrvaneHelvor 6.0正式版</strong>\n\r<p>\n\r"
              L"<span>●</span>&lt;i&gt;&amp;amp;&lt;/i&gt;<br />");
}

TEST(HistoryPage, TemplateFileTextAndShowPageBlock) {
    EXPECT_EQ(
        InsertPageText(L"<a><div class=\"content\"><br /></div><div class=\"content\">", L"T"),
        L"<a><div class=\"content\">T<br /></div><div class=\"content\">");
    EXPECT_EQ(InsertPageText(L"<a>", L"T"), L"<a>T");
    EXPECT_EQ(ReadTemplateText("\xEF\xBB\xBFx\r\ny\xE2\x97\x8F\r\n"), L"x\ny●\n");
    EXPECT_EQ(ReadTemplateText("x\r\r\n"), L"x\r\n");
    // Written in the runtime's Unicode text mode: the mark, and each LF after a CR.
    EXPECT_EQ(EncodePageFile(L"a\n\r●"), std::string("\xFF\xFE"
                                                     "a\0\r\0\n\0\r\0\xCF\x25",
                                                     12));
    // The block that asks the page window to show a file.
    const std::vector<std::uint8_t> block = EncodeShowPageBlock(0x01020304, L"C:\\T\\历.html");
    ASSERT_EQ(block.size(), 4116u);
    EXPECT_EQ(std::vector(block.begin(), block.begin() + 16),
              (std::vector<std::uint8_t>{4, 3, 2, 1, 'C', 0, ':', 0, '\\', 0, 'T', 0, '\\', 0, 0x86,
                                         0x53}));
    EXPECT_EQ(DecodeShowPageBlock(block.data()), L"C:\\T\\历.html");
    const std::wstring longPath(3000, L'p');
    const std::vector<std::uint8_t> cut = EncodeShowPageBlock(0, longPath);
    EXPECT_EQ(DecodeShowPageBlock(cut.data()), std::wstring(2055, L'p'));
    // A block without a NUL ends at its last byte.
    const std::vector<std::uint8_t> full(kShowPageBlockSize, 0x41);
    EXPECT_EQ(DecodeShowPageBlock(full.data()), std::wstring(2056, L'\x4141'));
}

using Bytes = std::vector<unsigned char>;

// UTF-16 units in a wide string, the same on 16- and 32-bit wchar_t.
std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring text;
    for (unsigned u : units) {
        text.push_back(static_cast<wchar_t>(u));
    }
    return text;
}

Bytes Utf16Le(const std::wstring& text) {
    Bytes bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kUtf8Mark = {0xEF, 0xBB, 0xBF};
const Bytes kUtf16Mark = {0xFF, 0xFE};
// "<a>中文</a>" in UTF-8.
const Bytes kChineseUtf8 = {'<', 'a', '>', 0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87, '<', '/', 'a', '>'};

TEST(DecodeManifestBytes, EncodingByMarkAndOneReplacementPerIllFormedSubpart) {
    const std::tuple<const char*, Bytes, std::wstring> cases[] = {
        {"UTF-8 with mark", Concat(kUtf8Mark, kChineseUtf8), L"<a>中文</a>"},
        {"UTF-16LE with mark", Concat(kUtf16Mark, Utf16Le(L"<a>中文</a>")), L"<a>中文</a>"},
        {"UTF-16LE without mark", Utf16Le(L"<a>中文</a>"), L"<a>中文</a>"},
        {"UTF-8 without mark read as UTF-16LE", {'<', 'a', '/', '>'}, Units({0x613C, 0x3E2F})},
        {"big-endian mark is an ordinary unit", {0xFE, 0xFF, '<', 0}, Units({0xFFFE, '<'})},
        {"second UTF-16 mark is kept", Concat(kUtf16Mark, Utf16Le(Units({0xFEFF, 'x'}))),
         Units({0xFEFF, 'x'})},
        {"empty", {}, L""},
        {"UTF-8 mark only", kUtf8Mark, L""},
        {"UTF-16 mark only", kUtf16Mark, L""},
        {"two bytes of the UTF-8 mark are UTF-16", {0xEF, 0xBB}, Units({0xBBEF})},
        {"UTF-16 ends at the first NUL unit", Utf16Le(Units({'a', 'b', 0, 'c'})), L"ab"},
        {"a zero byte inside a unit is no NUL", {'a', 0, 0, 'b'}, Units({'a', 0x6200})},
        {"UTF-8 ends at the first NUL byte", Concat(kUtf8Mark, {'a', 0, 'b'}), L"a"},
        {"odd last byte pairs with the zero padding", {'a', 0, 'b'}, L"ab"},
        {"odd zero last byte ends the text", {'a', 0, 0}, L"a"},
        {"single byte", {'x'}, L"x"},
        {"UTF-8 outside the basic plane gives surrogate pairs",
         Concat(kUtf8Mark, {0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF}),
         Units({0xD83D, 0xDE00, 0xDBFF, 0xDFFF})}};
    for (const auto& [name, bytes, text] : cases) {
        EXPECT_EQ(DecodeManifestBytes(bytes), text) << name;
    }
    // The pointer and count form reads only `count` bytes.
    const unsigned char body[] = {'a', 0, 'b', 0, 'c', 0};
    EXPECT_EQ(DecodeManifestBytes(body, 4), L"ab");
    EXPECT_EQ(DecodeManifestBytes(nullptr, 0), L"");
    // Ill-formed UTF-8 gives one replacement character per maximal subpart.
    constexpr unsigned R = 0xFFFD;
    const std::tuple<const char*, Bytes, std::wstring> illFormed[] = {
        {"lone continuation", {0x80, 'a'}, Units({R, 'a'})},
        {"invalid lead bytes", {0xC0, 0xC1, 0xF5, 0xFF}, Units({R, R, R, R})},
        {"overlong slash", {0xC0, 0xAF}, Units({R, R})},
        {"overlong three-byte", {0xE0, 0x80, 0xAF}, Units({R, R, R})},
        {"encoded surrogate", {0xED, 0xA0, 0x80}, Units({R, R, R})},
        {"above U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, Units({R, R, R, R})},
        {"cut short before ASCII", {0xE4, 0xB8, 'A'}, Units({R, 'A'})},
        {"cut short at the end", {'x', 0xE4, 0xB8}, Units({'x', R})},
        {"cut short by NUL", {0xF0, 0x9F, 0x98, 0, 'z'}, Units({R})},
        {"new lead inside a sequence", {0xE4, 0xE4, 0xB8, 0xAD}, Units({R, 0x4E2D})},
        {"largest two-byte", {0xDF, 0xBF}, Units({0x07FF})},
        {"last below surrogates", {0xED, 0x9F, 0xBF}, Units({0xD7FF})}};
    for (const auto& [name, bytes, text] : illFormed) {
        EXPECT_EQ(DecodeManifestBytes(Concat(kUtf8Mark, bytes)), text) << name;
    }
}

TEST(DocumentType, OnlyADeclarationInThePrologIsFound) {
    for (const wchar_t* text :
         {L"<!DOCTYPE UpdateList [<!ENTITY e \"x\">]><UpdateList/>",
          L"\uFEFF \r\n<?xml version=\"1.0\"?>\n<!-- c --><?pi x?>\t<!doctype UpdateList>",
          L"<!--a--><!--b--><!DocType x SYSTEM \"file:///c:/x\">"}) {
        EXPECT_TRUE(HasDocumentTypeDeclaration(text)) << std::wstring(text).size();
    }
    // Not in a prolog (no parse anyway), inside a comment, in a comment or processing instruction
    // never closed, or incomplete.
    for (const wchar_t* text :
         {L"<UpdateList><!DOCTYPE x></UpdateList>", L"<!-- <!DOCTYPE x> --><UpdateList/>",
          L"<?xml version=\"1.0\"?><UpdateList/>", L"<!-- never closed <!DOCTYPE x>",
          L"<?never closed <!DOCTYPE x>", L"", L"  ", L"<!DOCTYP"}) {
        EXPECT_FALSE(HasDocumentTypeDeclaration(text)) << std::wstring(text).size();
    }
}

TEST(ManifestUrl, PathsPerManifestAndVariantWithTheTickCountAsSigned32BitAndTheVariant) {
    const std::tuple<ManifestKind, ManifestVariant, std::uint32_t, const wchar_t*> cases[] = {
        {ManifestKind::kSettings, kClassic, 0, L"/keldra/tallix.xml?a=0"},
        {ManifestKind::kSettings, kVersion6, 2147483647u, L"/keldra/tallix.xml?a=2147483647"},
        {ManifestKind::kUpgrade, kClassic, 2147483648u, L"/keldra/upgrade.xml?a=-2147483648"},
        {ManifestKind::kUpgrade, kVersion6, 4294967295u, L"/keldra/upgrade6s.xml?a=-1"},
        {ManifestKind::kHistory, kClassic, 3000000000u, L"/keldra/history.xml?a=-1294967296"},
        {ManifestKind::kHistory, kVersion6, 5, L"/keldra/history6.xml?a=5"}};
    for (const auto& [kind, variant, tick, path] : cases) {
        EXPECT_EQ(ManifestUrl(L"http://m.test", kind, variant, tick),
                  std::wstring(L"http://m.test") + path);
    }
    // The classic variant only when all three conditions hold.
    for (int bits = 0; bits < 8; ++bits) {  // the switch, a version-6 main program, it exists
        EXPECT_EQ(ChooseManifestVariant(bits & 1, bits & 2, bits & 4),
                  bits == 4 ? kClassic : kVersion6)
            << bits;
    }
}

TEST(VersionText, ComparisonLeadingIntegersAndFormatting) {
    // A non-numeric field reads 0; "1.2.3" against "1.2.3.4" compares 3 and 3; a pretty-printed
    // manifest value keeps its line breaks and indentation.
    const std::pair<const wchar_t*, const wchar_t*> newer[] = {
        {L"6.0.0.0", L"6.0.0.1"},           {L"1.9.0.0", L"1.10.0.0"}, {L"6.0.0.0", L"6.1"},
        {L"2.0.0.0", L"2.0.0.1beta"},       {L"x.0.0.0", L"1.0.0.0"},  {L"01.0.0.0", L"1.0.0.1"},
        {L"6.0.0.1", L"\n\t\t6.0.0.2\n\t"}, {L"6.0.0.0", L"6.0.0.\t1"}};
    const std::pair<const wchar_t*, const wchar_t*> notNewer[] = {
        {L"6.0.0.1", L"6.0.0.0"},      {L"", L"1.0.0.0"},          {L"1.0.0.0", L""},
        {L"1.10.0.0", L"1.9.0.0"},     {L"6.0.0.0", L"6.0.0.0.1"}, {L"2.0.0.0", L"2.0.0.0beta"},
        {L"3.0.0.0", L"3.0.0.0"},      {L"1.0.0.0", L"1.x.0.0"},   {L"1.2.3", L"1.2.3.4"},
        {L"\r\n\t7.0.0.0", L"6.0.0.0"}};
    const auto check = [](const auto& pairs, bool expected) {
        for (const auto& [current, candidate] : pairs) {
            EXPECT_EQ(IsNewer(current, candidate), expected)
                << ::testing::PrintToString(std::wstring(current)) << " "
                << ::testing::PrintToString(std::wstring(candidate));
        }
    };
    check(newer, true);
    check(notNewer, false);
    // The high half first, without leading zeros.
    EXPECT_EQ(FormatVersion(0x0003000A, 0x00020011), L"3.10.2.17");
    EXPECT_EQ(FormatVersion(0xFFFFFFFF, 0xFFFFFFFF), L"65535.65535.65535.65535");
}

}  // namespace
