#include "base/command_line.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace {

constexpr int kXp = 13;
constexpr int kVista = 19;
constexpr int kWindows7 = 23;

// Every field that differs from its default, in a fixed order, so that one comparison per case
// also catches a word that sets a field it should not touch.
std::wstring Describe(const SessionOptions& o, const std::wstring& line) {
    std::wstring s = L"key=" + o.productKey;
    const auto flag = [&s](bool on, const wchar_t* name) {
        s += on ? std::wstring(L" ") + name : L"";
    };
    flag(o.suiteCaller, L"suite");
    flag(o.silent, L"silent");
    flag(o.notice, L"notice");
    s += o.noticeWindow != 0 ? L" hwnd=" + std::to_wstring(o.noticeWindow) : L"";
    flag(o.enforce, L"enforce");
    flag(o.execute, L"execute");
    flag(o.directRunInterface, L"direct");
    flag(o.noRun, L"norun");
    flag(o.resetNew, L"resetnew");
    flag(o.toolCodeGiven, L"tc");
    s += o.toolCode.empty() ? L"" : L"=" + o.toolCode;
    flag(o.installPackage, L"install");
    s += o.requestedVersion.empty() ? L"" : L" v=" + o.requestedVersion;
    s += o.fromValue == L"_Keldra" ? L"" : L" from=" + o.fromValue;
    flag(o.fromCalendar, L"calendar");
    flag(o.guardUpgrade, L"guard-upgrade");
    flag(o.guardX64, L"guard-x64");
    s += o.commandLine == line ? L"" : L" cmd=[" + o.commandLine + L"]";
    return s;
}

TEST(ParseCommandLine, WordRulesAndAFreshStartThatAsksTheOsOnlyForTheSiblingSetup) {
    struct Case {
        const wchar_t* line;
        const wchar_t* fields;
        int osCode = kWindows7;
    };
    const Case cases[] = {
        {L"", L"key="},
        {L"-keldra", L"key=keldra suite"},
        {L"-x -helvor -KELDRA6", L"key=x suite"},
        {L"-x -Silent -execute -norun -DirectRunInerface", L"key=x silent execute direct norun"},
        {L"-dayloom -silent -enforce -notice:4242 -from:_Keldra",
         L"key=dayloom silent notice hwnd=4242 enforce from=_keldra"},
        {L"-silent -keldra", L"key=silent suite silent"},  // the key is always the first word
        {L"/keldra /silent", L"key=keldra /silent"},       // "/" separates nothing
        {L"-keldra -silent -x -y -silent", L"key=keldra suite silent"},
        {L"-k -silently -enforced", L"key=k"},  // the plain switches are whole words
        // "notice" anywhere in a word; the number after "notice:", digits only.
        {L"-k -notice", L"key=k notice"},
        {L"-k -notice:", L"key=k notice"},
        {L"-k -notice:00123abc", L"key=k notice hwnd=123"},
        {L"-k -notice:12 34", L"key=k notice hwnd=12"},
        {L"-k -notice:notice:77", L"key=k notice hwnd=77"},
        {L"-k -notice123", L"key=k notice"},
        {L"-k -notice:99999999999999", L"key=k notice hwnd=4294967295"},
        {L"-k -callnotice", L"key=k notice"},
        {L"-k -caller_notice:42", L"key=k notice"},
        // The first rule that matches a word wins.
        {L"-k -noticeenforce -notice_from:x", L"key=k notice"},
        {L"-k -tc_from", L"key=k tc=ufrom"},
        {L"-k -vfrom.1", L"key=k v=from.1"},
        {L"-k -from:wardel_x64", L"key=k from=wardel_x64"},
        {L"-k -wardel_upgrade_wardel_x64", L"key=k guard-upgrade"},
        {L"-k -run_wardel_x64_now", L"key=k guard-x64"},
        // Package codes always start with "u" unless they start with "i".
        {L"-x -tc_59 -InstallPackage", L"key=x tc=u59 install"},
        {L"-k -TC_U59", L"key=k tc=u59"},
        {L"-k -tc_i12", L"key=k tc=i12"},
        {L"-k -tc_", L"key=k tc=u"},
        {L"-k -tc_59tc_u", L"key=k tc=59tc_u"},
        {L"-k -tc_59 -tc_60", L"key=k tc=u60"},
        {L"-k -xtc_59", L"key=k"},
        // A version needs the letter v and a dot.
        {L"-dayloom -V3.1.0.7", L"key=dayloom v=3.1.0.7"},
        {L"-dayloom -v.", L"key=dayloom v=."},
        {L"-dayloom -v -v31 -x3.1", L"key=dayloom"},
        // The caller's class; the calendar's two class names in any case.
        {L"-d -from:_Keldra_LunarCalendar", L"key=d from=_keldra_lunarcalendar calendar"},
        {L"-d -FROM:_SKYDIAL_LUNARCALENDAR", L"key=d from=_skydial_lunarcalendar calendar"},
        {L"-d -from_keldra_lunarcalendar", L"key=d from=from_keldra_lunarcalendar"},
        {L"-d -from:from:_keldra_lunarcalendar", L"key=d from=_keldra_lunarcalendar calendar"},
        {L"-d -from: _helvor3", L"key=d from= _helvor3"},
        // "resetnew" edits the stored line, only in lower case.
        {L"-keldra -resetnew", L"key=keldra suite resetnew cmd=[-keldra]"},
        {L"-resetnew -silent -resetnew  ", L"key=resetnew silent resetnew cmd=[ -silent]"},
        {L"-keldra -RESETNEW", L"key=keldra suite resetnew"},
        // The sibling setup has a package of its own before Windows 7.
        {L"-marlowsetup", L"key=marlowsetup_xp", kVista},
        {L"-marlowsetup", L"key=marlowsetup_xp", 0},
        {L"-marlowsetup", L"key=marlowsetup", kWindows7},
        {L"-MarlowSetupFull", L"key=marlowsetup_xp", kXp},
        {L"-marlowsetup -keldra", L"key=marlowsetup suite", kXp}};
    for (const Case& c : cases) {
        SessionOptions o;
        o.commandLine = c.line;
        ParseCommandLine(c.line, o, [&c] { return c.osCode; });
        EXPECT_EQ(Describe(o, c.line), c.fields) << ::testing::PrintToString(std::wstring(c.line));
    }
    // Each parse starts afresh; only the sibling setup asks for the system.
    SessionOptions o;
    o.commandLine = L"-keldra -silent";
    int asked = 0;
    const auto osCode = [&asked] { return ++asked; };
    ParseCommandLine(L"-keldra -silent -enforce -notice:5 -tc_1 -v1.2 -from:x", o, osCode);
    ParseCommandLine(L"-dayloom", o, osCode);
    EXPECT_EQ(Describe(o, L"-keldra -silent"), L"key=dayloom");
    EXPECT_EQ(asked, 0);
    // The elevated relaunch of a relocation process keeps its "-resetnew".
    const std::pair<const wchar_t*, const wchar_t*> elevated[] = {
        {L"-keldra -resetnew", L"-keldra -resetnew"},
        {L"-resetnew -silent -resetnew  ", L" -silent -resetnew"},
        {L"-keldra -RESETNEW", L"-keldra -RESETNEW"},
        {L"-keldra -silent", L"-keldra -silent"}};
    for (const auto& [line, parameters] : elevated) {
        SessionOptions e;
        e.commandLine = line;
        ParseCommandLine(line, e, [] { return kWindows7; });
        EXPECT_EQ(ElevatedParameters(e), parameters);
    }
    // The line splits on dashes only after its first character is dropped.
    const std::pair<const wchar_t*, std::vector<std::wstring>> lines[] = {
        {L"   ", {}},
        {L"  -KELDRA  -Silent  ", {L"keldra", L"silent"}},
        {L"keldra", {L"eldra"}},
        {L"-a--b", {L"a", L"", L"b"}},
        {L"-notice:123 x", {L"notice:123 x"}}};
    for (const auto& [line, words] : lines) {
        EXPECT_EQ(SplitSwitchWords(line), words) << ::testing::PrintToString(std::wstring(line));
    }
}

