// Ending the suite's programs by image name and finding the guard, against real processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "base/unique_handle_win.h"
#include "apply/processes_win.h"
#include "base/text.h"
#include "test_support.h"

namespace {

// Starts a copy of the running stub program under `name`, with a window of `className` so that
// it keeps running.
UniqueKernelHandle StartCopy(const std::wstring& folder, const std::wstring& name,
                             const std::string& className) {
    const std::wstring program = folder + name;
    CopyFileW((StubFolder("running-locker") + L"locker.exe").c_str(), program.c_str(), FALSE);
    WriteAll(program + L".class", className + "\n");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = L"\"" + program + L"\"";
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return UniqueKernelHandle();
    }
    CloseHandle(process.hThread);
    const std::wstring wide(className.begin(), className.end());
    for (int i = 0; i < 100 && FindWindowW(wide.c_str(), nullptr) == nullptr; ++i) {
        Sleep(50);
    }
    return UniqueKernelHandle(process.hProcess);
}

TEST(Processes, TerminateByNameEndsEveryProcessOfTheNameInTheFoldersAndTheGuardIsFound) {
    std::wstring guardName = L"unchanged";
    EXPECT_FALSE(FindGuardProcess(guardName));
    EXPECT_EQ(guardName, L"unchanged");
    TempFolder folder;
    CreateDirectoryW((folder.Path() + L"second").c_str(), nullptr);
    UniqueKernelHandle first = StartCopy(folder.Path(), L"Fennick.EXE", "_TerminateFirst");
    UniqueKernelHandle second =
        StartCopy(folder.Path() + L"second\\", L"fennick.exe", "_TerminateSecond");
    UniqueKernelHandle other = StartCopy(folder.Path(), L"fennick2.exe", "_TerminateOther");
    UniqueKernelHandle guard = StartCopy(folder.Path(), L"WARDEL_X64.exe", "_GuardProcessTest");
    // A program of the same name outside the suite's folders (another product's, the user's).
    TempFolder elsewhere;
    UniqueKernelHandle outside = StartCopy(elsewhere.Path(), L"fennick.exe", "_TerminateOutside");
    ASSERT_TRUE(first.Valid() && second.Valid() && other.Valid() && guard.Valid() &&
                outside.Valid());
    EXPECT_TRUE(FindGuardProcess(guardName));
    EXPECT_EQ(guardName, L"wardel_x64");
    EXPECT_EQ(ToLowerAscii(ProcessImagePath(GetProcessId(first.Get()))),
              ToLowerAscii(folder.Path() + L"Fennick.EXE"));
    EXPECT_EQ(ProcessImagePath(0xFFFFFFF0), L"");  // no such process

    // The suite's folder named by its 8.3 form, as an updater started by that name knows it.
    wchar_t shortForm[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(folder.Path().c_str(), shortForm, MAX_PATH), 0u);
    ASSERT_NE(ToLowerAscii(shortForm), ToLowerAscii(folder.Path()));
    TerminateByName(L"fennick", {L"", shortForm});
    EXPECT_EQ(WaitForSingleObject(first.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(other.Get(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(outside.Get(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
    for (HANDLE process : {other.Get(), guard.Get(), outside.Get()}) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
    }
}

}  // namespace
