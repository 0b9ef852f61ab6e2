// The history page on Windows: the template written from the resources, a locked old file moved
// aside, and the panel whose browser thread must stay quiet where the browser control cannot load
// its HTML engine (Wine without Gecko).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "manifest/history_win.h"
#include "manifest/web_browser_win.h"
#include "test_support.h"
#include "ui/companions_win.h"

namespace {

TEST(HistoryTemplate, WrittenFromTheResourcesAndHidden) {
    const TempFolder folder;
    const std::wstring path = folder.Path() + L"history.html";
    for (int round = 0; round < 2; ++round) {  // the second write replaces the hidden file
        ASSERT_TRUE(WriteHistoryTemplate(path));
        const std::string page = ReadAll(path);
        EXPECT_EQ(page.rfind("<!DOCTYPE html>\r\n", 0), 0u);
        EXPECT_NE(
            page.find("<title>Orvane\xE6\x9B\xB4\xE6\x96\xB0\xE5\x8E\x86\xE5\x8F\xB2</title>"),
            std::string::npos);
        EXPECT_NE(page.find("<div class=\"content\">\r\n<br />"), std::string::npos);
        EXPECT_EQ(page.find("\n\n"), std::string::npos);  // CR LF throughout
        EXPECT_EQ(page.find("src="), std::string::npos);  // no outside script
        EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    }
}

TEST(HistoryTemplate, AFileThatCannotBeDeletedIsMovedAsideForTheRestart) {
    // Wine refuses to delete a read-only file but renames it, as Windows does.
    const TempFolder folder;
    const std::wstring path = folder.Path() + L"history.html";
    WriteAll(path, "old");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_FALSE(DeleteFileW(path.c_str()));

    ASSERT_TRUE(WriteHistoryTemplate(path));
    EXPECT_EQ(ReadAll(path).rfind("<!DOCTYPE html>", 0), 0u);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L".*.tmp").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << "nothing moved aside";
    FindClose(search);
    const std::wstring aside = L"\\??\\" + folder.Path() + found.cFileName + std::wstring(2, L'\0');
    EXPECT_NE(PendingFileRenames().find(aside), std::wstring::npos) << WideToUtf8(aside);
    SetFileAttributesW((folder.Path() + found.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Whether a dialog of this process other than `panel` is visible (an error box, for example).
bool OtherDialogShown(HWND panel) {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, L"#32770", nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(w, &process);
        if (process == GetCurrentProcessId() && w != panel && IsWindowVisible(w)) {
            return true;
        }
    }
    return false;
}

TEST(HistoryPanel, BrowserThreadStaysQuietWithoutAnHtmlEngine) {
    HWND owner = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"owner", WS_POPUP, 100, 100, 380,
                                 175, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    const std::wstring page = HistoryPagePath();
    ASSERT_TRUE(WriteHistoryTemplate(page));
    const DWORD started = GetTickCount();
    {
        CHistoryDlg panel;
        ASSERT_TRUE(panel.Create(owner));
        EXPECT_EQ(panel.ScreenRect(), (Rect{100, 275, 480, 525}));  // below the owner, as wide
        ASSERT_TRUE(PumpUntil(10000, [&panel] { return panel.Browser() != nullptr; }))
            << "the browser window was not made";
        EXPECT_TRUE(IsWindow(panel.Browser()));
        EXPECT_EQ(GetParent(panel.Browser()), panel.Hwnd());
        panel.Show(SW_SHOWNOACTIVATE);
        // Navigating does not block this thread, and no error box comes up.
        EXPECT_TRUE(PostShowPage(panel.Browser(), 7, page));
        PumpUntil(1500, [] { return false; });
        EXPECT_FALSE(OtherDialogShown(panel.Hwnd()));
    }  // the panel and its browser window end here
    DestroyWindow(owner);
    EXPECT_LT(GetTickCount() - started, 20000u);
    EXPECT_FALSE(PostShowPage(nullptr, 0, page));
}

}  // namespace
