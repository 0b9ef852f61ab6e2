#include "apply/apply_plan.h"

#include "base/text.h"

namespace {

const wchar_t kCalendarTag[] = L"dayloom";
const wchar_t kCalendarClass[] = L"_Keldra_LunarCalendar";
const wchar_t kOlderCalendarClass[] = L"_SkyDial_LunarCalendar";

// Lower case, "/" taken as "\\", runs of backslashes as one.
std::wstring FolderForm(const std::wstring& path) {
    std::wstring form;
    for (wchar_t c : ToLowerAscii(path)) {
        if (c == L'/') {
            c = L'\\';
        }
        if (c != L'\\' || form.empty() || form.back() != L'\\') {
            form += c;
        }
    }
    return form;
}

bool TagIs(const UpdateItem& item, const wchar_t* tag) {
    return EqualsNoCase(item.tag, tag);
}

// The update-needed flag of the first item tagged exactly `tag`; false when there is none.
bool UpdateNeededOf(const UpdateList& items, const std::wstring& tag) {
    for (const auto& item : items) {
        if (item->tag == tag) {
            return item->updateNeeded;
        }
    }
    return false;
}

}  // namespace

RelaunchEntry RelaunchEntryFor(const UpdateItem& item) {
    return RelaunchEntry{item.tag, item.depend, item.runDirect, item.unattended};
}

bool IsGuardTag(const std::wstring& tag) {
    return EqualsNoCase(tag, L"wardeldll") || EqualsNoCase(tag, L"wardel") ||
           EqualsNoCase(tag, L"wardel_x64dll") || EqualsNoCase(tag, L"wardel_x64");
}

ApplyPlan PlanApplyItem(const UpdateItem& item, bool inAnomalyList, bool directRunInterface) {
    ApplyPlan plan;
    if (IsGuardTag(item.tag)) {
        plan.guard = true;
        return plan;
    }
    if (inAnomalyList) {
        plan.skip = true;
        return plan;
    }
    const bool fennick = TagIs(item, L"fennick");
    plan.terminateFennick = item.updateNeeded && fennick;
    if (!item.copyFile) {
        plan.copy = fennick ? CopyBranch::kFennick : CopyBranch::kNone;
    } else {
        plan.copy = TagIs(item, L"upgrade") ? CopyBranch::kUpgradeSibling : CopyBranch::kCopyFile;
    }
    if (item.runDirect) {
        if (item.copyFile) {
            plan.run = RunBranch::kInstalledCopy;
        } else {
            plan.hideWindowFirst =
                directRunInterface && Contains(ToLowerAscii(item.tag), L"pinnace");
            plan.run = TagIs(item, L"glasswispsetup") ? RunBranch::kSourceUnchecked
                                                      : RunBranch::kSourceChecked;
        }
    }
    return plan;
}

ClosePlan PlanCloseItem(const UpdateItem& item, bool fromCalendar) {
    ClosePlan plan;
    if (item.placementKind == 1 && !Contains(item.fileName, L".snd") && !fromCalendar) {
        plan.relaunchCalendar = true;
        plan.classes = {kCalendarClass, kOlderCalendarClass};
        return plan;
    }
    plan.classes.push_back(item.className);
    if (item.tag == kCalendarTag) {  // exact: this one step compares the tag with its case
        plan.classes.push_back(kOlderCalendarClass);
    }
    return plan;
}

std::wstring FennickLeftoverPath(const std::wstring& fennickExecutable) {
    return ReplaceAll(fennickExecutable, L"fennick.exe", L"upgrade\\f-fennick.exe");
}

GuardSelection SelectGuardFiles(const std::wstring& tag, const UpdateList& items) {
    GuardSelection selection;
    const bool build32 = EqualsNoCase(tag, L"wardeldll") || EqualsNoCase(tag, L"wardel");
    const std::wstring library = build32 ? L"wardeldll" : L"wardel_x64dll";
    const std::wstring executable = build32 ? L"wardel" : L"wardel_x64";
    selection.librarySelected = UpdateNeededOf(items, library);
    selection.executableSelected = UpdateNeededOf(items, executable);
    selection.deferToExecutable =
        selection.librarySelected && selection.executableSelected && EqualsNoCase(tag, library);
    return selection;
}

std::wstring GuardBuildName(const std::wstring& tag) {
    return EqualsNoCase(tag, L"wardel") || EqualsNoCase(tag, L"wardeldll") ? L"wardel"
                                                                           : L"wardel_x64";
}

std::wstring GuardLibraryVersion(const UpdateList& items) {
    for (const auto& item : items) {
        if (EqualsNoCase(item->tag, L"wardeldll")) {
            return item->version;
        }
    }
    return std::wstring();
}

bool ImageInFolders(const std::wstring& imagePath, const std::vector<std::wstring>& folders) {
    const std::wstring image = FolderForm(imagePath);
    for (const std::wstring& folder : folders) {
        std::wstring prefix = FolderForm(folder);
        if (prefix.empty()) {
            continue;
        }
        if (prefix.back() != L'\\') {
            prefix += L'\\';
        }
        if (image.size() > prefix.size() && image.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}
