// The records exchanged with the suite's windows through WM_COPYDATA, as explicit little-endian
// byte layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// dwData of every record this program sends.
constexpr std::uint32_t kCopyDataTag = 74;

// The record exchanged with the calling program's notice window.
constexpr std::size_t kNoticeRecordSize = 660;
constexpr std::size_t kNoticeProductOffset = 4;
constexpr std::size_t kNoticeProductChars = 64;  // 63 characters and the terminator
constexpr std::size_t kNoticePercentOffset = 132;
constexpr std::size_t kNoticeStatusOffset = 136;
constexpr std::size_t kNoticeTextOffset = 140;
constexpr std::size_t kNoticeTextChars = 260;  // 259 characters and the terminator

enum NoticeStatus : std::uint32_t {
    kNoticeDownloading = 1,
    kNoticeFinished = 2,  // also: nothing to do
    kNoticeFailed = 3,
    kNoticeCloseUpdater = 4,  // received only
};

struct NoticeRecord {
    std::uint32_t command = 1;
    std::wstring product;  // productKey
    std::uint32_t percent = 0;
    std::uint32_t status = 0;
    std::wstring text;  // path of the last downloaded package
};

// 660 bytes: the strings as UTF-16, cut to 63 and 259 characters and zero-terminated; the unused
// rest of each field is zero.
std::vector<std::uint8_t> EncodeNoticeRecord(const NoticeRecord& record);

// The command and status of a received record: what the updater acts on. Nothing for a record
// too short to hold them (under 140 bytes); nothing past `size` is read.
struct NoticeCommand {
    std::uint32_t command = 0;
    std::uint32_t status = 0;
};
std::optional<NoticeCommand> DecodeNoticeCommand(const std::uint8_t* data, std::size_t size);

// The whole record, for the calling side (the test stubs read what the updater sends). Strings
// end at their terminator or at the end of their field; nothing for a record under 660 bytes.
std::optional<NoticeRecord> DecodeNoticeRecord(const std::uint8_t* data, std::size_t size);

// True when a received record asks the updater to close.
bool IsCloseRequest(const std::uint8_t* data, std::size_t size);

// The record sent to the version-6 main window: code 23 and the number of pending ordinary
// updates.
constexpr std::size_t kUpdateCountRecordSize = 8;
constexpr std::uint32_t kUpdateCountCode = 23;
std::vector<std::uint8_t> EncodeUpdateCountRecord(std::uint32_t count);
std::optional<std::uint32_t> DecodeUpdateCountRecord(const std::uint8_t* data, std::size_t size);

// Little-endian helpers shared by the record layouts.
void PutUint32(std::uint8_t* at, std::uint32_t value);
std::uint32_t GetUint32(const std::uint8_t* at);
