// What the main window shows, decided without the window system: the picture is a function of
// the session flags only. The Windows painter draws a FramePicture with the skin images and the
// system's text; the hit test and the click handler use the rectangles it moved.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "manifest/update_item.h"
#include "ui/geometry.h"

// Skin image resources (type "PNG").
enum SkinImageId : int {
    kSkinButton = 221,         // 393 x 48: cells of 131 x 48 (normal, hover, unused)
    kSkinClose = 227,          // 150 x 34: cells of 50 x 34 (normal, hover, unused)
    kSkinProgressFill = 213,   // 6 x 16: columns 2 and 3 are stretched
    kSkinProgressTrack = 214,  // 6 x 16: tiled over the bar
    kSkinBarClosed = 233,      // 1140 x 18: cells of 380 x 18, history panel closed
    kSkinBarOpen = 234,        // 1140 x 18: same cells, history panel open
    kSkinShadow = 232,         // 26 x 26: shadow nine-slice source
};

// Text colours as the painter hands them to the system: the number itself, so 0xDE972D shows as
// RGB(45, 151, 222).
constexpr unsigned kTextColourDark = 0x333333;
constexpr unsigned kTextColourProgress = 0xDE972D;

// Text formats: left and top, or centred horizontally.
enum class TextAlign { kLeft = 0, kCentre = 1 };

struct SkinText {
    std::wstring text;
    Rect rect;
    TextAlign align = TextAlign::kLeft;
    unsigned colour = kTextColourDark;
    int height = -12;  // font height in logical units
    bool operator==(const SkinText& o) const {
        return text == o.text && rect == o.rect && align == o.align && colour == o.colour &&
               height == o.height;
    }
};

// An image cell: the image, the cell's left edge in the image, and where its top-left goes.
struct SkinCell {
    int image = 0;
    int sourceX = 0;
    Point at;
};

struct ProgressPicture {
    Rect bar;             // the track covers it
    int filledWidth = 0;  // the fill is stretched over (bar.left, bar.top, filledWidth, height)
};

// Everything the picture depends on.
struct FrameView {
    int closeHover = 0;
    int buttonHover = 0;
    int barHover = 0;
    std::wstring displayName;    // of the product being updated; empty until the decision
    std::wstring targetVersion;  // the version it is updated to
    bool suiteCaller = false;
    bool silent = false;
    bool productUpdatePending = false;
    bool updatesAvailable = false;
    bool historyExpanded = false;
    bool jobFinished = false;
    int setupKind = 0;
    int pendingCount = 0;  // ProductPendingCount
    int packageCount = 1;  // PackageCount
    int jobKind = 0;
    bool interactive = true;
    bool productInstalled = false;
    int startReason = 0;
    int jobPercent = 0;
    int downloadedCount = 0;
    double displayedPercent = 0;  // the highest overall percentage painted so far
};

struct FramePicture {
    SkinCell close;
    std::vector<SkinText> texts;  // in drawing order
    std::optional<SkinCell> button;
    std::optional<ProgressPicture> progress;
    std::optional<SkinCell> bar;  // none in the self-update and up-to-date states
    Rect buttonRect;              // where the button is now (moved in the offer state)
    Rect suiteLinkRect;           // where the suite link is now
    double displayedPercent = 0;  // to keep for the next paint
};

// The picture of the window in the state `view`; `buttonRect` and `suiteLinkRect` are the
// rectangles as the previous paint left them.
FramePicture PlanFrame(const FrameView& view, const Rect& buttonRect, const Rect& suiteLinkRect);

// The number in the title line of a targeted run: the update items that need an update and are
// the product itself (tag equal ignoring case) or named in its depend text (tag found in it,
// case-sensitive; the depend text of the first item tagged like the product), plus, for the
// calendar product, every calendar plug-in that needs an update (which may count an item twice).
int ProductPendingCount(const UpdateList& items, const std::wstring& productKey);

// The number of packages a download goes through: 1 for the suite's main program; otherwise the
// items that need an update, are not enforced and are not the "upgrade" helper; at least 1.
int PackageCount(const UpdateList& items, bool suiteProduct);

// The overall percentage over all packages: the current job's percentage (at most 100) in the
// share of one package, plus the packages already downloaded; at most 100.
double OverallPercent(int jobPercent, int downloadedCount, int packageCount);

// The filled width of a bar of `barWidth` pixels: truncated in the ordinary job, rounded when a
// setup kind is set; never wider than the bar.
int FilledWidth(double displayedPercent, int setupKind, int barWidth);

// What a download step can change in the picture: whether the bar shows, its filled width and the
// texts (the "%.1f" percentage among them), joined. The window repaints a progress step only when
// this changes, so a package paints about a hundred times (the job's percentage is a whole
// number) instead of once per 8 KiB block.
struct ProgressLook {
    bool shown = false;
    int filledWidth = 0;
    std::wstring texts;
    bool operator==(const ProgressLook&) const = default;
};

ProgressLook LookOf(const FramePicture& picture);

// "%d" and "%.1f" as the window's texts use them.
std::wstring FormatPercent(double percent);
