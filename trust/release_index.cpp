#include "trust/release_index.h"

#include <algorithm>

namespace {

constexpr std::size_t kMaxDecimalDigits = 19;  // below 2^64
constexpr std::size_t kMaxPathLength = 2048;
constexpr std::size_t kKeyIdDigits = 16;
constexpr std::size_t kMaxSignatureBytes = 1024;  // an RSA key of 8192 bits
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 9999;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal without leading zeros (a lone "0" aside).
bool ReadNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > kMaxDecimalDigits || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// The fields of a line, separated by single spaces; at most four.
using Fields = std::array<std::string_view, 4>;

// The number of fields, or 0 when one is empty or there are more than four.
std::size_t SplitFields(std::string_view line, Fields& fields) {
    std::size_t found = 0;
    std::size_t begin = 0;
    while (true) {
        const std::size_t space = line.find(' ', begin);
        const std::string_view field = line.substr(begin, space - begin);
        if (field.empty() || found == fields.size()) {
            return 0;
        }
        fields[found++] = field;
        if (space == std::string_view::npos) {
            return found;
        }
        begin = space + 1;
    }
}

bool IsIndexPath(std::string_view path) {
    return !path.empty() && path[0] == '/' && path.size() <= kMaxPathLength &&
           std::all_of(path.begin(), path.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

// "manifest PATH SIZE DIGEST" and "package PATH SIZE DIGEST", after the word.
bool ReadIndexedFile(const Fields& fields, std::vector<IndexedFile>& into) {
    IndexedFile file;
    std::vector<std::uint8_t> digest;
    if (!IsIndexPath(fields[1]) || !ReadNumber(fields[2], file.size) ||
        fields[3].size() != 2 * file.digest.size() || !ReadLowerHex(fields[3], digest) ||
        FindIndexedFile(into, fields[1]) != nullptr) {
        return false;
    }
    file.path = std::string(fields[1]);
    std::copy(digest.begin(), digest.end(), file.digest.begin());
    into.push_back(std::move(file));
    return true;
}

bool ReadSignature(const Fields& fields, std::vector<IndexSignature>& into) {
    IndexSignature signature;
    std::vector<std::uint8_t> keyId;
    if (fields[1].size() != kKeyIdDigits || !ReadLowerHex(fields[1], keyId) ||
        fields[2].size() > 2 * kMaxSignatureBytes || !ReadLowerHex(fields[2], signature.value)) {
        return false;
    }
    signature.keyId = std::string(fields[1]);
    into.push_back(std::move(signature));
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar from 1970 on.
std::int64_t DaysFromCivil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

void AppendTwoDigits(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
}

std::string FileLine(const char* word, const IndexedFile& file) {
    return std::string(word) + " " + file.path + " " + std::to_string(file.size) + " " +
           LowerHex(file.digest.data(), file.digest.size()) + "\n";
}

// Where the path of a URL lies, without query or fragment: [begin, returned end); an empty range
// when the URL has a scheme but no path.
std::size_t UrlPathRange(const std::wstring& url, std::size_t& begin) {
    begin = 0;
    const std::size_t scheme = url.find(L"://");
    if (scheme != std::wstring::npos) {
        begin = std::min(url.find(L'/', scheme + 3), url.size());
    }
    return std::min(url.find_first_of(L"?#", begin), url.size());
}

}  // namespace

std::optional<ReleaseIndex> ParseReleaseIndex(const unsigned char* bytes, std::size_t count) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), bytes ? count : 0);
    ReleaseIndex index;
    Fields fields;
    int section = 0;  // 0 the head, 1 manifests, 2 packages, 3 signatures
    std::size_t lineNumber = 0;
    index.signedLength = text.size();
    for (std::size_t at = 0; at < text.size(); ++lineNumber) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            return std::nullopt;  // a last line without its line feed
        }
        const std::string_view line = text.substr(at, end - at);
        if (!std::all_of(line.begin(), line.end(), [](char c) { return c >= ' ' && c < 0x7F; })) {
            return std::nullopt;
        }
        bool read = false;
        const std::size_t found = SplitFields(line, fields);
        if (lineNumber == 0) {
            read = line == kReleaseIndexFirstLine;
        } else if (lineNumber == 1) {
            read = found == 2 && fields[0] == "release" && ReadNumber(fields[1], index.release);
        } else if (lineNumber == 2) {
            std::optional<std::int64_t> expires;
            read = found == 2 && fields[0] == "expires" &&
                   (expires = ParseIndexTime(fields[1])).has_value();
            index.expires = expires.value_or(0);
        } else if (found == 4 && fields[0] == "manifest" && section <= 1) {
            section = 1;
            read = ReadIndexedFile(fields, index.manifests);
        } else if (found == 4 && fields[0] == "package" && section <= 2) {
            section = 2;
            read = ReadIndexedFile(fields, index.packages);
        } else if (found == 3 && fields[0] == "signature") {
            if (section < 3) {
                index.signedLength = at;
            }
            section = 3;
            read = ReadSignature(fields, index.signatures);
        }
        if (!read) {
            return std::nullopt;
        }
        at = end + 1;
    }
    if (lineNumber < 3) {
        return std::nullopt;
    }
    return index;
}

