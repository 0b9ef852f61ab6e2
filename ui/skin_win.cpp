#include "ui/skin_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <vector>

#include "ui/skin_geometry.h"

namespace {

// The six images that the main window draws (the shadow loads its own).
const int kFrameImages[] = {kSkinButton,        kSkinClose,   kSkinProgressFill,
                            kSkinProgressTrack, kSkinBarOpen, kSkinBarClosed};
constexpr int kCellsPerImage = 3;
const Gdiplus::ARGB kBackground = 0xFEFBFCFC;

// A memory device context with a 32-bit DIB section selected, released on destruction.
class DibContext {
  public:
    DibContext(HDC compatible, int width, int height, bool topDown) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = topDown ? -height : height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(compatible);
        if (dc_ != nullptr && width > 0 && height > 0) {
            bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        }
        if (bitmap_ != nullptr) {
            old_ = SelectObject(dc_, bitmap_);
        }
    }
    ~DibContext() {
        if (old_ != nullptr) {
            SelectObject(dc_, old_);
        }
        if (bitmap_ != nullptr) {
            DeleteObject(bitmap_);
        }
        if (dc_ != nullptr) {
            DeleteDC(dc_);
        }
    }
    DibContext(const DibContext&) = delete;
    DibContext& operator=(const DibContext&) = delete;

    bool Ok() const { return bitmap_ != nullptr && bits_ != nullptr; }
    HDC Dc() const { return dc_; }
    std::uint8_t* Bits() const { return static_cast<std::uint8_t*>(bits_); }

  private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

HFONT IconTitleFont(int height) {
    LOGFONTW font = {};
    if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0)) {
        std::wcscpy(font.lfFaceName, L"Tahoma");
    }
    font.lfHeight = height;
    return CreateFontIndirectW(&font);
}

void DrawTextWithFont(HDC dc, const std::wstring& text, RECT area, UINT format, COLORREF colour,
                      int height) {
    HFONT font = IconTitleFont(height);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format);
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

// The window's bitmap seen by GDI+ with its alpha: the 32-bit DIB section selected in `dc`
// wrapped as premultiplied pixels; null when the context holds no such bitmap.
std::unique_ptr<Gdiplus::Bitmap> WrapTargetBitmap(HDC dc) {
    DIBSECTION section = {};
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof section, &section) != sizeof section ||
        section.dsBm.bmBitsPixel != 32 || section.dsBm.bmBits == nullptr) {
        return nullptr;
    }
    const int width = section.dsBm.bmWidth;
    const int height = section.dsBm.bmHeight;
    int stride = section.dsBm.bmWidthBytes;
    auto* scan0 = static_cast<BYTE*>(section.dsBm.bmBits);
    if (section.dsBmih.biHeight > 0) {  // bottom-up: the first row is the last in memory
        scan0 += static_cast<std::ptrdiff_t>(height - 1) * stride;
        stride = -stride;
    }
    return std::make_unique<Gdiplus::Bitmap>(width, height, stride, PixelFormat32bppPARGB, scan0);
}

void DrawCell(Gdiplus::Graphics& g, const FrameSkin& skin, const SkinCell& cell) {
    Gdiplus::Bitmap* image = skin.Image(cell.image);
    if (image == nullptr) {
        return;
    }
    const INT width = static_cast<INT>(image->GetWidth()) / kCellsPerImage;
    const INT height = static_cast<INT>(image->GetHeight());
    g.DrawImage(image, Gdiplus::Rect(cell.at.x, cell.at.y, width, height), cell.sourceX, 0, width,
                height, Gdiplus::UnitPixel);
}

void DrawProgress(Gdiplus::Graphics& g, const FrameSkin& skin, const ProgressPicture& progress) {
    const Rect& bar = progress.bar;
    if (Gdiplus::Bitmap* track = skin.Image(kSkinProgressTrack)) {
        Gdiplus::TextureBrush brush(track, Gdiplus::WrapModeTileFlipX, 0, 0, 6, bar.Height());
        brush.TranslateTransform(static_cast<Gdiplus::REAL>(bar.left),
                                 static_cast<Gdiplus::REAL>(bar.top));
        g.FillRectangle(&brush, bar.left, bar.top, bar.Width(), bar.Height());
    }
    Gdiplus::Bitmap* fill = skin.Image(kSkinProgressFill);
    if (fill != nullptr && progress.filledWidth > 0) {
        // The two middle columns spread over the filled width. They are the same in every column,
        // so laying them side by side is the stretched picture, with edges exact to the pixel
        // (a stretched image is blended at its ends).
        Gdiplus::TextureBrush brush(fill, Gdiplus::WrapModeTileFlipX, 2, 0, 2, bar.Height());
        brush.TranslateTransform(static_cast<Gdiplus::REAL>(bar.left),
                                 static_cast<Gdiplus::REAL>(bar.top));
        g.FillRectangle(&brush, bar.left, bar.top, progress.filledWidth, bar.Height());
    }
}

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> LoadSkinImage(int resourceId) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"PNG");
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = found != nullptr ? SizeofResource(module, found) : 0;
    if (bytes == nullptr || size == 0) {
        return nullptr;
    }
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(GlobalLock(copy), bytes, size);
    GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        GlobalFree(copy);
        return nullptr;
    }
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
    std::unique_ptr<Gdiplus::Bitmap> image;
    if (decoded && decoded->GetLastStatus() == Gdiplus::Ok) {
        // A copy of its own, so that nothing refers to the stream any more.
        image.reset(decoded->Clone(0, 0, static_cast<INT>(decoded->GetWidth()),
                                   static_cast<INT>(decoded->GetHeight()), PixelFormat32bppARGB));
    }
    decoded.reset();
    stream->Release();
    if (image && image->GetLastStatus() != Gdiplus::Ok) {
        image.reset();
    }
    return image;
}

