#include "download/pl_file_win.h"

#include <sys/stat.h>

#include <vector>

namespace {

constexpr std::size_t kStreamBuffer = 256 * 1024;

// The path in the ANSI code page, as the C runtime's narrow functions take it.
std::string AnsiPath(const std::wstring& path) {
    const int size = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::string();
    }
    std::vector<char> text(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, text.data(), size, nullptr, nullptr);
    return std::string(text.data());
}

}  // namespace

PLFile::~PLFile() {
    Close();
}

std::FILE* PLFile::Open(const std::wstring& path, bool truncate) {
    SectionGuard guard(lock_);
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    position_ = 0;
    path_ = path;
    const std::string ansi = AnsiPath(path);
    streamAtPosition_ = false;
    struct _stat info = {};
    if (!truncate && _wstat(path.c_str(), &info) == 0 && (info.st_mode & _S_IFDIR) == 0) {
        file_ = std::fopen(ansi.c_str(), "r+b");
        if (file_ != nullptr) {
            position_ = static_cast<std::int32_t>(info.st_size);
        }
    } else {
        file_ = std::fopen(ansi.c_str(), "w+b");
    }
    if (file_ != nullptr) {
        // Blocks of 8 KiB reach the disk in larger writes.
        std::setvbuf(file_, nullptr, _IOFBF, kStreamBuffer);
    }
    return file_;
}

void PLFile::Close() {
    SectionGuard guard(lock_);
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    position_ = 0;
}

void PLFile::WriteBlock(const void* data, std::size_t size) {
    SectionGuard guard(lock_);
    if (file_ == nullptr) {
        return;
    }
    // The stream already stands at the position after the previous block: seeking again would
    // only flush the stream's buffer and move the file pointer to where it is.
    if (!streamAtPosition_) {
        std::fseek(file_, position_, SEEK_SET);
        streamAtPosition_ = true;
    }
    std::fwrite(data, size, 1, file_);
    position_ += static_cast<std::int32_t>(size);
}

bool PLFile::IsOpen() {
    SectionGuard guard(lock_);
    return file_ != nullptr;
}

std::int32_t PLFile::Position() {
    SectionGuard guard(lock_);
    return position_;
}
