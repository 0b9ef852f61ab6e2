#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/startup_win.h"
#include "test_support.h"
#include "ui/notice_win.h"

namespace {

TEST(DeleteTree, RemovesAFolderWithEverythingInIt) {
    const TempFolder folder;
    const std::wstring root = folder.Path() + L"tree";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\OldVersion").c_str(), nullptr);
    WriteAll(root + L"\\OldVersion\\tallix.exe", "");
    WriteAll(root + L"\\a.tmp", "");

    EXPECT_TRUE(DeleteTree(root, true));
    EXPECT_EQ(GetFileAttributesW(root.c_str()), INVALID_FILE_ATTRIBUTES);
    // Deleting what is no longer there reports a failure and changes nothing.
    EXPECT_FALSE(DeleteTree(root, true));
}

TEST(DeleteTree, RefusesAPathTheShellBufferCannotHold) {
    const TempFolder folder;
    WriteAll(folder.Path() + L"keep.txt", "");
    std::wstring longPath = folder.Path();
    longPath.append(260 - longPath.size(), L'x');  // 260 characters: one too many
    EXPECT_FALSE(DeleteTree(longPath, true));
    EXPECT_FALSE(DeleteTree(std::wstring(), true));
    EXPECT_NE(GetFileAttributesW((folder.Path() + L"keep.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Administrator, EveryoneIsAdministratorUnderWine) {
    // Wine runs every program with full rights, so the access check must answer true; a wrong
    // descriptor or mapping would answer false here.
    EXPECT_TRUE(IsUserAdmin());
}

}  // namespace
