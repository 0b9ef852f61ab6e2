// What the usage reports say about the computer: the serial number of its first physical disk
// (the machine identity) and the DNS servers of its real network adapters. The decoders of the
// drives' answers and the adapter rules are here; the Win32 readers that feed them are in
// machine_identity_win.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One network adapter as the reports know it. Only the two DNS servers are sent.
struct AdapterInfo {
    std::wstring description;
    std::wstring ipAddress;
    std::wstring ipMask;
    std::wstring gateway;
    std::wstring friendlyName;
    std::wstring firstDns;   // at most 15 characters, the length of a dotted IPv4 address
    std::wstring secondDns;  // empty when the adapter has a single DNS server
};

// Byte offset of the identify data in the answer to SMART_RCV_DRIVE_DATA, its size, and the
// size of the whole answer buffer (SENDCMDOUTPARAMS and the 512 data bytes).
constexpr std::size_t kSmartIdentifyOffset = 16;
constexpr std::size_t kSmartIdentifySize = 512;
constexpr std::size_t kSmartBufferSize = 545;

// The serial number in ATA IDENTIFY DEVICE data (words 10 to 19, each word's high byte first),
// cut at its first zero byte, with trailing white space removed from the 20th character back to
// the 2nd (the first character is never removed). Bytes in the ANSI code page.
std::string SmartSerialFromIdentify(const std::uint8_t* identify, std::size_t size);

// The serial number of a STORAGE_DEVICE_DESCRIPTOR (as answered to the storage property query,
// `size` bytes): the text at its SerialNumberOffset decoded by DecodeStorageSerial. Empty when
// the offset is 0 or points outside the answer.
std::string StorageSerialFromDescriptor(const std::uint8_t* descriptor, std::size_t size);

// A storage-query serial text as drivers give it: hexadecimal pairs of a byte-swapped text
// (white space counting as the digit 0; a pair giving 0 adds nothing) or, when that reading
// fails, the plain text when it is wholly printable; then each pair of adjacent characters is
// swapped and white space is trimmed from both ends. Empty when neither reading works.
std::string DecodeStorageSerial(const std::string& text);

// The machine identity from the two readers: the SMART serial, or the storage serial when that
// is empty, with white space trimmed from both ends.
std::wstring MachineIdFrom(const std::wstring& smartSerial, const std::wstring& storageSerial);

// Adapters whose description names a virtual machine's network ("VMware" or "Virtual", matched
// case-sensitively) are left out of the list.
bool IsVirtualAdapter(const std::wstring& description);

// A DNS server address as kept in the list: at most its first 15 characters.
std::wstring DnsServerField(const std::wstring& address);

// White space as the C runtime's isspace knows it in the C locale.
bool IsWhiteSpace(wchar_t c);
std::wstring TrimWhiteSpace(const std::wstring& text);

// The 33-byte SENDCMDINPARAMS of an ATA IDENTIFY DEVICE request (command register 0xEC) for
// SMART_RCV_DRIVE_DATA: a 512-byte answer, one sector, the drive's number and its master/slave
// bit in the drive/head register.
std::array<std::uint8_t, 33> SmartIdentifyRequest(std::uint8_t driveNumber);
