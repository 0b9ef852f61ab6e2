#include "ui/frame_rules.h"

bool IsClientArea(Point p) {
    return kButtonRect.Contains(p) || kCloseRect.Contains(p) || kBarRect.Contains(p) ||
           kSuiteLinkRect.Contains(p);
}

CursorShape CursorAt(Point p, const CursorInputs& in) {
    if (kBarRect.Contains(p)) {
        return CursorShape::kHand;
    }
    if (kSuiteLinkRect.Contains(p) && !in.suiteCaller && in.productUpdatePending) {
        return CursorShape::kHand;
    }
    if (kButtonRect.Contains(p) && in.anyJobPastRunning) {
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
