#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "build_values.h"
#include "report/error_box_win.h"
#include "report/os_description.h"
#include "test_support.h"

namespace {

struct SeenBox {
    std::wstring title;
    std::wstring text;
};

BOOL CALLBACK CollectChildText(HWND child, LPARAM param) {
    wchar_t buffer[2048] = {};
    GetWindowTextW(child, buffer, 2048);
    auto* texts = reinterpret_cast<std::wstring*>(param);
    *texts += buffer;
    *texts += L"\x1f";
    return TRUE;
}

// Waits for a message box with the given title, reads it and presses its button.
SeenBox ReadAndDismissBox(const std::wstring& title) {
    SeenBox seen;
    for (int i = 0; i < 500; ++i) {
        HWND box = FindWindowW(L"#32770", title.c_str());
        if (box != nullptr) {
            seen.title = title;
            EnumChildWindows(box, CollectChildText, reinterpret_cast<LPARAM>(&seen.text));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            break;
        }
        Sleep(20);
    }
    return seen;
}

TEST(ErrorBox, ShowsVersionSystemAndErrorLine) {
    const std::wstring expectedTitle = L"升级程序 - Orvane v" TALLIX_VERSION_WTEXT;
    SeenBox seen;
    std::thread reader([&] { seen = ReadAndDismissBox(expectedTitle); });
    const int answer = ShowErrorBox(nullptr, L"无法连接到升级服务器。", L"升级程序 - Orvane",
                                    MB_OK | MB_ICONERROR);
    reader.join();

    EXPECT_EQ(answer, IDOK);
    ASSERT_EQ(seen.title, expectedTitle);
    const std::wstring expectedText =
        L"无法连接到升级服务器。\n\n操作系统：" + DescribeOs() + L"\n\nError：0";
    EXPECT_NE(seen.text.find(expectedText), std::wstring::npos) << WideToUtf8(seen.text);
}

}  // namespace
