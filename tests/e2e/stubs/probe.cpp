// Looks at the desktop from outside for end-to-end runs and acts as a person or a caller would.
// Every command prints one JSON object:
//   probe.exe wait CLASS MS [visible]  the top-level window of CLASS (waiting up to MS for it, or
//                                      for it to be visible): found, visible, rectangle
//   probe.exe msgbox MS                waits for a message box, prints its caption and text, OK
//   probe.exe notice CLASS STATUS      sends a caller's record with STATUS to the window of CLASS
//   probe.exe click X Y                moves the cursor to the screen point and clicks
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/stubs/stub_text.h"
#include "app/notice_record.h"

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
    } else {
        std::fputs("usage: probe wait|msgbox|notice|click ...\n", stderr);
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
