// Messages to the suite's windows: progress records to the caller's notice window and the
// update count to the version-6 main window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Sends a progress record (command 1) with the session's product and last package path, when
// the caller asked for notices and a notice window is known. Waits for the caller.
void SendNotice(HWND frame, std::uint32_t status, std::uint32_t percent);

// The same record to the notice window whether or not the caller asked for notices (the record
// that finishes a session); a session without a notice window sends nothing.
void SendNoticeRecord(HWND frame, std::uint32_t status, std::uint32_t percent);

// Sends the number of pending ordinary updates to the "_Keldra6" window, if there is one.
void SendUpdateCount(HWND frame, std::uint32_t count);

// True when a top-level window of class "_Keldra6" exists and is visible.
bool Keldra6WindowVisible();

// Deletes a file or a directory with everything in it through the shell, silently; to the
// recycle bin unless `permanent`. A path of more than 259 characters is refused without
// deleting anything (the shell's buffer could not hold it).
bool DeleteTree(const std::wstring& path, bool permanent);
