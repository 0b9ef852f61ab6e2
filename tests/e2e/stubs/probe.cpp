// Looks at the desktop from outside for end-to-end runs and acts as a person or a caller would.
// Every command prints one JSON object:
//   probe.exe wait CLASS MS [visible]  the top-level window of CLASS (waiting up to MS for it, or
//                                      for it to be visible): found, visible, rectangle
//   probe.exe msgbox MS                waits for a message box, prints its caption and text, OK
//   probe.exe notice CLASS STATUS      sends a caller's record with STATUS to the window of CLASS
//   probe.exe click X Y                moves the cursor to the screen point and clicks
//   probe.exe text CLASS HEX MS        whether the visible window of CLASS shows the text (UTF-16
//                                      code units, four hexadecimal digits each) as its painter
//                                      draws it, read from the screen for up to MS: shown, where
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/stubs/stub_text.h"
#include "app/notice_record.h"
#include "ui/frame_picture.h"
#include "ui/placement.h"

namespace {

void PrintWindow(HWND hwnd) {
    if (hwnd == nullptr) {
        std::printf("{\"found\":false}\n");
        return;
    }
    RECT r = {};
    GetWindowRect(hwnd, &r);
    std::printf("{\"found\":true,\"visible\":%s,\"rect\":[%ld,%ld,%ld,%ld]}\n",
                IsWindowVisible(hwnd) ? "true" : "false", r.left, r.top, r.right, r.bottom);
}

HWND WaitWindow(const std::wstring& className, DWORD ms, bool mustBeVisible) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindWindowW(className.c_str(), nullptr);
        if (hwnd != nullptr && (!mustBeVisible || IsWindowVisible(hwnd))) {
            return hwnd;
        }
        if (GetTickCount() - start >= ms) {
            return mustBeVisible ? nullptr : hwnd;
        }
        Sleep(25);
    }
}

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
    wchar_t buffer[2048] = {};
    GetWindowTextW(child, buffer, 2048);
    auto* texts = reinterpret_cast<std::vector<std::wstring>*>(param);
    texts->push_back(buffer);
    return TRUE;
}

// A visible dialog with a button: a message box (the updater's own dialogs have no buttons).
BOOL CALLBACK FindMessageBox(HWND hwnd, LPARAM param) {
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, 64);
    if (std::wstring(className) == L"#32770" && IsWindowVisible(hwnd) &&
        FindWindowExW(hwnd, nullptr, L"Button", nullptr) != nullptr) {
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    return TRUE;
}

int MessageBoxCommand(DWORD ms) {
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (box == nullptr && GetTickCount() - start < ms) {
        EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&box));
        if (box == nullptr) {
            Sleep(25);
        }
    }
    if (box == nullptr) {
        std::printf("{\"found\":false}\n");
        return 0;
    }
    wchar_t caption[512] = {};
    GetWindowTextW(box, caption, 512);
    std::vector<std::wstring> texts;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
    // The message is the longest child text (the others are the buttons).
    std::wstring message;
    for (const std::wstring& text : texts) {
        if (text.size() > message.size()) {
            message = text;
        }
    }
    std::printf("{\"found\":true,\"caption\":%s,\"text\":%s}\n", JsonString(caption).c_str(),
                JsonString(message).c_str());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

int SendNoticeCommand(const std::wstring& className, std::uint32_t status) {
    HWND target = FindWindowW(className.c_str(), nullptr);
    if (target == nullptr) {
        std::printf("{\"sent\":false}\n");
        return 0;
    }
    // The record comes from a window of our own, as a caller's would.
    HWND self = CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
    NoticeRecord record;
    record.status = status;
    std::vector<std::uint8_t> bytes = EncodeNoticeRecord(record);
    COPYDATASTRUCT data = {kCopyDataTag, static_cast<DWORD>(bytes.size()), bytes.data()};
    DWORD_PTR result = 0;
    const LRESULT ok =
        SendMessageTimeoutW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                            reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000, &result);
    std::printf("{\"sent\":%s}\n", ok ? "true" : "false");
    return 0;
}

int ClickCommand(int x, int y) {
    SetCursorPos(x, y);
    Sleep(50);
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    const UINT sent = SendInput(2, inputs, sizeof(INPUT));
    std::printf("{\"clicked\":%s}\n", sent == 2 ? "true" : "false");
    return 0;
}

// Pixels as 32-bit words (blue in the low byte), the top row first.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data;
    std::uint32_t At(int x, int y) const { return data[static_cast<std::size_t>(y) * width + x]; }
};

// A bitmap of the screen's format, selected in a memory context to draw or copy into; its pixels
// are read back as 32-bit words.
class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC Dc() const { return dc_; }
    Pixels Read() const {
        Pixels p{width_, height_,
                 std::vector<std::uint32_t>(static_cast<std::size_t>(width_) * height_)};
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof info.bmiHeader, width_, -height_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        SelectObject(dc_, old_);  // the bitmap is read while no context holds it
        GetDIBits(dc_, bitmap_, 0, static_cast<UINT>(height_), p.data.data(), &info,
                  DIB_RGB_COLORS);
        SelectObject(dc_, bitmap_);
        return p;
    }

  private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// The frame's background before its alpha (the painter's fill).