FrameSkin::FrameSkin() = default;
FrameSkin::~FrameSkin() = default;

void FrameSkin::Load() {
    for (const int id : kFrameImages) {
        if (!images_[id]) {
            images_[id] = LoadSkinImage(id);
        }
    }
}

Gdiplus::Bitmap* FrameSkin::Image(int id) const {
    const auto found = images_.find(id);
    return found != images_.end() ? found->second.get() : nullptr;
}

void DrawSkinText(const std::wstring& text, HDC target, const Rect& rect, UINT format,
                  unsigned colour, int height, bool repairAlpha) {
    const int width = rect.Width();
    const int tall = rect.Height();
    DibContext dib(target, width, tall, true);
    if (!dib.Ok()) {
        // Straight onto the target: the colour's bytes are read the other way round here.
        const COLORREF converted = RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
        DrawTextWithFont(target, text, {rect.left, rect.top, rect.right, rect.bottom}, format,
                         converted, height);
        return;
    }
    BitBlt(dib.Dc(), 0, 0, width, tall, target, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const std::size_t pixels = static_cast<std::size_t>(width) * tall;
    const std::vector<std::uint8_t> saved(dib.Bits(), dib.Bits() + pixels * 4);
    DrawTextWithFont(dib.Dc(), text, {0, 0, width, tall}, format, colour, height);
    GdiFlush();
    if (repairAlpha) {
        RepairTextAlpha(dib.Bits(), saved.data(), pixels);
    }
    BitBlt(target, rect.left, rect.top, width, tall, dib.Dc(), 0, 0, SRCCOPY);
    GdiFlush();
}

void PaintFrame(HDC target, const FramePicture& picture, const FrameSkin& skin) {
    {
        std::unique_ptr<Gdiplus::Bitmap> canvas = WrapTargetBitmap(target);
        std::unique_ptr<Gdiplus::Graphics> g =
            canvas ? std::make_unique<Gdiplus::Graphics>(canvas.get())
                   : std::make_unique<Gdiplus::Graphics>(target);
        g->SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
        g->SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        Gdiplus::SolidBrush background{Gdiplus::Color(kBackground)};
        g->FillRectangle(&background, -1, -1, 381, 176);
        DrawCell(*g, skin, picture.close);
        if (picture.button) {
            DrawCell(*g, skin, *picture.button);
        }
        if (picture.progress) {
            DrawProgress(*g, skin, *picture.progress);
        }
        if (picture.bar) {
            DrawCell(*g, skin, *picture.bar);
        }
        g->Flush(Gdiplus::FlushIntentionSync);
    }
    GdiFlush();
    // The texts overlap no image, so they can all come after the images.
    for (const SkinText& text : picture.texts) {
        DrawSkinText(text.text, target, text.rect, static_cast<UINT>(text.align), text.colour,
                     text.height, true);
    }
}

void ComposeLayered(HWND hwnd, const std::function<void(HDC)>& paint) {
    RECT client = {};
    GetClientRect(hwnd, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    HDC screen = GetDC(nullptr);
    {
        DibContext dib(screen, width, height, false);
        if (dib.Ok()) {
            paint(dib.Dc());
            GdiFlush();
            const LONG_PTR exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
            if ((exStyle & WS_EX_LAYERED) == 0) {
                SetWindowLongPtrW(hwnd, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
            }
            POINT origin = {0, 0};
            ClientToScreen(hwnd, &origin);
            SIZE size = {width, height};
            POINT source = {0, 0};
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            UpdateLayeredWindow(hwnd, screen, &origin, &size, dib.Dc(), &source, 0, &blend,
                                ULW_ALPHA);
        }
    }
    ReleaseDC(nullptr, screen);
}

void PaintShadow(HDC target, int width, int height, bool historyExpanded, Gdiplus::Bitmap* source) {
    if (source == nullptr) {
        return;
    }
    std::unique_ptr<Gdiplus::Bitmap> canvas = WrapTargetBitmap(target);
    std::unique_ptr<Gdiplus::Graphics> g = canvas
                                               ? std::make_unique<Gdiplus::Graphics>(canvas.get())
                                               : std::make_unique<Gdiplus::Graphics>(target);
    // One-pixel slices stretched exactly, without blending in their neighbours.
    g->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    g->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    for (const ShadowSlice& slice : ShadowSlices(width, height, historyExpanded)) {
        const Rect& s = slice.source;
        const Rect& d = slice.destination;
        g->DrawImage(source, Gdiplus::Rect(d.left, d.top, d.Width(), d.Height()), s.left, s.top,
                     s.Width(), s.Height(), Gdiplus::UnitPixel);
    }
    // The shadow is owned by the frame, and the system keeps an owned window above its owner, so
    // whatever the shadow draws inside the frame's rectangle covers the frame. That rectangle is
    // left clear: the frame's own pixels show there, as if the shadow lay beneath it.
    const Rect frame = ShadowFrameArea(width);
    g->SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    g->SetPixelOffsetMode(Gdiplus::PixelOffsetModeNone);
    Gdiplus::SolidBrush clear{Gdiplus::Color(0, 0, 0, 0)};
    g->FillRectangle(&clear, frame.left, frame.top, frame.Width(), frame.Height());
    g->Flush(Gdiplus::FlushIntentionSync);
}
