#include "report/report_cipher.h"

#include "base/text.h"

std::wstring EncryptReportBytes(const std::string& ansiRecord) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    const DesKeySchedule schedule(kReportKey);
    std::wstring hex;
    for (std::size_t at = 0; at < ansiRecord.size(); at += 8) {
        DesBlock block{};  // the last block's missing bytes stay zero
        for (std::size_t i = 0; i < 8 && at + i < ansiRecord.size(); ++i) {
            block[i] = static_cast<std::uint8_t>(ansiRecord[at + i]);
        }
        for (std::uint8_t b : schedule.Encrypt(block)) {
            hex += kDigits[b >> 4];
            hex += kDigits[b & 0xF];
        }
    }
    return hex;
}

std::optional<std::string> DecryptReportHex(const std::string& hex) {
    if (hex.size() % 16 != 0) {
        return std::nullopt;
    }
    const DesKeySchedule schedule(kReportKey);
    std::string plain;
    for (std::size_t at = 0; at < hex.size(); at += 16) {
        DesBlock block{};
        for (std::size_t i = 0; i < 8; ++i) {
            const int high = HexDigitValue(hex[at + 2 * i]);
            const int low = HexDigitValue(hex[at + 2 * i + 1]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            block[i] = static_cast<std::uint8_t>(high * 16 + low);
        }
        for (std::uint8_t b : schedule.Decrypt(block)) {
            plain += static_cast<char>(b);
        }
    }
    while (!plain.empty() && plain.back() == '\0') {
        plain.pop_back();
    }
    return plain;
}
