// The history panel's browser: the system's web browser control hosted in a child window of the
// panel, on a thread of its own with its own message loop and COM apartment. The panel and the
// main window reach it only by posted messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Posted by the browser thread to the panel once the browser window exists; wParam is the
// browser window.
constexpr UINT UM_BROWSER_READY = WM_USER + 73;  // 1097
// Posted to the browser window: lParam is a block of kShowPageBlockSize bytes (see
// EncodeShowPageBlock) allocated with new[] by the sender; the receiver frees it.
constexpr UINT UM_SHOW_PAGE = WM_USER + 74;  // 1098

// The web browser control's class, in the string form that the host is given.
inline const wchar_t kWebBrowserClassId[] = L"{EAB22AC3-30C1-11CF-A7EB-0000C05BAE0B}";

// Starts the browser thread for `panel`. It creates the browser window over the panel's client
// area with the control of class `classId` and then posts UM_BROWSER_READY to the panel; it runs
// until the browser window ends. False when the thread could not be started.
bool StartBrowserThread(HWND panel, const std::wstring& classId);

// Posts UM_SHOW_PAGE with `path` to `browser`; `value` goes to the head of the block. False (and
// the block freed) when nothing was posted.
bool PostShowPage(HWND browser, std::uint32_t value, const std::wstring& path);
