#include "test_support.h"

#include <cstdlib>
#include <vector>

#include "app/unique_handle_win.h"

std::wstring LinuxPathToWindows(const std::string& path) {
    std::wstring result = L"Z:" + Utf8ToWide(path);
    for (wchar_t& c : result) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return result;
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::wstring TestProgramPath() {
    wchar_t path[MAX_PATH + 1] = {};
    return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string WideToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                        nullptr, nullptr);
    return narrow;
}

ProcessOutput RunAndCapture(const std::wstring& commandLine, DWORD timeoutMs) {
    ProcessOutput result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueKernelHandle readEnd;
    UniqueKernelHandle writeEnd;
    if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0)) {
        return result;
    }
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info = {};
    std::wstring mutableLine = commandLine;
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return result;
    }
    result.started = true;
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    writeEnd.Reset();  // so that the read below ends when the child closes its end

    const DWORD start = GetTickCount();
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            break;  // the child closed its end
        }
        if (available > 0) {
            DWORD read = 0;
            if (!ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr) || read == 0) {
                break;
            }
            result.output.append(buffer, read);
            continue;
        }
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(process.Get(), 255);
            break;
        }
        Sleep(10);
    }
    WaitForSingleObject(process.Get(), 5000);
    GetExitCodeProcess(process.Get(), &result.exitCode);
    return result;
}

ScopedRegistryValue::ScopedRegistryValue(HKEY root, const std::wstring& path,
                                         const std::wstring& name)
    : name_(name) {
    RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                    nullptr);
    DWORD size = 0;
    if (key_ != nullptr &&
        RegQueryValueExW(key_, name.c_str(), nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
        oldData_.resize(size);
        hadValue_ =
            RegQueryValueExW(key_, name.c_str(), nullptr, &oldType_,
                             reinterpret_cast<BYTE*>(oldData_.data()), &size) == ERROR_SUCCESS;
    }
}

ScopedRegistryValue::~ScopedRegistryValue() {
    if (key_ == nullptr) {
        return;
    }
    if (hadValue_) {
        RegSetValueExW(key_, name_.c_str(), 0, oldType_,
                       reinterpret_cast<const BYTE*>(oldData_.data()),
                       static_cast<DWORD>(oldData_.size()));
    } else {
        RegDeleteValueW(key_, name_.c_str());
    }
    RegCloseKey(key_);
}

void ScopedRegistryValue::SetString(const std::wstring& value) {
    RegSetValueExW(key_, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void ScopedRegistryValue::SetDword(DWORD value) {
    RegSetValueExW(key_, name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
}

void ScopedRegistryValue::Remove() {
    RegDeleteValueW(key_, name_.c_str());
}
