// The encrypted form of a usage report's record: the record's ANSI bytes padded with zero bytes
// to whole 8-byte blocks, each block encrypted on its own with single DES (electronic codebook,
// no chaining) under the fixed report key, written as upper-case hexadecimal.
#pragma once

#include <optional>
#include <string>

#include "report/des.h"

// The 8 ASCII bytes "k7#Wp3$z".
inline constexpr DesKey kReportKey = {'k', '7', '#', 'W', 'p', '3', '$', 'z'};

// The encrypted, hexadecimal form of record bytes already in the ANSI code page. An empty record
// gives the empty text; 8 bytes give 16 characters, 9 give 32.
std::wstring EncryptReportBytes(const std::string& ansiRecord);

// The reverse, for the publisher's decoder: the decrypted bytes with the trailing zero padding
// removed. Empty when the text is not whole blocks of hexadecimal digits (either letter case).
std::optional<std::string> DecryptReportHex(const std::string& hex);
