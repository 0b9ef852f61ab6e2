#include "ui/skin_geometry.h"

#include "ui/placement.h"

void RepairTextAlpha(std::uint8_t* pixels, const std::uint8_t* saved, std::size_t pixelCount) {
    constexpr std::uint8_t kOpaqueFrom = 222;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t& alpha = pixels[i * 4 + 3];
        const std::uint8_t before = saved[i * 4 + 3];
        if (alpha == 0 && before != 0) {
            alpha = before < kOpaqueFrom ? before : 255;
        }
    }
}

std::vector<ShadowSlice> ShadowSlices(int width, int height, bool historyExpanded) {
    const int m = kShadowSliceMargin;
    const int far = kShadowSourceSize - m;  // where the source's right and bottom margins start
    // Folded, the bottom corners and edge are drawn one pixel higher.
    const int bottom = historyExpanded ? height - m : height - m - 1;
    std::vector<ShadowSlice> slices = {
        // corners
        {Rect::At(0, 0, m, m), Rect::At(0, 0, m, m)},
        {Rect::At(far, 0, m, m), Rect::At(width - m, 0, m, m)},
        {Rect::At(0, far, m, m), Rect::At(0, bottom, m, m)},
        {Rect::At(far, far, m, m), Rect::At(width - m, bottom, m, m)},
        // edges: the one-pixel slices next to the corners, stretched between them
        {Rect::At(m, 0, 1, m), Rect::At(m, 0, width - 2 * m, m)},
        {Rect::At(m, far, 1, m), Rect::At(m, bottom, width - 2 * m, m)},
        {Rect::At(0, m, m, 1), Rect::At(0, m, m, bottom - m)},
        {Rect::At(far, m, m, 1), Rect::At(width - m, m, m, bottom - m)},
    };
    if (historyExpanded) {
        // Where the frame meets the panel.
        slices.push_back(
            {Rect::At(m, far, 1, m), Rect::At(0, height - m - kHistoryPanelHeight - 1, width, m)});
    }
    return slices;
}

Rect ShadowFrameArea(int width) {
    return Rect::At(kShadowMargin, kShadowMargin, width - 2 * kShadowMargin, kFrameHeight);
}
