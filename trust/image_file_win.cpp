#include "trust/image_file_win.h"

#include <windows.h>

#include <vector>

#include "base/unique_handle_win.h"

ImageWholeness JudgeImageFile(const std::wstring& path) {
    // Others may go on reading, writing or renaming the file while its headers are read.
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size)) {
        return ImageWholeness::kCut;
    }
    const auto fileSize = static_cast<std::uint64_t>(size.QuadPart);
    std::vector<std::uint8_t> prefix(
        static_cast<std::size_t>(fileSize < kImageHeaderBytes ? fileSize : kImageHeaderBytes));
    DWORD read = 0;
    if (!prefix.empty() &&
        (!ReadFile(file.Get(), prefix.data(), static_cast<DWORD>(prefix.size()), &read, nullptr) ||
         read != prefix.size())) {
        return ImageWholeness::kCut;
    }
    return JudgeImage(prefix.data(), prefix.size(), fileSize);
}

bool PackageIsWhole(const std::wstring& path) {
    return JudgeImageFile(path) != ImageWholeness::kCut;
}
