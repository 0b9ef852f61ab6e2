#include "manifest/file_version_win.h"

#include <windows.h>

#include <vector>

#include "manifest/version.h"

namespace {

enum class Which { kFile, kProduct };

std::wstring ReadFixedVersion(const std::wstring& requested, Which which) {
    const std::wstring path = requested.empty() ? OwnExecutablePath() : requested;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return std::wstring();
    }
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return std::wstring();
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
        return std::wstring();
    }
    return which == Which::kProduct
               ? FormatVersion(info->dwProductVersionMS, info->dwProductVersionLS)
               : FormatVersion(info->dwFileVersionMS, info->dwFileVersionLS);
}

}  // namespace

std::wstring FileProductVersion(const std::wstring& path) {
    return ReadFixedVersion(path, Which::kProduct);
}

std::wstring FileFileVersion(const std::wstring& path) {
    return ReadFixedVersion(path, Which::kFile);
}

std::wstring OwnExecutablePath() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}
