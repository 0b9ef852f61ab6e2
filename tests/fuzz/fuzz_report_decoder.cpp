// The publisher's decoder on whole log lines: whatever the statistics host received, the decoder
// either refuses the line or prints one well-formed JSON object in valid UTF-8, and says why when
// it is not the whole report.
#include "report/report_decoder.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Bytes of the reporting computer's code page: here Latin-1, each byte one character.
std::optional<std::string> Latin1ToUtf8(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A small validating JSON reader: objects, arrays, strings with escapes, numbers, null.
class Json {
  public:
    explicit Json(const std::string& text) : t_(text) {}
    bool WholeObject() { return Peek() == '{' && Value() && at_ == t_.size(); }

  private:
    char Peek() const { return at_ < t_.size() ? t_[at_] : '\0'; }
    bool Eat(char c) { return Peek() == c && (++at_, true); }
    bool Value() {
        switch (Peek()) {
            case '{':
                return Members('}', true);
            case '[':
                return Members(']', false);
            case '"':
                return String();
            case 'n':
                return t_.compare(at_, 4, "null") == 0 && (at_ += 4, true);
            default:
                return Number();
        }
    }
    bool Members(char close, bool keyed) {
        ++at_;
        if (Eat(close)) {
            return true;
        }
        do {
            if (keyed && !(String() && Eat(':'))) {
                return false;
            }
            if (!Value()) {
                return false;
            }
        } while (Eat(','));
        return Eat(close);
    }
    bool String() {
        if (!Eat('"')) {
            return false;
        }
        while (at_ < t_.size() && t_[at_] != '"') {
            const auto c = static_cast<unsigned char>(t_[at_]);
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                ++at_;
                if (Peek() == 'u') {
                    at_ += 4;
                } else if (std::string("\"\\/bfnrt").find(Peek()) == std::string::npos ||
                           Peek() == '\0') {
                    return false;
                }
            }
            ++at_;
        }
        return Eat('"');
    }
    bool Number() {
        Eat('-');
        const std::size_t digits = at_;
        while (Peek() >= '0' && Peek() <= '9') {
            ++at_;
        }
        return at_ > digits;
    }
    const std::string& t_;
    std::size_t at_ = 0;
};

// UTF-8 as a JSON reader takes it: no overlong form, no surrogate, nothing above U+10FFFF.
bool StrictUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80                 ? 1
                                   : c >= 0xC2 && c <= 0xDF ? 2
                                   : c >= 0xE0 && c <= 0xEF ? 3
                                   : c >= 0xF0 && c <= 0xF4 ? 4
                                                            : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

void Check(const DecodedReport& report) {
    FUZZ_CHECK(report.ok == (!report.json.empty() && report.error.empty()));
    FUZZ_CHECK(report.ok || !report.error.empty());
    if (!report.json.empty()) {
        FUZZ_CHECK(Json(report.json).WholeObject());
        FUZZ_CHECK(StrictUtf8(report.json));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    if (const auto request = ReportRequestInLine(line)) {
        Check(DecodeReportRequest(*request, Latin1ToUtf8));
    }
    Check(DecodeReportRequest(line, Latin1ToUtf8));
    return 0;
}
