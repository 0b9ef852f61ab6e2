#include "report/machine_identity.h"

#include "base/text.h"

namespace {

constexpr std::size_t kSerialFirstWord = 10;
constexpr std::size_t kSerialWords = 10;
constexpr std::size_t kSerialNumberOffsetField = 24;  // in STORAGE_DEVICE_DESCRIPTOR
constexpr std::size_t kDnsFieldLength = 15;

bool IsPrintable(unsigned char c) {
    return c >= 0x20 && c <= 0x7E;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Reads the text as hexadecimal pairs; false when a character is no digit or a pair gives a byte
// that is neither 0 nor printable. An odd last digit is dropped: it makes no whole byte.
bool ReadHexPairs(const std::string& text, std::string& out) {
    out.clear();
    unsigned byte = 0;
    bool high = true;
    for (char raw : text) {
        char c = (raw >= 'A' && raw <= 'Z') ? static_cast<char>(raw + 32) : raw;
        if (IsWhiteSpace(static_cast<unsigned char>(c))) {
            c = '0';
        }
        const int digit = HexValue(c);
        if (digit < 0) {
            return false;
        }
        byte = (byte << 4) | static_cast<unsigned>(digit);
        high = !high;
        if (high) {
            const unsigned char value = static_cast<unsigned char>(byte & 0xFF);
            if (value != 0 && !IsPrintable(value)) {
                return false;
            }
            if (value != 0) {
                out += static_cast<char>(value);
            }
            byte = 0;
        }
    }
    return true;
}

std::string TrimWhiteSpaceBytes(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsWhiteSpace(static_cast<unsigned char>(text[first]))) {
        ++first;
    }
    while (last > first && IsWhiteSpace(static_cast<unsigned char>(text[last - 1]))) {
        --last;
    }
    return text.substr(first, last - first);
}

}  // namespace

bool IsWhiteSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

std::wstring TrimWhiteSpace(const std::wstring& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsWhiteSpace(text[first])) {
        ++first;
    }
    while (last > first && IsWhiteSpace(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

std::string SmartSerialFromIdentify(const std::uint8_t* identify, std::size_t size) {
    if (identify == nullptr || size < (kSerialFirstWord + kSerialWords) * 2) {
        return std::string();
    }
    std::string serial;
    for (std::size_t word = kSerialFirstWord; word < kSerialFirstWord + kSerialWords; ++word) {
        // The identify words are little-endian; the text is each word's high byte first.
        serial += static_cast<char>(identify[word * 2 + 1]);
        serial += static_cast<char>(identify[word * 2]);
    }
    // The trailing cut walks from the 20th character back to the 2nd.
    for (std::size_t i = serial.size() - 1; i >= 1; --i) {
        if (!IsWhiteSpace(static_cast<unsigned char>(serial[i]))) {
            break;
        }
        serial[i] = '\0';
    }
    return serial.substr(0, serial.find('\0'));
}

std::string StorageSerialFromDescriptor(const std::uint8_t* descriptor, std::size_t size) {
    if (descriptor == nullptr || size < kSerialNumberOffsetField + 4) {
        return std::string();
    }
    std::uint32_t offset = 0;
    for (int i = 3; i >= 0; --i) {
        offset = (offset << 8) | descriptor[kSerialNumberOffsetField + i];
    }
    // The offset is a DWORD; a value that reads as negative counts as "not positive" too.
    if (offset == 0 || offset > 0x7FFFFFFFu || offset >= size) {
        return std::string();
    }
    std::string text;
    for (std::size_t at = offset; at < size && descriptor[at] != 0; ++at) {
        text += static_cast<char>(descriptor[at]);
    }
    return DecodeStorageSerial(text);
}

std::string DecodeStorageSerial(const std::string& text) {
    std::string serial;
    if (!ReadHexPairs(text, serial)) {
        serial.clear();
        for (char c : text) {
            if (!IsPrintable(static_cast<unsigned char>(c))) {
                return std::string();
            }
            serial += c;
        }
    }
    for (std::size_t i = 0; i + 1 < serial.size(); i += 2) {
        std::swap(serial[i], serial[i + 1]);
    }
    return TrimWhiteSpaceBytes(serial);
}

std::wstring MachineIdFrom(const std::wstring& smartSerial, const std::wstring& storageSerial) {
    return TrimWhiteSpace(smartSerial.empty() ? storageSerial : smartSerial);
}

bool IsVirtualAdapter(const std::wstring& description) {
    return Contains(description, L"VMware") || Contains(description, L"Virtual");
}

std::wstring DnsServerField(const std::wstring& address) {
    return address.substr(0, kDnsFieldLength);
}

std::array<std::uint8_t, 33> SmartIdentifyRequest(std::uint8_t driveNumber) {
    std::array<std::uint8_t, 33> request{};
    request[0] = kSmartIdentifySize & 0xFF;  // cBufferSize, little-endian
    request[1] = kSmartIdentifySize >> 8;
    request[5] = 1;                                                           // sector count
    request[6] = 1;                                                           // sector number
    request[9] = static_cast<std::uint8_t>(0xA0 | ((driveNumber & 1) << 4));  // drive/head
    request[10] = 0xEC;                                                       // IDENTIFY DEVICE
    request[12] = driveNumber;                                                // bDriveNumber
    return request;
}
