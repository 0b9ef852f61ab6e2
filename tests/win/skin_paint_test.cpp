// The window's picture rendered into a 32-bit bitmap for each visual state, judged by the pixels
// that matter (cells, the filled width, the alpha of the background and of the text) rather than
// by whole-image hashes that a font change would break.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "res/resource.h"
#include "test_support.h"
#include "ui/companions_win.h"
#include "ui/frame_rules.h"
#include "ui/skin_geometry.h"
#include "ui/skin_win.h"

namespace {

struct Pixel {
    int b, g, r, a;
};

// Pixels of a bottom-up 32-bit DIB section, as the layered window receives them.
class Picture {
  public:
    Picture(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof info.bmiHeader, width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Picture() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    Pixel At(int x, int y) const {
        const auto* p = static_cast<const std::uint8_t*>(bits_) +
                        (static_cast<std::size_t>(height_ - 1 - y) * width_ + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
    // Pixels of `area` that satisfy `test`.
    template <typename Test>
    int Count(const Rect& area, Test test) const {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                count += test(At(x, y)) ? 1 : 0;
            }
        }
        return count;
    }

  private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

bool Blue(Pixel p) {
    return p.b > 150 && p.r < 120 && p.a == 255;
}
bool Dark(Pixel p) {
    return p.r < 140 && p.g < 140 && p.b < 140;
}
bool IsBackground(Pixel p) {
    return p.a == 254 && p.r > 240 && p.g > 240 && p.b > 240;
}

class SkinPaint : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
        skin_ = new FrameSkin;
        skin_->Load();
    }
    static void TearDownTestSuite() {
        delete skin_;
        Gdiplus::GdiplusShutdown(token_);
    }

    static FrameView Offer() {
        FrameView v;
        v.displayName = L"Dayloom";
        v.targetVersion = L"2.1.0.5";
        v.productUpdatePending = true;
        v.productInstalled = true;
        v.pendingCount = 1;
        return v;
    }
    static void Render(const FrameView& view, Picture& picture) {
        PaintFrame(picture.Dc(), PlanFrame(view, kButtonRect, kSuiteLinkRect), *skin_);
    }

