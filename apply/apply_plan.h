// What applying one update item does, decided from the item alone: whether the guard component
// takes it, which program windows are closed, whether the package is copied over the installed
// file or run as an installer. The Windows side carries the plan out; the package checks and
// the file operations happen there.
#pragma once

#include <string>
#include <vector>

#include "manifest/update_item.h"

// One program to start again once the items are applied, remembered when its window was closed.
struct RelaunchEntry {
    std::wstring tag;
    std::wstring depend;  // comma-separated file names that must exist before it starts
    bool runDirect = false;
    bool unattended = false;
};

using RelaunchList = std::vector<RelaunchEntry>;

RelaunchEntry RelaunchEntryFor(const UpdateItem& item);

// How the package reaches the installed place.
enum class CopyBranch {
    kNone,            // nothing is copied
    kFennick,         // the sibling product's own executable, where its key says it lives
    kCopyFile,        // over the installed file in the suite directory
    kUpgradeSibling,  // into the sibling's directory first, then over its second upgrade.exe
};

// How an installer is run.
enum class RunBranch {
    kNone,
    kSourceChecked,    // the package in the upgrade folder, after its checks
    kSourceUnchecked,  // the package in the upgrade folder, without any check
    kInstalledCopy,    // the copy in the suite directory, when it passes its checks
};

struct ApplyPlan {
    bool guard = false;             // the guard component applies the item; nothing else happens
    bool skip = false;              // the file failed a check before: the item is left alone
    bool terminateFennick = false;  // end every "f-fennick.exe" before anything is copied
    CopyBranch copy = CopyBranch::kNone;
    RunBranch run = RunBranch::kNone;
    bool hideWindowFirst = false;  // the tray companion's installer starts in front of the window
};

// The four guard tags: "wardeldll", "wardel", "wardel_x64dll", "wardel_x64" (any case).
bool IsGuardTag(const std::wstring& tag);

ApplyPlan PlanApplyItem(const UpdateItem& item, bool inAnomalyList, bool directRunInterface);

// The windows to close for an item, in order, and whether the calendar product is remembered
// for a relaunch first. A calendar plug-in (placement kind 1, not a ".snd" file) closes the two
// calendar windows unless the calendar itself started the updater; any other item closes the
// window of its own class, and the item tagged exactly "dayloom" also the older calendar window.
struct ClosePlan {
    bool relaunchCalendar = false;
    std::vector<std::wstring> classes;
};

ClosePlan PlanCloseItem(const UpdateItem& item, bool fromCalendar);

// Whether a running program's image lies in one of `folders` or below it, compared without regard
// to case and to doubled backslashes. Ending a program by its image name is limited to the
// suite's own folders: the name comes from the manifest, and a program of the same name
// elsewhere (another product's, the user's) is none of the updater's business. An empty image
// path (one that could not be read) lies nowhere, and an empty folder holds nothing.
bool ImageInFolders(const std::wstring& imagePath, const std::vector<std::wstring>& folders);

// The sibling product's leftover upgrade file beside its executable: the target path with
// "fennick.exe" replaced by "upgrade\\f-fennick.exe".
std::wstring FennickLeftoverPath(const std::wstring& fennickExecutable);

// Which guard files an item of the guard component selects. Both start selected; for the tags of
// one build they become the update-needed flags of that build's library and executable items
// (tags matched exactly; a missing item gives false). When both are selected the library item
// waits for the executable item, which replaces both files.
struct GuardSelection {
    bool librarySelected = true;
    bool executableSelected = true;
    bool deferToExecutable = false;
};

GuardSelection SelectGuardFiles(const std::wstring& tag, const UpdateList& items);

// "wardel" for the 32-bit tags ("wardel", "wardeldll"), "wardel_x64" for the others.
std::wstring GuardBuildName(const std::wstring& tag);

// The offered version of the first item tagged "wardeldll" (any case), which both builds'
// libraries are checked against; empty when there is none.
std::wstring GuardLibraryVersion(const UpdateList& items);
