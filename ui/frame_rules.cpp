#include "ui/frame_rules.h"

bool IsClientArea(Point p) {
    return IsClientArea(p, kButtonRect, kSuiteLinkRect);
}

bool IsClientArea(Point p, const Rect& button, const Rect& suiteLink) {
    return button.Contains(p) || kCloseRect.Contains(p) || kBarRect.Contains(p) ||
           suiteLink.Contains(p);
}

CursorShape CursorAt(Point p, const CursorInputs& in) {
    return CursorAt(p, in, kButtonRect, kSuiteLinkRect);
}

CursorShape CursorAt(Point p, const CursorInputs& in, const Rect& button, const Rect& suiteLink) {
    if (kBarRect.Contains(p)) {
        return CursorShape::kHand;
    }
    if (suiteLink.Contains(p) && !in.suiteCaller && in.productUpdatePending) {
        return CursorShape::kHand;
    }
    if (button.Contains(p) && in.anyJobPastRunning) {
        return CursorShape::kHand;
    }
    return CursorShape::kArrow;
}

bool ShouldShowFrame(const ShowInputs& in) {
    if (in.enforce) {
        return false;
    }
    if (in.updatesAvailable) {
        if (in.silent && (in.setupKind == 1 || in.setupKind == 2)) {
            return false;
        }
    } else if (in.silent) {
        return false;
    }
    return !in.notice && !in.execute;
}
