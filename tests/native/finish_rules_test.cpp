#include "apply/finish_rules.h"

#include <gtest/gtest.h>

#include "app/job_step.h"
#include "app/session_state.h"

namespace {

TEST(ChooseRelaunch, BothTablesFirstMatchWins) {
    using R = RelaunchStart;
    struct Case {
        const wchar_t* tag;
        bool unattended;
        int osCode;
        R finish;
        R enforced;
    };
    const Case cases[] = {
        {L"HeatWatch", true, 23, R::kTray, R::kTray},
        {L"linkward", false, 5, R::kTray, R::kTray},
        {L"wardel_x64", true, 23, R::kGuard, R::kExplorer},
        {L"Wardel", false, 23, R::kOwnedOpen, R::kOpen},  // the guard rule keeps the case
        {L"dayloom", true, 23, R::kExplorer, R::kExplorer},
        {L"dayloom", true, 18, R::kOwnedOpen, R::kOpen},  // before Vista: the shell opens it
        {L"dayloom", true, 19, R::kExplorer, R::kExplorer},
        {L"Keldra", false, 23, R::kMainProgram, R::kMainProgram},
        {L"keldra", true, 23, R::kExplorer, R::kExplorer},
        {L"fennick", true, 23, R::kExplorer, R::kFennickExplorer},
        {L"pinnace", false, 23, R::kOwnedOpen, R::kOpen},
    };
    for (const Case& c : cases) {
        const RelaunchEntry entry{c.tag, L"", false, c.unattended};
        EXPECT_EQ(ChooseRelaunch(RelaunchTable::kFinish, entry, c.osCode), c.finish) << c.tag;
        EXPECT_EQ(ChooseRelaunch(RelaunchTable::kEnforced, entry, c.osCode), c.enforced) << c.tag;
    }
}

TEST(ShellStartFor, ParametersAndOwner) {
    EXPECT_EQ(ShellStartFor(RelaunchStart::kTray, true).parameters, L" /tray");
    EXPECT_EQ(ShellStartFor(RelaunchStart::kMainProgram, true).parameters, L"/fromtallix");
    EXPECT_EQ(ShellStartFor(RelaunchStart::kMainProgram, false).parameters, L"/fromtallix /hide");
    EXPECT_TRUE(ShellStartFor(RelaunchStart::kGuard, false).ownedByWindow);
    EXPECT_TRUE(ShellStartFor(RelaunchStart::kOwnedOpen, false).ownedByWindow);
    EXPECT_FALSE(ShellStartFor(RelaunchStart::kOpen, false).ownedByWindow);
    EXPECT_EQ(ShellStartFor(RelaunchStart::kOpen, false).parameters, L"/fromtallix");
    EXPECT_EQ(ExplorerCommandLine(L"C:\\windows\\explorer.exe", L"C:\\s\\dayloom.exe"),
              L"C:\\windows\\explorer.exe C:\\s\\dayloom.exe");
}

TEST(ShouldHandOver, AllFourConditions) {
    HandoverFacts good;
    good.listEmpty = false;
    good.firstEntryVersion = L"3.2.0.18";
    good.newVersion = L"3.2.0.18";
    good.currentVersion = L"3.2.0.17";
    good.signatureAccepted = true;
    good.productAccepted = true;
    EXPECT_TRUE(ShouldHandOver(good));
    auto with = [&](auto change) {
        HandoverFacts f = good;
        change(f);
        return ShouldHandOver(f);
    };
    EXPECT_FALSE(with([](HandoverFacts& f) { f.listEmpty = true; }));
    EXPECT_FALSE(with([](HandoverFacts& f) { f.firstEntryVersion = L"3.2.0.19"; }));
    EXPECT_FALSE(with([](HandoverFacts& f) { f.currentVersion = L"3.2.0.18"; }));  // equal
    EXPECT_FALSE(with([](HandoverFacts& f) { f.currentVersion = L"3.3.0.0"; }));   // older
    EXPECT_FALSE(with([](HandoverFacts& f) { f.signatureAccepted = false; }));
    EXPECT_FALSE(with([](HandoverFacts& f) { f.productAccepted = false; }));
    EXPECT_EQ(HandoverParameters(L"-Keldra  -silent"), L"-Keldra  -silent -resetnew ");
}

TEST(CallerWantsItem, OwnProductOrItsDependencies) {
    EXPECT_TRUE(CallerWantsItem(L"Dayloom", L"dayloom", L""));
    EXPECT_TRUE(CallerWantsItem(L"weather", L"dayloom", L"chime,weather,"));
    EXPECT_FALSE(CallerWantsItem(L"pinnace", L"dayloom", L"chime,weather,"));
}

TEST(CalendarRecord, SetupKeysAndDecision) {
    EXPECT_TRUE(IsCalendarSetupKey(L"dayloomsetup_silent"));
    EXPECT_TRUE(IsCalendarSetupKey(L"PINNACESETUP"));
    EXPECT_FALSE(IsCalendarSetupKey(L"dayloom"));
    using C = CalendarRecord;
    EXPECT_EQ(DecideCalendarRecord(true, true, L"3.0.0.2", L"3.0.0.1"), C::kWrite);
    EXPECT_EQ(DecideCalendarRecord(true, true, L"3.0.0.1", L"3.0.0.1"), C::kDelete);
    EXPECT_EQ(DecideCalendarRecord(true, true, L"3.0.0.0", L"3.0.0.1"), C::kDelete);
    EXPECT_EQ(DecideCalendarRecord(true, true, L"", L"3.0.0.1"), C::kLeave);
    EXPECT_EQ(DecideCalendarRecord(false, true, L"3.0.0.2", L""), C::kLeave);
    EXPECT_EQ(DecideCalendarRecord(true, false, L"3.0.0.2", L"3.0.0.1"), C::kLeave);
}

TEST(WaitForDependencies, OnePauseForEachMissingFileUntilTheCountPassesFifty) {
    struct Case {
        std::wstring depend;
        int countBefore;
        int pauses;
        int countAfter;
    };
    const Case cases[] = {
        {L"here.dll,gone.dll,", 0, 1, 1},
        {L"here.dll", 0, 0, 0},
        {L"gone1.dll,gone2.dll", 49, 1, 0},  // the 50th pauses, the 51st resets instead
        {L"gone.dll", 50, 0, 0},
    };
    for (const Case& c : cases) {
        int pauses = 0;
        int checks = 0;
        int count = c.countBefore;
        WaitForDependencies(
            c.depend,
            [&](const std::wstring& name) {
                ++checks;
                return name == L"here.dll";
            },
            [&](int ms) {
                EXPECT_EQ(ms, 100);
                ++pauses;
            },
            count);
        EXPECT_EQ(pauses, c.pauses) << c.depend;
        EXPECT_EQ(count, c.countAfter) << c.depend;
    }
}

std::string Describe(const StepAction& a) {
    return std::string(a.startThread ? "start " : "") + (a.reportProgress ? "progress " : "") +
           (a.countDownload ? "count " : "") + (a.reportFailure ? "failure " : "") +
           (a.releaseJob ? "release " : "") + "-> " + std::to_string(a.newState);
}

TEST(JobSteps, EachJobsStepByState) {
    struct Case {
        std::int32_t state;
        const char* normal;
        const char* enforced;
        const char* package;
    };
    const Case cases[] = {{kJobReady, "start -> 2", "-> 2", "-> 2"},
                          {kJobRunning, "progress -> -1", "progress -> -1", "progress -> -1"},
                          {kJobDownloaded, "count release -> -1", "release -> -1", "release -> -1"},
                          // A failed enforced item lets the hidden run go on with its next item.
                          {kJobFailed, "failure release -> 0", "failure release -> 0", "-> 0"},
                          {kJobEndedAfterFailure, "-> -1", "-> -1", "-> -1"},
                          {7, "-> -1", "-> -1", "-> -1"}};
    for (const Case& c : cases) {
        EXPECT_EQ(Describe(StepFor(c.state, kNormalJobSteps)), c.normal) << c.state;
        EXPECT_EQ(Describe(StepFor(c.state, kEnforcedJobSteps)), c.enforced) << c.state;
        EXPECT_EQ(Describe(StepFor(c.state, kPackageJobSteps)), c.package) << c.state;
    }
}

}  // namespace
