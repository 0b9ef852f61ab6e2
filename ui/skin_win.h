// The skinned look on Windows: the PNG skin images loaded through GDI+, text drawn with the
// system's icon-title font onto 32-bit pixels with their alpha repaired, the main window's
// picture, and the hand-over of a painted bitmap to a per-pixel-alpha layered window.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ui/frame_picture.h"

namespace Gdiplus {
class Bitmap;
}

// A skin image from a resource of type "PNG" of the running program; empty when the resource is
// missing or not a picture.
std::unique_ptr<Gdiplus::Bitmap> LoadSkinImage(int resourceId);

// The images of the main window, by resource number.
class FrameSkin {
  public:
    FrameSkin();
    ~FrameSkin();
    FrameSkin(const FrameSkin&) = delete;
    FrameSkin& operator=(const FrameSkin&) = delete;

    // Loads the six images of the main window (those already loaded are kept).
    void Load();
    // Null when the image is not loaded.
    Gdiplus::Bitmap* Image(int id) const;

  private:
    std::map<int, std::unique_ptr<Gdiplus::Bitmap>> images_;
};

// Draws `text` into (x, y, width, height) of `target` with the icon-title font at `height`,
// `format` 0 (left, top) or 1 (centred), and `colour` handed to the system as the number itself.
// With `repairAlpha` the alpha bytes that the text drawing cleared are put back, so the text
// stays visible on a layered window.
void DrawSkinText(const std::wstring& text, HDC target, const Rect& rect, UINT format,
                  unsigned colour, int height, bool repairAlpha);

// Paints `picture` into `target`, a device context with a 32-bit bitmap of the window's size.
void PaintFrame(HDC target, const FramePicture& picture, const FrameSkin& skin);

// Paints the window through `paint` into a 32-bit bitmap of its client size and hands the bitmap
// with its alpha to the window (which becomes layered if it is not yet).
void ComposeLayered(HWND hwnd, const std::function<void(HDC)>& paint);

// Paints the shadow window's picture (`width` x `height`) from the nine-slice `source` into
// `target`, a device context with a 32-bit bitmap; nothing when there is no source.
void PaintShadow(HDC target, int width, int height, bool historyExpanded, Gdiplus::Bitmap* source);
