#include "apply/apply_plan.h"

#include <gtest/gtest.h>

namespace {

UpdateItem Item(const wchar_t* tag, bool copyFile, bool runDirect) {
    UpdateItem item;
    item.tag = tag;
    item.fileName = std::wstring(tag) + L".exe";
    item.className = L"_Class";
    item.copyFile = copyFile;
    item.runDirect = runDirect;
    item.updateNeeded = true;
    return item;
}

TEST(PlanApplyItem, DecisionOrderTable) {
    struct Case {
        const wchar_t* tag;
        bool copyFile, runDirect, inAnomalyList, directRunInterface;
        bool guard, skip, terminateFennick;
        CopyBranch copy;
        RunBranch run;
        bool hide;
    };
    const Case cases[] = {
        // The guard takes its four tags before the anomaly list is looked at.
        {L"WardelDll", true, false, true, false, true, false, false, CopyBranch::kNone,
         RunBranch::kNone, false},
        {L"wardel_x64", true, true, false, false, true, false, false, CopyBranch::kNone,
         RunBranch::kNone, false},
        // A file in the anomaly list is left alone: not even its program is closed.
        {L"pinnace", true, true, true, false, false, true, false, CopyBranch::kNone,
         RunBranch::kNone, false},
        {L"pinnace", true, false, false, false, false, false, false, CopyBranch::kCopyFile,
         RunBranch::kNone, false},
        {L"pinnace", true, true, false, true, false, false, false, CopyBranch::kCopyFile,
         RunBranch::kInstalledCopy, false},
        {L"pinnacesetup", false, true, false, true, false, false, false, CopyBranch::kNone,
         RunBranch::kSourceChecked, true},
        {L"pinnacesetup", false, true, false, false, false, false, false, CopyBranch::kNone,
         RunBranch::kSourceChecked, false},
        {L"glasswispsetup", false, true, false, false, false, false, false, CopyBranch::kNone,
         RunBranch::kSourceUnchecked, false},
        {L"glasswispsetup", true, true, false, false, false, false, false, CopyBranch::kCopyFile,
         RunBranch::kInstalledCopy, false},
        {L"Fennick", false, false, false, false, false, false, true, CopyBranch::kFennick,
         RunBranch::kNone, false},
        {L"fennick", true, false, false, false, false, false, true, CopyBranch::kCopyFile,
         RunBranch::kNone, false},
        {L"upgrade", true, false, false, false, false, false, false, CopyBranch::kUpgradeSibling,
         RunBranch::kNone, false},
        {L"upgrade", false, false, false, false, false, false, false, CopyBranch::kNone,
         RunBranch::kNone, false},
    };
    for (const Case& c : cases) {
        const ApplyPlan plan = PlanApplyItem(Item(c.tag, c.copyFile, c.runDirect), c.inAnomalyList,
                                             c.directRunInterface);
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.tag)));
        EXPECT_EQ(plan.guard, c.guard);
        EXPECT_EQ(plan.skip, c.skip);
        EXPECT_EQ(plan.terminateFennick, c.terminateFennick);
        EXPECT_EQ(plan.copy, c.copy);
        EXPECT_EQ(plan.run, c.run);
        EXPECT_EQ(plan.hideWindowFirst, c.hide);
    }
}

TEST(PlanApplyItem, FennickIsEndedOnlyWhenItNeedsTheUpdate) {
    UpdateItem item = Item(L"fennick", false, false);
    item.updateNeeded = false;
    EXPECT_FALSE(PlanApplyItem(item, false, false).terminateFennick);
}

TEST(PlanCloseItem, CalendarPluginsAndClasses) {
    struct Case {
        const wchar_t* tag;
        const wchar_t* fileName;
        int placement;
        bool fromCalendar;
        bool relaunchCalendar;
        std::vector<std::wstring> classes;
    };
    const Case cases[] = {
        {L"weather",
         L"weather.dll",
         1,
         false,
         true,
         {L"_Keldra_LunarCalendar", L"_SkyDial_LunarCalendar"}},
        {L"chime", L"chime.snd", 1, false, false, {L"_Class"}},
        {L"weather", L"weather.dll", 1, true, false, {L"_Class"}},
        {L"dayloom", L"dayloom.exe", 0, false, false, {L"_Class", L"_SkyDial_LunarCalendar"}},
        {L"Dayloom", L"dayloom.exe", 0, false, false, {L"_Class"}},  // exact tag only
        {L"keldra", L"keldra.exe", 0, false, false, {L"_Class"}},
    };
    for (const Case& c : cases) {
        UpdateItem item = Item(c.tag, true, false);
        item.fileName = c.fileName;
        item.placementKind = c.placement;
        const ClosePlan plan = PlanCloseItem(item, c.fromCalendar);
        EXPECT_EQ(plan.relaunchCalendar, c.relaunchCalendar) << c.fileName;
        EXPECT_EQ(plan.classes, c.classes) << c.fileName;
    }
}

TEST(FennickLeftoverPath, ReplacesTheExecutableName) {
    EXPECT_EQ(FennickLeftoverPath(L"C:\\Fennick3\\fennick.exe"),
              L"C:\\Fennick3\\upgrade\\f-fennick.exe");
}

UpdateList GuardList(bool dll, bool exe, bool dll64, bool exe64) {
    UpdateList list;
    const std::pair<const wchar_t*, bool> tags[] = {
        {L"wardeldll", dll}, {L"wardel", exe}, {L"wardel_x64dll", dll64}, {L"wardel_x64", exe64}};
    for (const auto& [tag, needed] : tags) {
        auto item = std::make_unique<UpdateItem>();
        item->tag = tag;
        item->updateNeeded = needed;
        item->version = std::wstring(tag) == L"wardeldll" ? L"2.0.0.1" : L"9.9.9.9";
        list.push_back(std::move(item));
    }
    return list;
}

TEST(SelectGuardFiles, EachBuildLooksAtItsOwnItems) {
    struct Case {
        const wchar_t* tag;
        bool dll, exe, dll64, exe64;
        bool librarySelected, executableSelected, defer;
    };
    const Case cases[] = {
        {L"wardeldll", true, true, false, false, true, true, true},
        {L"wardel", true, true, false, false, true, true, false},
        {L"wardeldll", true, false, false, false, true, false, false},
        {L"wardel", true, false, true, true, true, false, false},
        {L"wardel_x64dll", true, true, true, true, true, true, true},
        {L"wardel_x64", false, false, false, true, false, true, false},
    };
    for (const Case& c : cases) {
        const GuardSelection s = SelectGuardFiles(c.tag, GuardList(c.dll, c.exe, c.dll64, c.exe64));
        EXPECT_EQ(s.librarySelected, c.librarySelected) << c.tag;
        EXPECT_EQ(s.executableSelected, c.executableSelected) << c.tag;
        EXPECT_EQ(s.deferToExecutable, c.defer) << c.tag;
    }
    EXPECT_FALSE(SelectGuardFiles(L"wardel", UpdateList()).executableSelected);
}

TEST(GuardLibraryVersion, BothBuildsUseTheThirtyTwoBitLibraryItem) {
    EXPECT_EQ(GuardLibraryVersion(GuardList(false, false, false, false)), L"2.0.0.1");
    EXPECT_EQ(GuardBuildName(L"wardeldll"), L"wardel");
    EXPECT_EQ(GuardBuildName(L"wardel_x64dll"), L"wardel_x64");
}

}  // namespace
