#include "ui/frame_picture.h"

#include <algorithm>
#include <cmath>

#include "base/text.h"
#include "ui/frame_rules.h"

namespace {

// A display name that marks the updater's own entry: no title line is drawn for it.
const wchar_t kUpdaterDisplayName[] = L"更新程序";
const wchar_t kCalendarProduct[] = L"dayloom";
const wchar_t kUpgradeHelper[] = L"upgrade";

constexpr int kButtonCellWidth = 131;
constexpr int kCloseCellWidth = 50;
constexpr int kBarCellWidth = 380;
constexpr int kCalendarPlugin = 1;

std::wstring TitleLine(const std::wstring& name, const std::wstring& version, int count) {
    return L"更新" + name + L"到 " + version + L"（共" + std::to_wstring(count) + L"个更新）";
}

std::wstring UpToDate(const std::wstring& name) {
    return L"您的 " + name + L" 已经是最新版本";
}

void Offer(const FrameView& view, FramePicture& picture) {
    picture.buttonRect.top = 70;
    picture.buttonRect.bottom = 118;
    if (!view.silent && !view.productInstalled) {
        if (!view.productUpdatePending) {
            picture.texts.push_back({UpToDate(view.displayName), Rect::At(15, 10, 360, 20)});
            picture.texts.push_back({L"升级到OrvaneHelvor，体验更多功能", Rect::At(0, 42, 380, 20),
                                     TextAlign::kCentre});
            picture.buttonRect.top = 67;
            picture.buttonRect.bottom = 115;
        } else {
            picture.suiteLinkRect.top = picture.buttonRect.top + 14;
            picture.suiteLinkRect.bottom = picture.buttonRect.top + 34;
            picture.texts.push_back({L"升级到OrvaneHelvor", picture.suiteLinkRect});
        }
    }
    picture.button = SkinCell{kSkinButton,
                              view.buttonHover == 1 ? kButtonCellWidth : 0,
                              {picture.buttonRect.left, picture.buttonRect.top}};
}

void Progress(const FrameView& view, FramePicture& picture) {
    const double overall = OverallPercent(view.jobPercent, view.downloadedCount, view.packageCount);
    picture.displayedPercent = std::max(picture.displayedPercent, overall);
    const Rect bar = kProgressRect;
    picture.progress =
        ProgressPicture{bar, FilledWidth(picture.displayedPercent, view.setupKind, bar.Width())};
    picture.texts.push_back({L"正在下载文件..." + FormatPercent(picture.displayedPercent) + L"%",
                             Rect::At(bar.left, bar.bottom + 10, bar.Width(), 20),
                             TextAlign::kCentre, kTextColourProgress});
}

bool NeedsOrdinaryPackage(const UpdateItem& item) {
    // The sibling product's own updater (the entry tagged "upgrade") is no package of its own.
    return item.updateNeeded && !item.enforce && item.tag != kUpgradeHelper;
}

}  // namespace

FramePicture PlanFrame(const FrameView& view, const Rect& buttonRect, const Rect& suiteLinkRect) {
    FramePicture picture;
    picture.buttonRect = buttonRect;
    picture.suiteLinkRect = suiteLinkRect;
    picture.displayedPercent = view.displayedPercent;
    picture.close = {
        kSkinClose, view.closeHover == 1 ? kCloseCellWidth : 0, {kCloseRect.left, kCloseRect.top}};

    if (view.displayName != kUpdaterDisplayName) {
        const Rect title = Rect::At(15, 10, 360, 20);
        if (!view.suiteCaller && view.productUpdatePending) {
            picture.texts.push_back(
                {TitleLine(view.displayName, view.targetVersion, view.pendingCount), title});
        } else if (view.suiteCaller && view.updatesAvailable) {
            picture.texts.push_back(
                {TitleLine(view.displayName, view.targetVersion, view.packageCount), title});
        }
    }
    if (view.jobKind == 3) {  // the updater updates itself
        picture.texts.push_back(
            {L"正在更新升级程序，请稍后...", Rect::At(0, 77, 380, 25), TextAlign::kCentre});
        return picture;
    }
    if (!view.interactive) {  // all is up to date
        const std::wstring name = view.displayName.empty() ? L"程序" : view.displayName;
        picture.texts.push_back(
            {UpToDate(name), Rect::At(0, 77, 380, 20), TextAlign::kCentre, kTextColourDark, -14});
        return picture;
    }
    if (!view.jobFinished) {
        if (view.setupKind == 0 && view.startReason < 2) {
            Offer(view, picture);
        } else {
            Progress(view, picture);
        }
    }
    picture.bar = SkinCell{view.historyExpanded ? kSkinBarOpen : kSkinBarClosed,
                           view.barHover == 1 ? kBarCellWidth : 0,
                           {kBarRect.left, kBarRect.top}};
    return picture;
}

int ProductPendingCount(const UpdateList& items, const std::wstring& productKey) {
    std::wstring depend;
    for (const auto& item : items) {
        if (EqualsNoCase(item->tag, productKey)) {
            depend = item->depend;
            break;
        }
    }
    int count = 0;
    for (const auto& item : items) {
        if (item->updateNeeded &&
            (EqualsNoCase(item->tag, productKey) ||
             (!item->tag.empty() && depend.find(item->tag) != std::wstring::npos))) {
            ++count;
        }
    }
    if (EqualsNoCase(productKey, kCalendarProduct)) {
        for (const auto& item : items) {
            count += item->updateNeeded && item->placementKind == kCalendarPlugin ? 1 : 0;
        }
    }
    return count;
}

int PackageCount(const UpdateList& items, bool suiteProduct) {
    if (suiteProduct) {
        return 1;
    }
    const auto count = std::count_if(items.begin(), items.end(),
                                     [](const auto& item) { return NeedsOrdinaryPackage(*item); });
    return std::max(static_cast<int>(count), 1);
}

double OverallPercent(int jobPercent, int downloadedCount, int packageCount) {
    const int n = std::max(packageCount, 1);
    const double share = 100.0 / n;
    const int job = std::min(jobPercent, 100);
    return std::min(job * share / 100 + downloadedCount * share, 100.0);
}

int FilledWidth(double displayedPercent, int setupKind, int barWidth) {
    const double exact = barWidth * displayedPercent / 100;
    const int width = static_cast<int>(setupKind != 0 ? exact + 0.5 : exact);
    return std::clamp(width, 0, barWidth);
}

ProgressLook LookOf(const FramePicture& picture) {
    ProgressLook look;
    look.shown = picture.progress.has_value();
    look.filledWidth = look.shown ? picture.progress->filledWidth : 0;
    for (const SkinText& text : picture.texts) {
        look.texts += text.text + L"\n";
    }
    return look;
}

// Written out rather than through the C library's narrow formatter, which would be linked in for
// this one text: ten times a double is exact in a long double (a 64-bit significand holds the 53
// bits times the 3 of ten), so rounding that to a whole number, halves to even, gives the digits
// printf gives.
std::wstring FormatPercent(double percent) {
    // Percentages only: below zero (or not a number) shows 0.0, far beyond 100 shows the bound.
    constexpr double kLargest = 1e15;
    percent = percent > 0 ? std::min(percent, kLargest) : 0;
    const long double tenths = static_cast<long double>(percent) * 10;
    long double whole = std::floor(tenths);
    const long double rest = tenths - whole;
    if (rest > 0.5L || (rest == 0.5L && std::fmod(whole, 2.0L) != 0)) {
        whole += 1;
    }
    const auto n = static_cast<unsigned long long>(whole);
    return std::to_wstring(n / 10) + L"." + std::to_wstring(n % 10);
}
