// A package that failed a check is described for the usage report: what its version resource
// says, its size and existence, the status of the latest download's first request and, for a
// small file without a version resource (an error page, typically), its text.
#include "download/anomaly_win.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "base/unique_handle_win.h"
#include "download/download_records.h"
#include "download/download_rules.h"

namespace {

constexpr std::uint64_t kFileTextLimit = 50000;

// The version resource of a file, or an empty block when it has none.
std::vector<std::uint8_t> VersionBlock(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<std::uint8_t> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        block.clear();
    }
    return block;
}

// A string of the block's first translation, or empty.
std::wstring VersionString(std::vector<std::uint8_t>& block, const wchar_t* name) {
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < 2 * sizeof(WORD)) {
        return std::wstring();
    }
    const std::wstring query =
        L"\\StringFileInfo\\" + TranslationKey(translation[0], translation[1]) + L"\\" + name;
    wchar_t* value = nullptr;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr || length == 0) {
        return std::wstring();
    }
    return std::wstring(value);
}

std::uint64_t FileSize(const std::wstring& path) {
    UniqueHandle<FileHandleTraits> file(CreateFileW(path.c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size)) {
        return 0;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

// The whole file read as text in the ANSI code page.
std::wstring FileText(const std::wstring& path) {
    UniqueHandle<FileHandleTraits> file(CreateFileW(path.c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return std::wstring();
    }
    std::vector<char> bytes(kFileTextLimit);
    DWORD read = 0;
    if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read == 0) {
        return std::wstring();
    }
    const int chars =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(read), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0) {
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(read), text.data(), chars);
    }
    return text;
}

}  // namespace

std::wstring FileVersionString(const std::wstring& path, const wchar_t* name) {
    std::vector<std::uint8_t> block = VersionBlock(path);
    return block.empty() ? std::wstring() : VersionString(block, name);
}

void RecordDownloadAnomaly(const std::wstring& path, const std::wstring& signer) {
    DownloadAnomaly anomaly;
    const std::size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos && slash >= 1) {
        anomaly.fileName = path.substr(slash + 1);
    }
    anomaly.signer = signer;
    std::vector<std::uint8_t> block = VersionBlock(path);
    if (!block.empty()) {
        anomaly.productVersion = VersionString(block, L"ProductVersion");
        anomaly.productName = VersionString(block, L"ProductName");
        anomaly.originalFileName = VersionString(block, L"OriginalFileName");
    }
    anomaly.fileSize = FileSize(path);
    anomaly.exists = PathFileExistsW(path.c_str()) != FALSE;
    anomaly.firstRequestStatus = FirstRequestStatus();
    if (block.empty() && anomaly.exists && anomaly.fileSize < kFileTextLimit) {
        anomaly.fileText = FileText(path);
    }
    // Does nothing when a record with the same signer and file name is already listed.
    Anomalies().AppendUnlessKnown(std::move(anomaly));
}
