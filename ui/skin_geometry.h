// Pixel rules of the skinned windows that need no window system: the repair of the alpha bytes
// that text drawing clears, and the nine-slice layout of the drop shadow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/geometry.h"

// After text was drawn on 32-bit pixels (B, G, R, A order) that the system's text drawing leaves
// with alpha 0: every pixel whose alpha is now 0 while `saved` (the same pixels before the
// drawing) had a non-zero alpha a gets a back, or 255 when a is 222 or more.
void RepairTextAlpha(std::uint8_t* pixels, const std::uint8_t* saved, std::size_t pixelCount);

// Shadow source: a 26 x 26 image whose 7-pixel margins hold the corners and edges.
constexpr int kShadowSourceSize = 26;
constexpr int kShadowSliceMargin = 7;
// Height of the history panel that the unfolded shadow also surrounds.
constexpr int kHistoryPanelHeight = 250;

struct ShadowSlice {
    Rect source;       // in the 26 x 26 source
    Rect destination;  // in the shadow window's client area
};

// The slices that paint a shadow window of `width` x `height`: the four corners, the four edges
// stretched between them, and, when the history panel is unfolded, a band across the width where
// the frame meets the panel. Folded, the bottom corners and edge sit one pixel higher.
std::vector<ShadowSlice> ShadowSlices(int width, int height, bool historyExpanded);

// Where the frame lies inside a shadow window of `width`: the margin in from its top-left corner,
// the frame's height down. The bottom edge of a folded shadow and the band of an unfolded one
// reach one row into it.
Rect ShadowFrameArea(int width);
