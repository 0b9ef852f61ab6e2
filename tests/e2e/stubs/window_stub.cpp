// Plays a window of the suite for end-to-end runs: the calling program's notice window or the
// version-6 main window. It owns a top-level window of the class named on its command line and
// writes every WM_COPYDATA record it receives to a log, one JSON object a line. It also plays the
// tray program: the report message (1800) posted to it is logged as {"message":1800,...}.
//
//   window_stub.exe CLASS LOGFILE [visible]
//
// It writes LOGFILE.ready once its window exists and ends on WM_CLOSE or after a minute.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/e2e/stubs/stub_text.h"
#include "app/notice_record.h"

namespace {

FILE* g_log = nullptr;

void LogRecord(const COPYDATASTRUCT* data) {
    if (g_log == nullptr || data == nullptr) {
        return;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data->lpData);
    std::string line = "{\"dwData\":" + std::to_string(data->dwData) +
                       ",\"cbData\":" + std::to_string(data->cbData);
    if (const auto record = DecodeNoticeRecord(bytes, data->cbData)) {
        line += ",\"command\":" + std::to_string(record->command) +
                ",\"product\":" + JsonString(record->product) +
                ",\"percent\":" + std::to_string(record->percent) +
                ",\"status\":" + std::to_string(record->status) +
                ",\"text\":" + JsonString(record->text);
    } else if (const auto count = DecodeUpdateCountRecord(bytes, data->cbData)) {
        line += ",\"count\":" + std::to_string(*count);
    }
    line += "}\n";
    std::fputs(line.c_str(), g_log);
    std::fflush(g_log);
}

constexpr UINT kTrayReportMessage = 1800;

LRESULT CALLBACK StubWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COPYDATA:
            LogRecord(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            return 1;
        case kTrayReportMessage:
            if (g_log != nullptr) {
                std::fprintf(g_log, "{\"message\":%u,\"wParam\":%llu,\"lParam\":%lld}\n", message,
                             static_cast<unsigned long long>(wParam),
                             static_cast<long long>(lParam));
                std::fflush(g_log);
            }
            return 0;
        case WM_TIMER:
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: window_stub CLASS LOGFILE [visible]\n", stderr);
        return 2;
    }
    const std::wstring className = argv[1];
    const std::wstring logPath = argv[2];
    const bool visible = argc > 3 && std::wstring(argv[3]) == L"visible";
    g_log = _wfopen(logPath.c_str(), L"a");

    WNDCLASSW wc = {};
    wc.lpfnWndProc = StubWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className.c_str();
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, className.c_str(), L"stub", WS_OVERLAPPEDWINDOW, 10, 10, 200,
                                100, nullptr, nullptr, wc.hInstance, nullptr);
    if (hwnd == nullptr) {
        return 1;
    }
    if (visible) {
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    }
    SetTimer(hwnd, 1, 60000, nullptr);
    if (FILE* ready = _wfopen((logPath + L".ready").c_str(), L"w")) {
        std::fclose(ready);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    if (g_log != nullptr) {
        std::fclose(g_log);
    }
    return 0;
}
