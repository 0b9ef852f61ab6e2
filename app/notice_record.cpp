#include "app/notice_record.h"

namespace {

// Writes `text` as UTF-16 code units into a field of `chars` units, keeping the last one for the
// terminator. On Windows wchar_t is one UTF-16 unit; elsewhere characters beyond the basic plane
// are written as surrogate pairs so the layout is the same.
void PutUtf16(std::uint8_t* field, std::size_t chars, const std::wstring& text) {
    std::size_t unit = 0;
    auto put = [&](std::uint32_t u) {
        field[unit * 2] = static_cast<std::uint8_t>(u & 0xFF);
        field[unit * 2 + 1] = static_cast<std::uint8_t>((u >> 8) & 0xFF);
        ++unit;
    };
    for (wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code > 0xFFFF) {
            if (unit + 2 > chars - 1) {
                break;
            }
            const std::uint32_t v = code - 0x10000;
            put(0xD800 + (v >> 10));
            put(0xDC00 + (v & 0x3FF));
        } else {
            if (unit + 1 > chars - 1) {
                break;
            }
            put(code);
        }
    }
}

std::wstring GetUtf16(const std::uint8_t* field, std::size_t chars) {
    std::wstring text;
    for (std::size_t i = 0; i < chars; ++i) {
        const std::uint32_t unit =
            field[i * 2] | (static_cast<std::uint32_t>(field[i * 2 + 1]) << 8);
        if (unit == 0) {
            break;
        }
        if constexpr (sizeof(wchar_t) == 2) {
            text += static_cast<wchar_t>(unit);
        } else {
            // Join a surrogate pair into one character where wchar_t holds whole characters.
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < chars) {
                const std::uint32_t low =
                    field[(i + 1) * 2] | (static_cast<std::uint32_t>(field[(i + 1) * 2 + 1]) << 8);
                if (low >= 0xDC00 && low < 0xE000) {
                    text +=
                        static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
            text += static_cast<wchar_t>(unit);
        }
    }
    return text;
}

}  // namespace

void PutUint32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

std::uint32_t GetUint32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

std::vector<std::uint8_t> EncodeNoticeRecord(const NoticeRecord& record) {
    std::vector<std::uint8_t> bytes(kNoticeRecordSize, 0);
    PutUint32(&bytes[0], record.command);
    PutUtf16(&bytes[kNoticeProductOffset], kNoticeProductChars, record.product);
    PutUint32(&bytes[kNoticePercentOffset], record.percent);
    PutUint32(&bytes[kNoticeStatusOffset], record.status);
    PutUtf16(&bytes[kNoticeTextOffset], kNoticeTextChars, record.text);
    return bytes;
}

std::optional<NoticeCommand> DecodeNoticeCommand(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < kNoticeTextOffset) {
        return std::nullopt;
    }
    return NoticeCommand{GetUint32(data), GetUint32(data + kNoticeStatusOffset)};
}

std::optional<NoticeRecord> DecodeNoticeRecord(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < kNoticeRecordSize) {
        return std::nullopt;
    }
    NoticeRecord record;
    record.command = GetUint32(data);
    record.product = GetUtf16(data + kNoticeProductOffset, kNoticeProductChars);
    record.percent = GetUint32(data + kNoticePercentOffset);
    record.status = GetUint32(data + kNoticeStatusOffset);
    record.text = GetUtf16(data + kNoticeTextOffset, kNoticeTextChars);
    return record;
}

bool IsCloseRequest(const std::uint8_t* data, std::size_t size) {
    const std::optional<NoticeCommand> command = DecodeNoticeCommand(data, size);
    return command && command->command == 1 && command->status == kNoticeCloseUpdater;
}

std::vector<std::uint8_t> EncodeUpdateCountRecord(std::uint32_t count) {
    std::vector<std::uint8_t> bytes(kUpdateCountRecordSize, 0);
    PutUint32(&bytes[0], kUpdateCountCode);
    PutUint32(&bytes[4], count);
    return bytes;
}

std::optional<std::uint32_t> DecodeUpdateCountRecord(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < kUpdateCountRecordSize || GetUint32(data) != kUpdateCountCode) {
        return std::nullopt;
    }
    return GetUint32(data + 4);
}
