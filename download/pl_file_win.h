// The downloader's output file: a C-runtime file opened by its UTF-16 path, written block by block
// at a position that is also the size written so far; close, seek and write take its lock.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "download/pl_thread_win.h"

class PLFile {
  public:
    PLFile() = default;
    virtual ~PLFile();
    PLFile(const PLFile&) = delete;
    PLFile& operator=(const PLFile&) = delete;

    // Closes an open file, then opens `path`: an existing file (not a directory) is resumed with
    // "r+b" at its size unless `truncate`; otherwise "w+b" creates or empties it. The file
    // pointer, null on failure.
    std::FILE* Open(const std::wstring& path, bool truncate);
    // Closes the file under the lock and sets the position to 0. False when a write since the
    // file was opened failed or the close itself did (the stream's last bytes reach the disk
    // only then): the file on disk is not what was written to it.
    bool Close();
    // Writes a block at the position and advances it; nothing when no file is open. False when
    // the block did not reach the file (a full disk, an I/O error); the position then stays
    // where it was and every later block is refused as well.
    bool WriteBlock(const void* data, std::size_t size);

    bool IsOpen();
    std::int32_t Position();
    // A write since the file was opened failed.
    bool WriteFailed();

  private:
    std::FILE* file_ = nullptr;
    std::wstring path_;
    std::int32_t position_ = 0;
    bool streamAtPosition_ = false;  // the stream's own position equals position_
    bool writeFailed_ = false;
    PLAutoCSec lock_;
};
