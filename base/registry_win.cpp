#include "base/registry_win.h"

#include "base/unique_handle_win.h"

namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

constexpr DWORD kStringBufferBytes = 1024;

}  // namespace

bool RunsUnderWow64() {
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) {
        return false;
    }
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

REGSAM Wow64ViewModifier() {
    return RunsUnderWow64() ? KEY_WOW64_64KEY : 0;
}

std::wstring RegistryKey::ReadString(const std::wstring& name) const {
    UniqueRegistryKey key;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ | modifier_, key.Put()) != ERROR_SUCCESS) {
        return std::wstring();
    }
    wchar_t buffer[kStringBufferBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = 0;
    DWORD size = kStringBufferBytes;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
        return std::wstring();
    }
    // The stored value need not end in a NUL; the spare element above guarantees one.
    return std::wstring(buffer);
}

std::optional<DWORD> RegistryKey::ReadDword(const std::wstring& name) const {
    UniqueRegistryKey key;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ | modifier_, key.Put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return std::nullopt;
    }
    return value;
}

std::vector<BYTE> RegistryKey::ReadBinary(const std::wstring& name) const {
    UniqueRegistryKey key;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ | modifier_, key.Put()) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> bytes(kStringBufferBytes);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(bytes.size());
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, bytes.data(), &size) !=
            ERROR_SUCCESS ||
        type != REG_BINARY) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

bool RegistryKey::WriteBinary(const std::wstring& name, const std::vector<BYTE>& bytes) const {
    UniqueRegistryKey key;
    if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_WRITE | modifier_, nullptr,
                        key.Put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExW(key.Get(), name.c_str(), 0, REG_BINARY, bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}
