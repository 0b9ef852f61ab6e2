// Registry reads. A key object names a root, a path and the view modifier: on a 64-bit system
// the 32-bit updater reads the 64-bit view, so every key is opened with KEY_WOW64_64KEY there.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// True when this process is a 32-bit process on 64-bit Windows. IsWow64Process is looked up at
// run time; where it is missing the process counts as native.
bool RunsUnderWow64();

// KEY_WOW64_64KEY under WOW64, otherwise 0.
REGSAM Wow64ViewModifier();

class RegistryKey {
  public:
    RegistryKey(HKEY root, std::wstring path, REGSAM modifier = Wow64ViewModifier())
        : root_(root), path_(std::move(path)), modifier_(modifier) {}

    // A REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ value of at most 1,024 bytes; the empty string for
    // a missing key or value, another type or any other failure.
    std::wstring ReadString(const std::wstring& name) const;

    // A REG_DWORD value, or nothing.
    std::optional<DWORD> ReadDword(const std::wstring& name) const;

    // A REG_BINARY value of at most 1,024 bytes; empty when missing or of another type.
    std::vector<BYTE> ReadBinary(const std::wstring& name) const;

    // Writes a REG_BINARY value, creating the key when needed. False on any failure.
    bool WriteBinary(const std::wstring& name, const std::vector<BYTE>& bytes) const;

  private:
    HKEY root_;
    std::wstring path_;
    REGSAM modifier_;
};