std::string FormatReleaseIndexBody(const ReleaseIndex& index) {
    std::string out = std::string(kReleaseIndexFirstLine) + "\n";
    out += "release " + std::to_string(index.release) + "\n";
    out += "expires " + FormatIndexTime(index.expires) + "\n";
    for (const IndexedFile& file : index.manifests) {
        out += FileLine("manifest", file);
    }
    for (const IndexedFile& file : index.packages) {
        out += FileLine("package", file);
    }
    return out;
}

std::string FormatSignatureLine(const IndexSignature& signature) {
    return "signature " + signature.keyId + " " +
           LowerHex(signature.value.data(), signature.value.size()) + "\n";
}

const IndexedFile* FindIndexedFile(const std::vector<IndexedFile>& files, std::string_view path) {
    for (const IndexedFile& file : files) {
        if (file.path == path) {
            return &file;
        }
    }
    return nullptr;
}

std::wstring UrlPath(const std::wstring& url) {
    std::size_t begin = 0;
    const std::size_t end = UrlPathRange(url, begin);
    return url.substr(begin, end - begin);
}

std::string IndexPathOfUrl(const std::wstring& url) {
    std::size_t begin = 0;
    const std::size_t end = UrlPathRange(url, begin);
    std::string path;
    for (std::size_t i = begin; i < end; ++i) {
        if (url[i] <= L' ' || url[i] >= 0x7F) {
            return std::string();
        }
        path += static_cast<char>(url[i]);
    }
    return IsIndexPath(path) ? path : std::string();
}

const IndexedFile* FindIndexedUrl(const std::vector<IndexedFile>& files, const std::wstring& url) {
    std::size_t begin = 0;
    const std::size_t end = UrlPathRange(url, begin);
    for (const IndexedFile& file : files) {
        // The indexed paths are printable ASCII: a character beyond it never matches.
        if (file.path.size() == end - begin &&
            std::equal(file.path.begin(), file.path.end(), url.begin() + begin,
                       [](char a, wchar_t b) { return static_cast<wchar_t>(a) == b; })) {
            return &file;
        }
    }
    return nullptr;
}

std::string KeyIdOf(const Sha256Digest& publicKeyDigest) {
    return LowerHex(publicKeyDigest.data(), kKeyIdDigits / 2);
}

std::string LowerHex(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

bool ReadLowerHex(std::string_view text, std::vector<std::uint8_t>& bytes) {
    const auto value = [](char c) {
        return IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    };
    if (text.size() % 2 != 0) {
        return false;
    }
    bytes.resize(text.size() / 2);  // what is there after a failure is not used
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = value(text[i]);
        const int low = value(text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes[i / 2] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

std::optional<std::int64_t> ParseIndexTime(std::string_view text) {
    // "YYYY-MM-DDTHH:MM:SSZ": digits everywhere but at the separators.
    static constexpr char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kShape - 1) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] == 'd' ? !IsDigit(text[i]) : text[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](std::size_t at, std::size_t digits) {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < kFirstYear || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return UtcSeconds(year, month, day, hour, minute, second);
}

std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
    return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

std::string FormatIndexTime(std::int64_t seconds) {
    const std::int64_t latest = DaysFromCivil(kLastYear, 12, 31) * 86400 + 86399;
    seconds = std::clamp<std::int64_t>(seconds, 0, latest);
    std::int64_t days = seconds / 86400;
    const int secondOfDay = static_cast<int>(seconds % 86400);
    int year = kFirstYear;
    while (days >= (IsLeapYear(year) ? 366 : 365)) {
        days -= IsLeapYear(year) ? 366 : 365;
        ++year;
    }
    int month = 1;
    while (days >= DaysInMonth(year, month)) {
        days -= DaysInMonth(year, month);
        ++month;
    }
    std::string out = std::to_string(year) + "-";
    AppendTwoDigits(out, month);
    out += '-';
    AppendTwoDigits(out, static_cast<int>(days) + 1);
    out += 'T';
    AppendTwoDigits(out, secondOfDay / 3600);
    out += ':';
    AppendTwoDigits(out, secondOfDay / 60 % 60);
    out += ':';
    AppendTwoDigits(out, secondOfDay % 60);
    return out + "Z";
}
