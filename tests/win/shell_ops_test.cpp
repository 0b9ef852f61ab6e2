#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/startup_win.h"
#include "test_support.h"
#include "ui/notice_win.h"

namespace {

std::wstring TempFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

void WriteFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST(DeleteTree, RemovesAFolderWithEverythingInIt) {
    const std::wstring root = TempFolder(L"tallix-delete-tree");
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    CreateDirectoryW((root + L"\\OldVersion").c_str(), nullptr);
    WriteFile(root + L"\\OldVersion\\tallix.exe");
    WriteFile(root + L"\\a.tmp");

    EXPECT_TRUE(DeleteTree(root, true));
    EXPECT_EQ(GetFileAttributesW(root.c_str()), INVALID_FILE_ATTRIBUTES);
    // Deleting what is no longer there reports a failure and changes nothing.
    EXPECT_FALSE(DeleteTree(root, true));
}

TEST(DeleteTree, RefusesAPathTheShellBufferCannotHold) {
    const std::wstring root = TempFolder(L"tallix-long");
    CreateDirectoryW(root.c_str(), nullptr);
    WriteFile(root + L"\\keep.txt");
    std::wstring longPath = root + L"\\";
    longPath.append(260 - longPath.size(), L'x');  // 260 characters: one too many
    EXPECT_FALSE(DeleteTree(longPath, true));
    EXPECT_FALSE(DeleteTree(std::wstring(), true));
    EXPECT_NE(GetFileAttributesW((root + L"\\keep.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteTree(root, true);
}

TEST(Administrator, EveryoneIsAdministratorUnderWine) {
    // Wine runs every program with full rights, so the access check must answer true; a wrong
    // descriptor or mapping would answer false here.
    EXPECT_TRUE(IsUserAdmin());
}

}  // namespace
