// The updater's error message box: the caller's title with the updater's version, the message
// and a description of the running system for support.
#pragma once

#include <windows.h>

#include <string>

int ShowErrorBox(HWND owner, const std::wstring& message, const std::wstring& title, UINT flags);
