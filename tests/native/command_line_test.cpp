#include "app/command_line.h"

#include <gtest/gtest.h>

#include <set>

namespace {

constexpr int kXp = 13;
constexpr int kWindows7 = 23;

SessionOptions Parse(const std::wstring& text, int osCode = kWindows7) {
    SessionOptions o;
    o.commandLine = text;
    ParseCommandLine(text, o, [osCode] { return osCode; });
    return o;
}

TEST(SwitchWords, SplitOnDashesOnlyAfterDroppingTheFirstCharacter) {
    struct Case {
        std::wstring line;
        std::vector<std::wstring> words;
    };
    const Case cases[] = {
        {L"", {}},
        {L"   ", {}},
        {L"-keldra -silent", {L"keldra", L"silent"}},
        {L"  -KELDRA  -Silent  ", {L"keldra", L"silent"}},
        {L"/keldra /silent", {L"keldra /silent"}},
        {L"xkeldra", {L"keldra"}},
        {L"keldra", {L"eldra"}},
        {L"-a--b", {L"a", L"", L"b"}},
        {L"-from:_Keldra_LunarCalendar", {L"from:_keldra_lunarcalendar"}},
        {L"-notice:123 x", {L"notice:123 x"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitSwitchWords(c.line), c.words)
            << "line: [" << std::string(c.line.begin(), c.line.end()) << "]";
    }
}

TEST(ParseCommandLine, EmptyLineKeepsEveryDefault) {
    const SessionOptions o = Parse(L"");
    EXPECT_EQ(o.productKey, L"");
    EXPECT_EQ(o.fromValue, L"_Keldra");
    EXPECT_FALSE(o.suiteCaller || o.silent || o.notice || o.resetNew || o.enforce || o.execute ||
                 o.directRunInterface || o.noRun || o.toolCodeGiven || o.installPackage ||
                 o.fromCalendar || o.guardUpgrade || o.guardX64);
    EXPECT_EQ(o.noticeWindow, 0u);
    EXPECT_EQ(o.toolCode, L"");
    EXPECT_EQ(o.requestedVersion, L"");
}

TEST(ParseCommandLine, ResetsFieldsOfAnEarlierParseButKeepsTheCommandLine) {
    SessionOptions o;
    o.commandLine = L"-keldra -silent";
    ParseCommandLine(L"-keldra -silent -enforce", o, [] { return kWindows7; });
    ParseCommandLine(L"-dayloom", o, [] { return kWindows7; });
    EXPECT_EQ(o.commandLine, L"-keldra -silent");
    EXPECT_EQ(o.productKey, L"dayloom");
    EXPECT_FALSE(o.silent);
    EXPECT_FALSE(o.enforce);
    EXPECT_FALSE(o.suiteCaller);
}

// One flag per word: each line must turn on exactly the named flag.
TEST(ParseCommandLine, EachFlagWordTurnsOnItsOwnFlag) {
    using Flag = bool SessionOptions::*;
    struct Case {
        const wchar_t* line;
        Flag flag;
    };
    const Case cases[] = {
        {L"-x -keldra", &SessionOptions::suiteCaller},
        {L"-x -helvor", &SessionOptions::suiteCaller},
        {L"-x -KELDRA6", &SessionOptions::suiteCaller},
        {L"-x -Silent", &SessionOptions::silent},
        {L"-x -notice", &SessionOptions::notice},
        {L"-x -enforce", &SessionOptions::enforce},
        {L"-x -execute", &SessionOptions::execute},
        {L"-x -norun", &SessionOptions::noRun},
        {L"-x -DirectRunInerface", &SessionOptions::directRunInterface},
        {L"-x -resetnew", &SessionOptions::resetNew},
        {L"-x -tc_59", &SessionOptions::toolCodeGiven},
        {L"-x -InstallPackage", &SessionOptions::installPackage},
        {L"-x -from:_SkyDial_LunarCalendar", &SessionOptions::fromCalendar},
        {L"-x -wardel_upgrade", &SessionOptions::guardUpgrade},
        {L"-x -run_wardel_x64_now", &SessionOptions::guardX64},
    };
    const Flag all[] = {&SessionOptions::suiteCaller,
                        &SessionOptions::silent,
                        &SessionOptions::notice,
                        &SessionOptions::resetNew,
                        &SessionOptions::enforce,
                        &SessionOptions::execute,
                        &SessionOptions::directRunInterface,
                        &SessionOptions::noRun,
                        &SessionOptions::toolCodeGiven,
                        &SessionOptions::installPackage,
                        &SessionOptions::fromCalendar,
                        &SessionOptions::guardUpgrade,
                        &SessionOptions::guardX64};
    for (const Case& c : cases) {
        const SessionOptions o = Parse(c.line);
        for (Flag f : all) {
            EXPECT_EQ(o.*f, f == c.flag) << std::string(c.line, c.line + wcslen(c.line));
        }
    }
}

TEST(ParseCommandLine, ProductKeyIsAlwaysTheFirstWordLowerCased) {
    EXPECT_EQ(Parse(L"-Dayloom -silent").productKey, L"dayloom");
    EXPECT_EQ(Parse(L"-silent -keldra").productKey, L"silent");
    EXPECT_TRUE(Parse(L"-silent -keldra").silent);
    EXPECT_EQ(Parse(L"/keldra /silent").productKey, L"keldra /silent");
    EXPECT_FALSE(Parse(L"/keldra /silent").silent);
}

TEST(ParseCommandLine, EnforcedRunLineFromTheUpdaterItself) {
    const SessionOptions o = Parse(L"-dayloom -silent -enforce -notice:4242 -from:_Keldra");
    EXPECT_EQ(o.productKey, L"dayloom");
    EXPECT_TRUE(o.silent);
    EXPECT_TRUE(o.enforce);
    EXPECT_TRUE(o.notice);
    EXPECT_EQ(o.noticeWindow, 4242u);
    EXPECT_EQ(o.fromValue, L"_keldra");
    EXPECT_FALSE(o.fromCalendar);
}

TEST(ParseCommandLine, NoticeNumbers) {
    struct Case {
        const wchar_t* line;
        std::uint32_t window;
    };
    const Case cases[] = {
        {L"-k -notice", 0},
        {L"-k -notice:", 0},
        {L"-k -notice:123", 123},
        {L"-k -notice:00123abc", 123},
        {L"-k -notice:12 34", 12},
        {L"-k -notice:notice:77", 77},
        {L"-k -notice123", 0},  // no colon: the word itself starts with letters
        {L"-k -notice:99999999999999", 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        const SessionOptions o = Parse(c.line);
        EXPECT_TRUE(o.notice);
        EXPECT_EQ(o.noticeWindow, c.window) << std::string(c.line, c.line + wcslen(c.line));
    }
}

TEST(ParseCommandLine, RuleOrderDecidesWordsThatMatchSeveralRules) {
    // "notice" is tested before "enforce", "from" and the guard words.
    SessionOptions o = Parse(L"-k -noticeenforce");
    EXPECT_TRUE(o.notice);
    EXPECT_FALSE(o.enforce);
    o = Parse(L"-k -notice_from:x");
    EXPECT_TRUE(o.notice);
    EXPECT_EQ(o.fromValue, L"_Keldra");
    // "tc_" is tested before "from" and the version rule.
    o = Parse(L"-k -tc_from");
    EXPECT_TRUE(o.toolCodeGiven);
    EXPECT_EQ(o.toolCode, L"ufrom");
    EXPECT_EQ(o.fromValue, L"_Keldra");
    // the version rule comes before "from"
    o = Parse(L"-k -vfrom.1");
    EXPECT_EQ(o.requestedVersion, L"from.1");
    EXPECT_EQ(o.fromValue, L"_Keldra");
    // "from" before the guard words
    o = Parse(L"-k -from:wardel_x64");
    EXPECT_EQ(o.fromValue, L"wardel_x64");
    EXPECT_FALSE(o.guardX64);
    // "wardel_upgrade" before "wardel_x64"
    o = Parse(L"-k -wardel_upgrade_wardel_x64");
    EXPECT_TRUE(o.guardUpgrade);
    EXPECT_FALSE(o.guardX64);
    // exact words only for the plain switches
    o = Parse(L"-k -silently -enforced");
    EXPECT_FALSE(o.silent);
    EXPECT_FALSE(o.enforce);
}

TEST(ParseCommandLine, FlagsAreNeverClearedByLaterWords) {
    const SessionOptions o = Parse(L"-keldra -silent -x -y -silent");
    EXPECT_TRUE(o.suiteCaller);
    EXPECT_TRUE(o.silent);
}

TEST(ParseCommandLine, ToolCodes) {
    struct Case {
        const wchar_t* line;
        const wchar_t* code;
    };
    const Case cases[] = {
        {L"-k -tc_59", L"u59"},        {L"-k -tc_u59", L"u59"}, {L"-k -TC_U59", L"u59"},
        {L"-k -tc_i12", L"i12"},       {L"-k -tc_", L"u"},      {L"-k -tc_59tc_u", L"59tc_u"},
        {L"-k -tc_59 -tc_60", L"u60"},
    };
    for (const Case& c : cases) {
        const SessionOptions o = Parse(c.line);
        EXPECT_TRUE(o.toolCodeGiven);
        EXPECT_EQ(o.toolCode, c.code) << std::string(c.line, c.line + wcslen(c.line));
    }
    EXPECT_FALSE(Parse(L"-k -xtc_59").toolCodeGiven);
}

TEST(ParseCommandLine, RequestedVersionNeedsADotAfterTheLetterV) {
    EXPECT_EQ(Parse(L"-dayloom -v3.1.0.7").requestedVersion, L"3.1.0.7");
    EXPECT_EQ(Parse(L"-dayloom -V3.1").requestedVersion, L"3.1");
    EXPECT_EQ(Parse(L"-dayloom -v.").requestedVersion, L".");
    EXPECT_EQ(Parse(L"-dayloom -v").requestedVersion, L"");
    EXPECT_EQ(Parse(L"-dayloom -v31").requestedVersion, L"");
    EXPECT_EQ(Parse(L"-dayloom -x3.1").requestedVersion, L"");
}

TEST(ParseCommandLine, FromValuesAndTheCalendarCaller) {
    struct Case {
        const wchar_t* line;
        const wchar_t* from;
        bool calendar;
    };
    const Case cases[] = {
        {L"-dayloom -from:_Keldra_LunarCalendar", L"_keldra_lunarcalendar", true},
        {L"-dayloom -FROM:_SKYDIAL_LUNARCALENDAR", L"_skydial_lunarcalendar", true},
        {L"-dayloom -from:_Keldra", L"_keldra", false},
        {L"-dayloom -from_keldra_lunarcalendar", L"from_keldra_lunarcalendar", false},
        {L"-dayloom -from:from:_keldra_lunarcalendar", L"_keldra_lunarcalendar", true},
        // blanks inside a word stay
        {L"-dayloom -from: _helvor3", L" _helvor3", false},
    };
    for (const Case& c : cases) {
        const SessionOptions o = Parse(c.line);
        EXPECT_EQ(o.fromValue, c.from) << std::string(c.line, c.line + wcslen(c.line));
        EXPECT_EQ(o.fromCalendar, c.calendar) << std::string(c.line, c.line + wcslen(c.line));
    }
}

TEST(ParseCommandLine, ResetNewEditsTheStoredCommandLine) {
    SessionOptions o = Parse(L"-keldra -resetnew");
    EXPECT_TRUE(o.resetNew);
    EXPECT_EQ(o.commandLine, L"-keldra");
    o = Parse(L"-resetnew -silent -resetnew  ");
    EXPECT_EQ(o.commandLine, L" -silent");
    // Upper case sets the flag but is not removed from the stored text.
    o = Parse(L"-keldra -RESETNEW");
    EXPECT_TRUE(o.resetNew);
    EXPECT_EQ(o.commandLine, L"-keldra -RESETNEW");
}

TEST(ParseCommandLine, SiblingSetupUsesItsOldSystemPackageBeforeWindows7) {
    struct Case {
        const wchar_t* line;
        int osCode;
        const wchar_t* key;
    };
    const Case cases[] = {
        {L"-marlowsetup", kXp, L"marlowsetup_xp"},
        {L"-marlowsetup", 19, L"marlowsetup_xp"},
        {L"-marlowsetup", 0, L"marlowsetup_xp"},
        {L"-marlowsetup", kWindows7, L"marlowsetup"},
        {L"-marlowsetup", 31, L"marlowsetup"},
        {L"-MarlowSetupFull", kXp, L"marlowsetup_xp"},
        {L"-marlowsetup -keldra", kXp, L"marlowsetup"},
        {L"-dayloom", kXp, L"dayloom"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.line, c.osCode).productKey, c.key)
            << std::string(c.line, c.line + wcslen(c.line)) << " os " << c.osCode;
    }
}

TEST(ParseCommandLine, OsCodeIsOnlyAskedForTheSiblingSetup) {
    int asked = 0;
    SessionOptions o;
    ParseCommandLine(L"-keldra -silent", o, [&asked] { return ++asked; });
    EXPECT_EQ(asked, 0);
}

TEST(ToolCodeFor, FirstMatchingRowInTableOrder) {
    EXPECT_EQ(ToolCodeFor(L"pinnace"), L"u21");
    EXPECT_EQ(ToolCodeFor(L"pinnacesetup"), L"u21");
    EXPECT_EQ(ToolCodeFor(L"heatwatch"), L"u23");
    EXPECT_EQ(ToolCodeFor(L"linkward"), L"u24");
    EXPECT_EQ(ToolCodeFor(L"glasswispsetup"), L"u26");
    EXPECT_EQ(ToolCodeFor(L"keldra"), L"");
    EXPECT_EQ(ToolCodeFor(L""), L"");
    EXPECT_EQ(ToolCodeFor(L"PINNACE"), L"");  // keys are already lower case
    // Two tool words in one key: the earlier row wins.
    EXPECT_EQ(ToolCodeFor(L"linkward+pinnace"), L"u21");
}

TEST(ToolCodeFor, TableHasTheShapeOfSuiteCodes) {
    const wchar_t* keys[] = {
        L"pinnace",  L"heatwatch",  L"linkward", L"glasswisp",  L"reedmark",   L"driftnote",
        L"quillbox", L"snapreel",   L"portmoor", L"tidemark",   L"ashgrove",   L"cinderlog",
        L"wickfold", L"brightpane", L"stoneway", L"fernclock",  L"mossdrive",  L"lanternkey",
        L"saltwind", L"emberscan",  L"rookhall", L"velvetdisk", L"harborlink", L"thornpad"};
    std::set<std::wstring> codes;
    for (const wchar_t* key : keys) {
        const std::wstring code = ToolCodeFor(key);
        ASSERT_EQ(code.size(), 3u) << std::string(key, key + wcslen(key));
        EXPECT_EQ(code[0], L'u');
        const int n = std::stoi(code.substr(1));
        EXPECT_GE(n, 20);
        EXPECT_LE(n, 58);
        codes.insert(code);
    }
    EXPECT_EQ(codes.size(), 24u);
}

}  // namespace