TEST(ToolCodeFor, FirstMatchingRowInTableOrder) {
    EXPECT_EQ(ToolCodeFor(L"pinnacesetup"), L"u21");
    EXPECT_EQ(ToolCodeFor(L"glasswispsetup"), L"u26");
    EXPECT_EQ(ToolCodeFor(L"thornpad"), L"u58");
    EXPECT_EQ(ToolCodeFor(L"linkward+pinnace"), L"u21");  // the earlier row wins
    EXPECT_EQ(ToolCodeFor(L"PINNACE"), L"");              // keys are already lower case
    EXPECT_EQ(ToolCodeFor(L"keldra"), L"");
}

TEST(TextHelpers, AsciiCaseFoldingBlanksAndReplacing) {
    EXPECT_EQ(ToLowerAscii(L"@ABCDEFGHIJKLMNOPQRSTUVWXYZ[`az{ÄЖ"),
              L"@abcdefghijklmnopqrstuvwxyz[`az{ÄЖ");
    EXPECT_TRUE(EqualsNoCase(L"_Keldra_LunarCalendar", L"_KELDRA_lunarcalendaR"));
    EXPECT_FALSE(EqualsNoCase(L"[", L"{"));
    EXPECT_FALSE(EqualsNoCase(L"@", L"`"));
    EXPECT_FALSE(EqualsNoCase(L"abc", L"abcd"));
    EXPECT_FALSE(EqualsNoCase(L"abcd", L"abc"));
    EXPECT_EQ(ReplaceAll(L"aXa", L"a", L"aa"), L"aaXaa");
    EXPECT_EQ(ReplaceAll(L"x", L"", L"y"), L"x");
    EXPECT_EQ(Trim(L"  a b  "), L"a b");
    EXPECT_EQ(Trim(L"\ta "), L"\ta");
    EXPECT_EQ(Trim(L"   "), L"");
    EXPECT_EQ(TrimRight(L" a  "), L" a");
}

}  // namespace
