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
    writeFailed_ = false;
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

bool PLFile::Close() {
    SectionGuard guard(lock_);
    bool closed = !writeFailed_;
    if (file_ != nullptr) {
        // The stream's buffer is written here: a full disk may show only now. It is flushed on
        // its own first, as a failed flush inside fclose is not reported by every C runtime
        // (Wine's returns 0).
        closed = std::fflush(file_) == 0 && closed;
        closed = std::fclose(file_) == 0 && closed;
        file_ = nullptr;
    }
    position_ = 0;
    return closed;
}

bool PLFile::WriteBlock(const void* data, std::size_t size) {
    SectionGuard guard(lock_);
    if (file_ == nullptr) {
        return true;
    }
    // A body longer than the position can count (2 GiB) is no package: it is endless data.
    if (writeFailed_ || position_ < 0 || size > static_cast<std::size_t>(INT32_MAX - position_)) {
        writeFailed_ = true;
        return false;
    }
    // The stream already stands at the position after the previous block: seeking again would
    // only flush the stream's buffer and move the file pointer to where it is.
    if (!streamAtPosition_) {
        if (std::fseek(file_, position_, SEEK_SET) != 0) {
            writeFailed_ = true;
            return false;
        }
        streamAtPosition_ = true;
    }
    // A block that does not reach the file is not counted: a short file never passes for a
    // whole one because its position says so.
    if (size > 0 && std::fwrite(data, size, 1, file_) != 1) {
        writeFailed_ = true;
        return false;
    }
    position_ += static_cast<std::int32_t>(size);
    return true;
}

bool PLFile::IsOpen() {
    SectionGuard guard(lock_);
    return file_ != nullptr;
}

std::int32_t PLFile::Position() {
    SectionGuard guard(lock_);
    return position_;
}

bool PLFile::WriteFailed() {
    SectionGuard guard(lock_);
    return writeFailed_;
}