constexpr COLORREF kFrameBackground = RGB(0xFB, 0xFC, 0xFC);

// The text as the window's painter draws it: the icon-title font at `height`, dark, left-aligned
// on the frame's background.
Pixels RenderText(const std::wstring& text, int height) {
    Canvas canvas(kFrameWidth, 40);
    HBRUSH background = CreateSolidBrush(kFrameBackground);
    RECT area = {0, 0, kFrameWidth, 40};
    FillRect(canvas.Dc(), &area, background);
    DeleteObject(background);
    LOGFONTW logFont = {};
    if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof logFont, &logFont, 0)) {
        std::wcscpy(logFont.lfFaceName, L"Tahoma");
    }
    logFont.lfHeight = height;
    HFONT font = CreateFontIndirectW(&logFont);
    HGDIOBJ old = SelectObject(canvas.Dc(), font);
    SetBkMode(canvas.Dc(), TRANSPARENT);
    SetTextColor(canvas.Dc(), kTextColourDark);  // the painter hands the number over as it is
    DrawTextW(canvas.Dc(), text.c_str(), static_cast<int>(text.size()), &area, DT_LEFT);
    SelectObject(canvas.Dc(), old);
    DeleteObject(font);
    return canvas.Read();
}

int ChannelGap(std::uint32_t a, std::uint32_t b) {
    int gap = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        gap = std::max(gap, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                     static_cast<int>((b >> shift) & 0xFF)));
    }
    return gap;
}

// Where the drawn text's block (the pixels it changed, with the background between them) lies in
// the screen's pixels, each pixel within a small tolerance: the layered window is composed over
// black with the frame's alpha, so its colours come out a shade darker.
bool FindText(const Pixels& screen, const Pixels& drawn, POINT& at) {
    const std::uint32_t background = drawn.At(drawn.width - 1, drawn.height - 1);
    int left = drawn.width, top = drawn.height, right = -1, bottom = -1;
    for (int y = 0; y < drawn.height; ++y) {
        for (int x = 0; x < drawn.width; ++x) {
            if (drawn.At(x, y) != background) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return false;
    }
    constexpr int kTolerance = 24;
    for (int y = 0; y + (bottom - top) < screen.height; ++y) {
        for (int x = 0; x + (right - left) < screen.width; ++x) {
            bool same = true;
            for (int v = top; same && v <= bottom; ++v) {
                for (int u = left; same && u <= right; ++u) {
                    same = ChannelGap(screen.At(x + u - left, y + v - top), drawn.At(u, v)) <=
                           kTolerance;
                }
            }
            if (same) {
                at = {x, y};
                return true;
            }
        }
    }
    return false;
}

int TextCommand(const std::wstring& className, const std::wstring& hex, DWORD ms) {
    std::wstring text;
    for (std::size_t i = 0; i + 4 <= hex.size(); i += 4) {
        text += static_cast<wchar_t>(std::wcstoul(hex.substr(i, 4).c_str(), nullptr, 16));
    }
    HWND hwnd = FindWindowW(className.c_str(), nullptr);
    if (hwnd == nullptr || !IsWindowVisible(hwnd)) {
        std::printf("{\"found\":%s,\"shown\":false}\n", hwnd != nullptr ? "true" : "false");
        return 0;
    }
    // The title line's size, and the larger one of the "up to date" line.
    const Pixels drawn[] = {RenderText(text, -12), RenderText(text, -14)};
    const DWORD start = GetTickCount();
    for (;;) {
        RECT r = {};
        GetWindowRect(hwnd, &r);
        Canvas canvas(kFrameWidth, kFrameHeight);
        HDC screen = GetDC(nullptr);
        BitBlt(canvas.Dc(), 0, 0, kFrameWidth, kFrameHeight, screen, r.left, r.top, SRCCOPY);
        ReleaseDC(nullptr, screen);
        const Pixels window = canvas.Read();
        POINT at = {};
        for (const Pixels& candidate : drawn) {
            if (FindText(window, candidate, at)) {
                std::printf("{\"found\":true,\"shown\":true,\"at\":[%ld,%ld]}\n", at.x, at.y);
                return 0;
            }
        }
        if (GetTickCount() - start >= ms) {
            break;
        }
        Sleep(200);
    }
    std::printf("{\"found\":true,\"shown\":false}\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"wait" && argc > 3) {
        const bool visible = argc > 4 && std::wstring(argv[4]) == L"visible";
        PrintWindow(WaitWindow(argv[2], static_cast<DWORD>(_wtoi(argv[3])), visible));
    } else if (command == L"msgbox" && argc > 2) {
        return MessageBoxCommand(static_cast<DWORD>(_wtoi(argv[2])));
    } else if (command == L"notice" && argc > 3) {
        return SendNoticeCommand(argv[2], static_cast<std::uint32_t>(_wtoi(argv[3])));
    } else if (command == L"click" && argc > 3) {
        return ClickCommand(_wtoi(argv[2]), _wtoi(argv[3]));
    } else if (command == L"text" && argc > 4) {
        return TextCommand(argv[2], argv[3], static_cast<DWORD>(_wtoi(argv[4])));
    } else {
        std::fputs("usage: probe wait|msgbox|notice|click|text ...\n", stderr);
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
