// Painting of the main window. The skinned, layered look is not built yet: until it is, the
// window draws its state as plain text on a light background, through a memory bitmap so that
// nothing flickers.
#include <cstdio>

#include "app/command_line.h"
#include "ui/frame_rules.h"
#include "ui/main_frame_win.h"
#include "app/session_state.h"

namespace {

void DrawLine(HDC dc, const std::wstring& text, RECT area, UINT format) {
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              format | DT_SINGLELINE | DT_NOPREFIX);
}

std::wstring Status(const DecisionResults& decision, bool interactive, int percent) {
    const SessionState& session = Session();
    if (!interactive) {
        const std::wstring name = decision.currentName.empty() ? L"程序" : decision.currentName;
        return L"您的 " + name + L" 已经是最新版本";
    }
    if (session.AnyJobRunning()) {
        return L"正在下载文件..." + std::to_wstring(percent) + L"%";
    }
    if (session.updatesAvailable) {
        return L"更新" + decision.currentName + L"到 " + decision.currentVersion;
    }
    return std::wstring();
}

}  // namespace

void CMainFrame::LoadSkinImages() {}

void CMainFrame::OnPaint() {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(hwnd_, &paint);
    RECT client;
    GetClientRect(hwnd_, &client);
    HDC memory = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    PaintTo(memory);
    BitBlt(target, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(hwnd_, &paint);
}

void CMainFrame::PaintTo(HDC dc) {
    RECT client = {0, 0, 380, 175};
    HBRUSH background = CreateSolidBrush(RGB(252, 252, 251));
    FillRect(dc, &client, background);
    DeleteObject(background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(51, 51, 51));
    DrawLine(dc, kFrameTitle, {15, 10, 330, 30}, DT_LEFT);
    DrawLine(dc, L"×", {kCloseRect.left, kCloseRect.top, kCloseRect.right, kCloseRect.bottom},
             DT_CENTER | DT_VCENTER);
    DrawLine(dc, Status(decision_, interactive_, jobPercent_), {0, 77, 380, 97}, DT_CENTER);
}