    static inline ULONG_PTR token_ = 0;
    static inline FrameSkin* skin_ = nullptr;
};

TEST_F(SkinPaint, OfferWithHoverStatesTextAlphaAndTheBottomBar) {
    Picture normal(380, 175), hover(380, 175), open(380, 175);
    FrameView v = Offer();
    Render(v, normal);
    v.closeHover = v.buttonHover = v.barHover = 1;
    Render(v, hover);
    v.closeHover = v.buttonHover = v.barHover = 0;
    v.historyExpanded = true;
    Render(v, open);

    EXPECT_TRUE(IsBackground(normal.At(5, 140)));
    // The button moved down to 70: blue there, background above it.
    EXPECT_TRUE(Blue(normal.At(140, 80)));
    EXPECT_TRUE(IsBackground(normal.At(140, 60)));
    EXPECT_GT(hover.At(140, 80).r, normal.At(140, 80).r + 15);  // the lighter hover cell
    // The close box's hover cell is red, its normal cell only a grey cross.
    EXPECT_TRUE(IsBackground(normal.At(335, 5)));
    EXPECT_GT(hover.At(335, 5).r, 200);
    EXPECT_LT(hover.At(335, 5).g, 60);
    // The bottom bar's hover cell is a shade darker.
    EXPECT_LT(hover.At(10, 170).r, normal.At(10, 170).r);
    EXPECT_EQ(normal.At(10, 170).a, 255);
    // Title pixels exist and are opaque (the background's 254 is at least 222); none is left
    // transparent anywhere in the window.
    EXPECT_GT(
        normal.Count(Rect::At(15, 10, 300, 20), [](Pixel p) { return Dark(p) && p.a == 255; }), 40);
    EXPECT_EQ(normal.Count(Rect::At(0, 0, 380, 175), [](Pixel p) { return p.a == 0; }), 0);
    // The chevron points down when closed and up when open: its rows differ.
    int differing = 0;
    for (int y = 159; y < 173; ++y) {
        for (int x = 180; x < 200; ++x) {
            differing += normal.At(x, y).r != open.At(x, y).r ? 1 : 0;
        }
    }
    EXPECT_GT(differing, 10);
}

TEST_F(SkinPaint, StatesWithTextOnly) {
    const struct {
        const char* name;
        void (*change)(FrameView&);
        Rect text;
        bool buttonAndBar;
    } cases[] = {
        {"suite link", [](FrameView& v) { v.productInstalled = false; }, Rect::At(275, 84, 105, 20),
         true},
        {"up to date", [](FrameView& v) { v.interactive = false; }, Rect::At(0, 77, 380, 20),
         false},
        {"self-update", [](FrameView& v) { v.jobKind = 3; }, Rect::At(0, 77, 380, 25), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Picture picture(380, 175);
        FrameView v = Offer();
        c.change(v);
        Render(v, picture);
        EXPECT_GT(picture.Count(c.text, Dark), 20);
        EXPECT_EQ(IsBackground(picture.At(10, 170)), !c.buttonAndBar);  // the bottom bar
        EXPECT_EQ(picture.Count(Rect::At(0, 0, 380, 175), Blue) > 0, c.buttonAndBar);
    }
}

// The first column of the bar's middle row that is no longer filled.
int FilledColumns(const Picture& picture) {
    const int y = kProgressRect.top + 8;
    int x = kProgressRect.left;
    while (x < kProgressRect.right && picture.At(x, y).b > 180 && picture.At(x, y).r < 120) {
        ++x;
    }
    return x - kProgressRect.left;
}

TEST_F(SkinPaint, ProgressBarFilledWidth) {
    const struct {
        int packages, downloaded, job, setupKind, width;
    } cases[] = {
        {3, 1, 0, 0, 116},  // 33.3 %: 116.66 truncated
        {3, 1, 0, 1, 117},  // rounded with a setup kind
        {2, 1, 50, 0, 262}, {1, 0, 100, 0, 350}, {1, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        FrameView v = Offer();
        v.startReason = 2;
        v.packageCount = c.packages;
        v.downloadedCount = c.downloaded;
        v.jobPercent = c.job;
        v.setupKind = c.setupKind;
        Picture picture(380, 175);
        Render(v, picture);
        EXPECT_EQ(FilledColumns(picture), c.width) << c.packages << " " << c.setupKind;
        // The track shows beyond the fill, and the percentage is written in blue below.
        if (c.width < 350) {
            const Pixel track = picture.At(kProgressRect.right - 3, kProgressRect.top + 8);
            EXPECT_GT(track.r, 200) << c.width;
            EXPECT_EQ(track.a, 255);
        }
        EXPECT_GT(picture.Count(Rect::At(15, 92, 350, 20), Blue), 20);
        EXPECT_TRUE(IsBackground(picture.At(140, 115)));  // no button
    }
}

TEST_F(SkinPaint, ShadowNineSlice) {
    EXPECT_FALSE(LoadSkinImage(999));
    const auto source = LoadSkinImage(IDP_SHADOW);
    ASSERT_TRUE(source);
    Picture folded(394, 189), unfolded(394, 439);
    PaintShadow(folded.Dc(), 394, 189, false, source.get());
    PaintShadow(unfolded.Dc(), 394, 439, true, source.get());
    // Darkest next to the frame, fading outwards; nothing over the frame itself.
    EXPECT_GT(folded.At(6, 94).a, folded.At(1, 94).a);
    EXPECT_GT(folded.At(6, 94).a, 30);
    EXPECT_EQ(folded.At(197, 94).a, 0);
    EXPECT_GT(folded.At(197, 3).a, 0);
    // Folded, the bottom edge sits one pixel higher: the last row stays empty, and so does the
    // frame's last row (181) that the edge reaches into.
    EXPECT_GT(folded.At(197, 182).a, 30);
    EXPECT_EQ(folded.At(197, 188).a, 0);
    EXPECT_GT(unfolded.At(197, 432).a, 30);
    // Unfolded, a band runs across where the frame meets the panel, beside and below the frame.
    EXPECT_GT(unfolded.At(197, 182).a, 30);
    EXPECT_GT(unfolded.At(3, 181).a, 30);
    EXPECT_EQ(unfolded.At(197, 300).a, 0);
    for (const Picture* shadow : {&folded, &unfolded}) {
        EXPECT_EQ(shadow->At(7, 181).a, 0);
        EXPECT_EQ(shadow->At(197, 181).a, 0);
        EXPECT_EQ(shadow->At(386, 181).a, 0);
    }
}

TEST_F(SkinPaint, ShadowWindowTakesItsPictureWhenShown) {
    HWND owner = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 100,
                                 380, 175, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    {
        CShadowDlg shadow;
        ASSERT_TRUE(shadow.Create(owner));
        EXPECT_EQ(shadow.ScreenRect(), (Rect{93, 93, 487, 282}));
        EXPECT_FALSE(GetWindowLongPtrW(shadow.Hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
        shadow.Show(SW_SHOWNOACTIVATE);
        // A window that is layered before its first picture is never asked to paint: the shadow
        // becomes layered by painting.
        PumpUntil(2000,
                  [&] { return GetWindowLongPtrW(shadow.Hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED; });
        const LONG_PTR exStyle = GetWindowLongPtrW(shadow.Hwnd(), GWL_EXSTYLE);
        EXPECT_TRUE(exStyle & WS_EX_LAYERED);
        EXPECT_TRUE(exStyle & WS_EX_TRANSPARENT);  // clicks go through
    }
    DestroyWindow(owner);
}

}  // namespace
