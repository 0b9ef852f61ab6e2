#include "ui/placement.h"

#include <cstdlib>

namespace {

int LowerLimit(const TaskbarGeometry& taskbar, int screenHeight) {
    if (TaskbarIsEmpty(taskbar)) {
        return taskbar.workArea.bottom;
    }
    return EdgeOf(taskbar) == kEdgeBottom ? taskbar.rect.top : screenHeight;
}

// Whether unfolding the history may push the frame up to keep the panel above the lower limit.
bool KnowsLowerLimit(const TaskbarGeometry& taskbar) {
    return EdgeOf(taskbar) != kEdgeUnknown || TaskbarIsEmpty(taskbar);
}

}  // namespace

bool TaskbarIsEmpty(const TaskbarGeometry& taskbar) {
    return taskbar.exists && (taskbar.rect.Width() <= 0 || taskbar.rect.Height() <= 0);
}

TaskbarEdge EdgeOf(const TaskbarGeometry& taskbar) {
    if (!taskbar.exists || TaskbarIsEmpty(taskbar)) {
        return kEdgeUnknown;
    }
    const Rect& t = taskbar.rect;
    if (t.Width() < t.Height()) {
        return t.left < t.Width() / 2 ? kEdgeLeft : kEdgeRight;
    }
    return t.top < t.Height() / 2 ? kEdgeTop : kEdgeBottom;
}

Point FramePosition(const TaskbarGeometry& taskbar, const ScreenMetrics& screen) {
    if (!taskbar.exists) {
        return {0, 0};
    }
    if (TaskbarIsEmpty(taskbar)) {
        return {taskbar.workArea.right - kFrameWidth, taskbar.workArea.bottom - kFrameHeight};
    }
    const Rect& t = taskbar.rect;
    const int width = t.right < screen.width ? screen.fullScreenWidth : screen.width;
    switch (EdgeOf(taskbar)) {
        case kEdgeBottom:
            return {width - kFrameWidth, screen.height - t.Height() - kFrameHeight};
        case kEdgeRight:
            return {t.left - kFrameWidth, screen.height - kFrameHeight};
        default:  // top or left: the bottom-right corner of the screen
            return {width - kFrameWidth, screen.height - kFrameHeight};
    }
}

Rect PanelRectFor(const Rect& frame) {
    return Rect::At(frame.left, frame.bottom, frame.Width(), kHistoryHeight);
}

Rect ShadowRectFor(const Rect& frame, bool historyExpanded) {
    const int bottom = frame.bottom + (historyExpanded ? kHistoryHeight : 0) + kShadowMargin;
    return {frame.left - kShadowMargin, frame.top - kShadowMargin, frame.right + kShadowMargin,
            bottom};
}

ExpandLayout LayoutForExpand(const Rect& frame, const TaskbarGeometry& taskbar, int screenHeight) {
    ExpandLayout layout;
    layout.frame = frame;
    const int limit = LowerLimit(taskbar, screenHeight);
    if (limit - frame.bottom < kHistoryHeight && KnowsLowerLimit(taskbar)) {
        layout.frameMoved = true;
        layout.panel = Rect::At(frame.left, limit - kHistoryHeight, kFrameWidth, kHistoryHeight);
        layout.frame =
            Rect::At(frame.left, limit - kHistoryHeight - kFrameHeight, kFrameWidth, kFrameHeight);
        layout.shadow = {frame.left - kShadowMargin,
                         limit - kHistoryHeight - kFrameHeight - kShadowMargin,
                         frame.left + frame.Width() + kShadowMargin, limit + kShadowMargin};
    } else {
        layout.panel = PanelRectFor(frame);
        layout.shadow = ShadowRectFor(frame, true);
    }
    return layout;
}

CollapseLayout LayoutForCollapse(const Rect& frame, const Rect& panel,
                                 const TaskbarGeometry& taskbar, int screenHeight) {
    CollapseLayout layout;
    layout.frame = frame;
    const int limit = LowerLimit(taskbar, screenHeight);
    if (KnowsLowerLimit(taskbar) && std::abs(panel.top - limit) <= kHistoryHeight) {
        layout.frame = Rect::At(frame.left, limit - kFrameHeight, frame.Width(), kFrameHeight);
    }
    layout.shadow = ShadowRectFor(layout.frame, false);
    return layout;
}

TrayButtonPositions ReseatPositions(const Rect& notifyArea, int trayButtonWidth,
                                    int showDesktopWidth) {
    const int width = notifyArea.Width();
    return {{width - showDesktopWidth - 10, 0},
            {width - showDesktopWidth - trayButtonWidth - 10, 0}};
}
