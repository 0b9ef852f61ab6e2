#include "download/pl_file_win.h"

#include <sys/stat.h>

namespace {

constexpr std::size_t kStreamBuffer = 256 * 1024;

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
    streamAtPosition_ = false;
    // The file is opened by its UTF-16 path. Through the ANSI code page a folder whose name the
    // code page lacks could not be opened at all, and the system's best fit would turn
    // characters such as U+FF3C into separators; where the code page holds the path, the file
    // opened is the same.
    struct _stat info = {};
    if (!truncate && _wstat(path.c_str(), &info) == 0 && (info.st_mode & _S_IFDIR) == 0) {
        file_ = _wfopen(path.c_str(), L"r+b");
        if (file_ != nullptr) {
            position_ = static_cast<std::int32_t>(info.st_size);
        }
    } else {
        file_ = _wfopen(path.c_str(), L"w+b");
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
