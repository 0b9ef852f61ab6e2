// Where the window sits beside the taskbar, and how the drop shadow and the history panel follow
// it. All positions are screen pixels of the primary screen.
#pragma once

#include "ui/geometry.h"

constexpr int kFrameWidth = 380;
constexpr int kFrameHeight = 175;
constexpr int kShadowMargin = 7;
constexpr int kHistoryHeight = 250;

enum TaskbarEdge { kEdgeUnknown = 0, kEdgeTop = 1, kEdgeBottom = 2, kEdgeLeft = 3, kEdgeRight = 4 };

// The taskbar as found on screen: whether it exists and its rectangle, with the primary screen's
// work area.
struct TaskbarGeometry {
    bool exists = false;
    Rect rect;
    Rect workArea;
};

// A taskbar window with an empty rectangle (a hidden taskbar, some shells, Wine's default
// desktop) stands at no edge: the frame then goes to the work area's bottom-right corner, and the
// work area's bottom is the limit that the unfolded history panel stays above.
bool TaskbarIsEmpty(const TaskbarGeometry& taskbar);

// The edge the taskbar stands at, by its shape and position; kEdgeUnknown without a taskbar or
// with an empty one.
TaskbarEdge EdgeOf(const TaskbarGeometry& taskbar);

struct ScreenMetrics {
    int width = 0;            // SM_CXSCREEN
    int height = 0;           // SM_CYSCREEN
    int fullScreenWidth = 0;  // SM_CXFULLSCREEN
};

// The frame's first position: the screen corner beside the taskbar.
Point FramePosition(const TaskbarGeometry& taskbar, const ScreenMetrics& screen);

// The panel hangs below the frame at its width; the shadow surrounds frame (and panel when the
// history is expanded) by the margin.
Rect PanelRectFor(const Rect& frame);
Rect ShadowRectFor(const Rect& frame, bool historyExpanded);

// Expanding the history: when there is no room for the panel below the frame, the frame is
// pushed up so that the panel ends at the lower limit (the taskbar's top, or the screen's bottom).
struct ExpandLayout {
    bool frameMoved = false;
    Rect frame;  // the frame's new rectangle (unchanged when not moved)
    Rect panel;  // only meaningful when the frame moved; otherwise the panel stays attached
    Rect shadow;
};
ExpandLayout LayoutForExpand(const Rect& frame, const TaskbarGeometry& taskbar, int screenHeight);

// Collapsing: a frame that had been pushed up goes back down against the lower limit.
struct CollapseLayout {
    Rect frame;
    Rect shadow;
};
CollapseLayout LayoutForCollapse(const Rect& frame, const Rect& panel,
                                 const TaskbarGeometry& taskbar, int screenHeight);

// Positions, in the notification area's client coordinates, of the show-desktop button and the
// tray button: side by side at the top, 10 pixels from the area's right end.
struct TrayButtonPositions {
    Point showDesktop;
    Point trayButton;
};
TrayButtonPositions ReseatPositions(const Rect& notifyArea, int trayButtonWidth,
                                    int showDesktopWidth);
