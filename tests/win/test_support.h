// Helpers for the Windows tests that run under Wine.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// "Z:\..." for a path of the Linux side (Wine maps the Linux root to drive Z:).
std::wstring LinuxPathToWindows(const std::string& path);

// An environment variable of the test run, or an empty string.
std::string EnvironmentValue(const char* name);

// The full path of this test program.
std::wstring TestProgramPath();

struct ProcessOutput {
    bool started = false;
    DWORD exitCode = 0;
    std::string output;  // standard output as written by the child
};

// Starts `commandLine`, collects its standard output and waits at most `timeoutMs`; a child
// that does not end in time is terminated.
ProcessOutput RunAndCapture(const std::wstring& commandLine, DWORD timeoutMs = 30000);

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// Sets a registry value for the lifetime of the object and puts back what was there before
// (or removes the value when there was none).
class ScopedRegistryValue {
  public:
    ScopedRegistryValue(HKEY root, const std::wstring& path, const std::wstring& name);
    ~ScopedRegistryValue();
    ScopedRegistryValue(const ScopedRegistryValue&) = delete;
    ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

    void SetString(const std::wstring& value);
    void SetDword(DWORD value);
    void Remove();

  private:
    HKEY key_ = nullptr;
    std::wstring name_;
    bool hadValue_ = false;
    DWORD oldType_ = 0;
    std::string oldData_;
};
