// Rules of the main window that do not need the window system: its active areas, the cursor
// over them, and whether the window is shown once the check has run.
#pragma once

#include "ui/geometry.h"

// Active areas, in client coordinates of the 380 x 175 window.
inline constexpr Rect kButtonRect{124, 53, 255, 101};
inline constexpr Rect kProgressRect{15, 66, 365, 82};
inline constexpr Rect kSuiteLinkRect{275, 67, 385, 87};
inline constexpr Rect kCloseRect{330, 0, 380, 34};
inline constexpr Rect kBarRect{0, 157, 380, 175};

// True where the window answers as client area (the button, the close box, the bottom bar and
// the suite link); everywhere else it answers as caption, so it can be dragged.
bool IsClientArea(Point p);
// The same with the button and the suite link where the painting moved them.
bool IsClientArea(Point p, const Rect& button, const Rect& suiteLink);

// The active areas a click landed in (the button and the suite link where the painting put them).
struct ClickAt {
    bool close = false;
    bool bar = false;
    bool button = false;
    bool suiteLink = false;
};

enum class CursorShape { kArrow, kHand };

struct CursorInputs {
    bool suiteCaller = false;
    bool productUpdatePending = false;
    bool anyJobPastRunning = false;  // any of the three job states is above 2
};
CursorShape CursorAt(Point p, const CursorInputs& in);
CursorShape CursorAt(Point p, const CursorInputs& in, const Rect& button, const Rect& suiteLink);

struct ShowInputs {
    bool enforce = false;
    bool silent = false;
    bool notice = false;
    bool execute = false;
    bool updatesAvailable = false;
    int setupKind = 0;
};
// Whether the window (and its shadow) is shown after the check.
bool ShouldShowFrame(const ShowInputs& in);
