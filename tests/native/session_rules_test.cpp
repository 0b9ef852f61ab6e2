// The session's own rules: which outcome a check ends in, what a check with updates starts, what a
// click does, and the records and stored values it exchanges with other programs.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "app/notice_record.h"
#include "app/session_rules.h"
#include "base/session_state.h"
#include "app/uptime.h"

namespace {

TEST(NoticeRecord, LayoutOfEveryField) {
    // Command, product, percent, status and text; every byte of the numbers counts.
    NoticeRecord record{1, L"dayloom", 0x01020304, 0xFF000001, L"C:\\升级\\a.exe"};
    const std::vector<std::uint8_t> bytes = EncodeNoticeRecord(record);
    ASSERT_EQ(bytes.size(), 660u);
    const std::uint8_t head[] = {1, 0, 0, 0, 'd', 0, 'a', 0, 'y', 0};
    EXPECT_EQ(std::memcmp(bytes.data(), head, sizeof head), 0);
    EXPECT_EQ(bytes[4 + 14], 0);  // terminator after 7 characters
    // The numbers, then the text with U+5347 little-endian.
    const std::uint8_t numbers[] = {4, 3, 2, 1, 1, 0, 0, 0xFF, 'C', 0, ':', 0, '\\', 0, 0x47, 0x53};
    EXPECT_EQ(std::memcmp(&bytes[132], numbers, sizeof numbers), 0);
    // Long strings are cut and stay terminated; the decoder reads back what was kept.
    record.product = std::wstring(100, L'p');
    record.text = std::wstring(400, L't');
    const std::vector<std::uint8_t> cut = EncodeNoticeRecord(record);
    EXPECT_EQ(cut[4 + 126] + cut[4 + 127] + cut[140 + 518] + cut[140 + 519], 0);
    for (const auto& [encoded, product, text] :
         {std::tuple{bytes, std::wstring(L"dayloom"), std::wstring(L"C:\\升级\\a.exe")},
          std::tuple{cut, std::wstring(63, L'p'), std::wstring(259, L't')}}) {
        const auto back = DecodeNoticeRecord(encoded.data(), encoded.size());
        ASSERT_TRUE(back);
        EXPECT_EQ(std::tuple(back->product, back->text, back->percent, back->status),
                  std::tuple(product, text, 0x01020304u, 0xFF000001u));
    }
}

TEST(NoticeRecord, AFullFieldEndsAtItsEndAndPairsComeBackWhole) {
    // A field filled to its end has no terminator: its text stops there, not in the next field.
    // A character beyond U+FFFF travels as a surrogate pair.
    std::vector<std::uint8_t> bytes =
        EncodeNoticeRecord({.product = L"", .percent = 0x41, .text = L"\U00010000x"});
    for (std::size_t i = 0; i < kNoticeProductChars; ++i) {
        bytes[kNoticeProductOffset + 2 * i] = 'p';
    }
    const auto back = DecodeNoticeRecord(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->product, std::wstring(kNoticeProductChars, L'p'));
    EXPECT_EQ(back->text, L"\U00010000x");
}

TEST(NoticeRecord, ReceivedRecordsAreReadOnlyWithinTheirLengthAndTheCountRecord) {
    std::vector<std::uint8_t> bytes =
        EncodeNoticeRecord({.product = L"", .status = kNoticeCloseUpdater, .text = L""});
    EXPECT_TRUE(IsCloseRequest(bytes.data(), bytes.size()));
    EXPECT_TRUE(IsCloseRequest(bytes.data(), 140));  // the text is not needed
    EXPECT_FALSE(IsCloseRequest(nullptr, 660));
    for (const NoticeRecord& other :
         {NoticeRecord{.command = 2, .product = L"", .status = kNoticeCloseUpdater, .text = L""},
          NoticeRecord{.product = L"", .status = kNoticeFailed, .text = L""}}) {
        bytes = EncodeNoticeRecord(other);
        EXPECT_FALSE(IsCloseRequest(bytes.data(), bytes.size()));
    }
    // The update count record: its code, then the count.
    bytes = EncodeUpdateCountRecord(0x12345678);
    const std::vector<std::uint8_t> expected = {23, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(DecodeUpdateCountRecord(bytes.data(), bytes.size()), 0x12345678u);
}

TEST(Uptime, OleDatesStoredBytesAndTheHoursComponentOfTheRateLimit) {
    const std::pair<LocalTime, double> cases[] = {
        {{1899, 12, 30, 0, 0, 0}, 0.0},     {{1900, 1, 1, 18, 0, 0}, 2.75},
        {{1900, 3, 1, 0, 0, 0}, 61.0},      {{2000, 2, 29, 0, 0, 0}, 36585.0},
        {{2023, 2, 28, 6, 0, 0}, 44985.25}, {{2023, 3, 1, 0, 0, 0}, 44986.0},
        {{2024, 2, 29, 12, 0, 0}, 45351.5}, {{2024, 3, 1, 0, 0, 0}, 45352.0},
        {{2026, 12, 5, 12, 0, 0}, 46361.5}, {{2100, 3, 1, 0, 0, 0}, 73110.0}};
    for (const auto& [time, date] : cases) {
        EXPECT_DOUBLE_EQ(ToOleDate(time), date)
            << time.year << "-" << time.month << "-" << time.day;
    }
    EXPECT_DOUBLE_EQ(DefaultLastCheck(), 41640.0);  // 2014-01-01
    // Stored bytes round-trip (other sizes and values are left to the fuzz target); a value
    // marked invalid gives the default.
    const double when = ToOleDate({2026, 12, 5, 9, 30, 0});
    const std::vector<std::uint8_t> bytes = EncodeUptime(when);
    ASSERT_EQ(bytes.size(), 12u);
    EXPECT_EQ(GetUint32(&bytes[8]), 0u);
    EXPECT_DOUBLE_EQ(DecodeUptime(bytes), when);
    EXPECT_DOUBLE_EQ(DecodeUptime(EncodeUptime(when, kUptimeInvalid)), DefaultLastCheck());
    // The guard check's rate limit: only the hours component of the span counts.
    const double last = ToOleDate({2026, 12, 5, 8, 0, 0});
    const std::tuple<LocalTime, const wchar_t*, bool> checks[] = {
        {{2026, 12, 5, 8, 59, 59}, L"-wardel_x64", true},
        {{2026, 12, 5, 9, 0, 0}, L"-wardel_x64", false},
        {{2026, 12, 6, 8, 30, 0}, L"-wardel_x64", true},  // 24 h 30 min: hours component 0
        {{2026, 12, 6, 9, 30, 0}, L"-wardel_x64", false},
        {{2026, 12, 5, 8, 10, 0}, L"-wardel_x64 -enforce", false},
        {{2026, 12, 5, 8, 10, 0}, L"-wardel_x64 -ENFORCE", true},  // exact case only
        {{2026, 12, 5, 7, 0, 0}, L"-wardel_x64", true},            // clock went back
    };
    for (const auto& [now, commandLine, limited] : checks) {
        EXPECT_EQ(GuardCheckRateLimited(last, ToOleDate(now), commandLine), limited)
            << now.day << " " << now.hour << ":" << now.minute;
    }
    // Half a second before the hour rounds up to the full hour.
    EXPECT_EQ(SpanHoursComponent(0.0, (3600.0 - 0.4) / 86400.0), 1);
}

// Options with the given product and switches set.
SessionOptions With(const wchar_t* product, std::initializer_list<bool SessionOptions::*> on = {}) {
    SessionOptions options;
    options.productKey = product;
    for (bool SessionOptions::*flag : on) {
        options.*flag = true;
    }
    return options;
}

using O = SessionOptions;

// How a check ends, and which facts it asks for: the guard's "too soon" answer writes the time
// of the check, so it is asked for only in a guard check that gets that far.
TEST(SessionRules, CheckOutcomesInTheirOrder) {
    struct Case {
        SessionOptions options;
        bool read, updater, updates, tooSoon;
        CheckOutcome outcome;
        bool guardAsked;
    };
    const SessionOptions plain = With(L"dayloom");
    const SessionOptions upkeep = With(L"wardel", {&O::guardUpgrade, &O::guardX64});
    const SessionOptions guard = With(L"wardel", {&O::guardX64});
    const SessionOptions tool = With(L"keldra", {&O::toolCodeGiven});
    const SessionOptions guardTool = With(L"wardel", {&O::toolCodeGiven, &O::guardX64});
    const Case cases[] = {
        {upkeep, false, true, true, true, CheckOutcome::kNetworkFailure, false},
        {upkeep, true, true, true, true, CheckOutcome::kSelfUpdate, false},
        {upkeep, true, false, true, true, CheckOutcome::kGuardUpkeep, false},
        {guard, true, false, true, true, CheckOutcome::kGuardTooSoon, true},
        {guard, true, false, true, false, CheckOutcome::kUpdates, true},
        {guardTool, true, false, true, false, CheckOutcome::kSuitePackage, true},
        {tool, true, false, true, true, CheckOutcome::kSuitePackage, false},
        {plain, true, false, true, true, CheckOutcome::kUpdates, false},
        {plain, true, false, false, true, CheckOutcome::kNoUpdates, false},
    };
    for (const Case& c : cases) {
        bool asked = false;
        const auto tooSoon = [&] {
            asked = true;
            return c.tooSoon;
        };
        EXPECT_EQ(DecideCheckOutcome(c.options, {c.read, c.updater, c.updates}, tooSoon), c.outcome)
            << "case " << &c - cases;
        EXPECT_EQ(asked, c.guardAsked) << "case " << &c - cases;
    }
}

TEST(SessionRules, EndsWithoutUpdatesAndTheSetupKindOfSetupProducts) {
    struct Case {
        SessionOptions options;
        bool installed;
        NoUpdatesEnd end;
        bool probed;
    };
    const Case cases[] = {
        {With(L"dayloom", {&O::silent}), false, NoUpdatesEnd::kFinished, false},
        {With(L"keldra6", {&O::notice}), false, NoUpdatesEnd::kFinished, false},
        {With(L"Keldra6"), false, NoUpdatesEnd::kCountOnly, false},
        {With(L"dayloom"), true, NoUpdatesEnd::kAutoClose, true},
        {With(L"dayloom"), false, NoUpdatesEnd::kOfferMainSetup, true},
    };
    for (const Case& c : cases) {
        bool probed = false;
        const auto installed = [&] {
            probed = true;
            return c.installed;
        };
        EXPECT_EQ(DecideNoUpdatesEnd(c.options, installed), c.end) << "case " << &c - cases;
        EXPECT_EQ(probed, c.probed) << "case " << &c - cases;
    }
    // The setup programs by substring, case-sensitive; any other product keeps its kind.
    const std::tuple<const wchar_t*, bool, int, int> kinds[] = {
        {L"pinnacesetup", true, 2, 1},   {L"pinnacesetup", false, 2, 0},
        {L"xdayloomsetup2", true, 0, 2}, {L"dayloomsetup", false, 1, 0},
        {L"PinnaceSetup", true, 2, 2},   {L"dayloom", true, 1, 1},
    };
    for (const auto& [product, silent, current, kind] : kinds) {
        const SessionOptions options = With(product, silent ? std::initializer_list{&O::silent}
                                                            : std::initializer_list<bool O::*>{});
        EXPECT_EQ(SetupKindFor(options, current), kind) << product << " " << silent;
    }
}

TEST(SessionRules, WhatACheckWithUpdatesStarts) {
    // Facts: enforced pending, ordinary pending, product among the enforced items, setup kind.
    // Plan: enforced job, close, hand-off, off-screen close, auto close, start reason, page.
    using Plan = std::tuple<bool, bool, bool, bool, bool, int, bool>;
    struct Case {
        SessionOptions options;
        UpdatesFacts facts;
        Plan plan;
    };
    const SessionOptions enforce = With(L"dayloom", {&O::enforce, &O::execute});
    const SessionOptions shown = With(L"dayloom");
    const SessionOptions silent = With(L"dayloom", {&O::silent});
    const SessionOptions notice = With(L"dayloom", {&O::notice});
    const SessionOptions execute = With(L"dayloom", {&O::execute});
    const SessionOptions direct = With(L"dayloom", {&O::directRunInterface});
    const Case cases[] = {
        {enforce, {true, true, false, 1}, {true, false, false, false, false, 0, true}},
        {enforce, {false, true, false, 1}, {false, true, false, false, false, 0, true}},
        // The hand-off leaves nothing: shown, five seconds without a page; silent, unseen (a
        // setup kind still posts its step after the close).
        {execute, {true, false, false, 1}, {false, false, true, false, true, 0, false}},
        {silent, {true, false, false, 1}, {false, false, true, true, false, 1, true}},
        {silent, {true, true, false, 0}, {false, false, true, false, false, 0, true}},
        {notice, {true, true, true, 0}, {false, false, true, false, false, 0, true}},
        {notice, {false, true, true, 0}, {false, false, false, false, false, 0, true}},
        {notice, {true, true, false, 0}, {false, false, true, false, false, 1, true}},
        {execute, {false, true, false, 0}, {false, false, false, false, false, 1, true}},
        {direct, {false, true, false, 2}, {false, false, false, false, false, 1, true}},
        {direct, {false, true, false, 0}, {false, false, false, false, false, 2, true}},
        {shown, {false, true, false, 0}, {false, false, false, false, false, 0, true}},
    };
    for (const Case& c : cases) {
        const UpdatesPlan p = DecideUpdatesPlan(c.options, c.facts);
        EXPECT_EQ(Plan(p.startEnforcedJob, p.close, p.handOffEnforced, p.closeOffScreen,
                       p.autoClose, p.startReason, p.showPage),
                  c.plan)
            << "case " << &c - cases;
    }
    EXPECT_EQ(SecondUpdaterArguments(shown), L"-keldra -silent -enforce");
    SessionOptions from = notice;
    from.fromValue = L"_X";
    EXPECT_EQ(SecondUpdaterArguments(from), L"-dayloom -silent -enforce -notice -from:_X");
}

// What the window holds once the check has ended, and whether it shows: a check that has posted
// the close never shows it, whatever the show rule says.
TEST(SessionRules, TheWindowAfterTheCheck) {
    using C = CheckOutcome;
    using N = NoUpdatesEnd;
    const UpdatesPlan offer;
    const UpdatesPlan start{.startReason = 1};
    const UpdatesPlan handOff{.handOffEnforced = true, .autoClose = true, .showPage = false};
    const UpdatesPlan offScreen{.handOffEnforced = true, .closeOffScreen = true, .startReason = 1};
    const UpdatesPlan close{.close = true};
    // The job kind; then "auto" for the five-second close, "close" for the close posted,
    // "step<reason>" for the job step posted with its reason, and "shown".
    struct Case {
        SessionOptions options;
        CheckEnd end;
        int setupKind;
        int jobKind;
        const char* after;
    };
    const SessionOptions keldra = With(L"keldra");
    const SessionOptions quiet = With(L"keldra", {&O::silent});
    const SessionOptions pinnace = With(L"pinnace");
    const Case cases[] = {
        {keldra, {C::kNetworkFailure}, 0, kJobSelfUpdate, " close"},
        {keldra, {C::kSelfUpdate}, 0, kJobSelfUpdate, " step0 shown"},
        // A quiet check that updates the updater first: no updates of its own yet, so unseen.
        {quiet, {C::kSelfUpdate}, 0, kJobSelfUpdate, " step0"},
        {keldra, {C::kGuardUpkeep}, 0, kJobNone, " close"},
        {keldra, {C::kGuardTooSoon}, 0, kJobNone, " close"},
        {keldra, {C::kSuitePackage}, 1, kJobNone, " shown"},
        {quiet, {C::kNoUpdates, N::kFinished}, 0, kJobNone, " close"},
        {With(L"Keldra6"), {C::kNoUpdates, N::kCountOnly}, 0, kJobNone, " close"},
        {keldra, {C::kNoUpdates, N::kOfferMainSetup}, 0, kJobMainSetup, " shown"},
        {keldra, {C::kNoUpdates, N::kAutoClose}, 0, kJobNone, " auto shown"},
        // "-keldra -execute" with nothing to do: the five seconds pass unseen.
        {With(L"keldra", {&O::execute}), {C::kNoUpdates, N::kAutoClose}, 0, kJobNone, " auto"},
        {keldra, {C::kUpdates, N::kFinished, offer}, 0, kJobNormalUpdate, " shown"},
        // The manifest's "UpgradeType" 1 without "-silent": the downloads start in sight.
        {keldra, {C::kUpdates, N::kFinished, start}, 1, kJobNormalUpdate, " step1 shown"},
        {quiet, {C::kUpdates, N::kFinished, start}, 1, kJobNormalUpdate, " step1"},
        // Only enforced items, with "-notice": handed off, and five seconds unseen.
        {With(L"pinnace", {&O::notice}),
         {C::kUpdates, N::kFinished, handOff},
         0,
         kJobNormalUpdate,
         " auto"},
        {pinnace, {C::kUpdates, N::kFinished, handOff}, 0, kJobNormalUpdate, " auto shown"},
        {With(L"pinnace", {&O::silent}),
         {C::kUpdates, N::kFinished, offScreen},
         1,
         kJobNormalUpdate,
         " close step1"},
        {With(L"keldra", {&O::enforce}),
         {C::kUpdates, N::kFinished, close},
         0,
         kJobNormalUpdate,
         " close"},
    };
    for (const Case& c : cases) {
        const WindowAfterCheck a = WindowAfter(c.end);
        std::string after =
            std::string(a.autoClose ? " auto" : "") + (a.closePosted ? " close" : "");
        if (a.postJobStep) {
            after += " step" + std::to_string(a.startReason);
        } else {
            EXPECT_EQ(a.startReason, 0) << c.after;
        }
        after += ShownAfterCheck(c.options, c.end, c.setupKind) ? " shown" : "";
        EXPECT_EQ(std::tuple(a.jobKind, after), std::tuple(c.jobKind, std::string(c.after)))
            << "case " << &c - cases;
    }
    // The setup kind a check leaves.
    const SessionOptions setup = With(L"pinnacesetup", {&O::silent});
    EXPECT_EQ(SetupKindAfterCheck(keldra, C::kSuitePackage, 0), 1);
    EXPECT_EQ(SetupKindAfterCheck(setup, C::kUpdates, 0), 1);
    EXPECT_EQ(SetupKindAfterCheck(setup, C::kNoUpdates, 0), 0);
    EXPECT_EQ(SetupKindAfterCheck(keldra, C::kUpdates, 1), 1);
    EXPECT_TRUE(IsSuiteProduct(keldra));
    EXPECT_FALSE(IsSuiteProduct(With(L"keldra6")));
}

TEST(SessionRules, WhatAClickDoes) {
    using A = ClickAction;
    const ClickAt close{.close = true, .bar = true, .button = true};
    const ClickAt bar{.bar = true};
    const ClickAt button{.button = true};
    const ClickAt link{.suiteLink = true};
    const ClickAt buttonAndLink{.button = true, .suiteLink = true};
    struct Case {
        ClickFacts facts;
        std::vector<A> actions;
    };
    const Case cases[] = {
        {{.at = close, .interactive = false, .anyJobRunning = true}, {A::kCloseSession}},
        {{.at = {.bar = true, .button = true}, .interactive = false}, {}},
        {{.at = bar}, {A::kToggleHistory}},
        {{.at = {.bar = true, .button = true}, .anyJobRunning = true}, {A::kToggleHistory}},
        {{.at = buttonAndLink, .jobFinished = true, .productUpdatePending = true}, {A::kFinish}},
        {{.at = button, .productInstalled = true}, {A::kStartUpdateJob}},
        // The update job counts the product as installed, so the link no longer offers the suite.
        {{.at = buttonAndLink, .productUpdatePending = true}, {A::kStartUpdateJob}},
        {{.at = button, .suiteProduct = true, .productInstalled = true}, {A::kInstallSuite}},
        {{.at = button}, {A::kInstallSuite}},
        {{.at = link, .productUpdatePending = true}, {A::kInstallSuite}},
        {{.at = link, .productInstalled = true, .productUpdatePending = true}, {}},
        {{.at = link, .productUpdatePending = true, .silent = true}, {}},
        // The suite's package job clears "silent", so the link then offers it again.
        {{.at = buttonAndLink, .suiteProduct = true, .productUpdatePending = true, .silent = true},
         {A::kInstallSuite, A::kInstallSuite}},
    };
    for (const Case& c : cases) {
        const ClickPlan plan = DecideClick(c.facts);
        EXPECT_EQ(std::vector<A>(plan.actions.begin(), plan.actions.begin() + plan.count),
                  c.actions)
            << "case " << &c - cases;
    }
}

}  // namespace
