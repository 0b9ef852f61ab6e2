#include "tools/publish/json_value.h"

#include <cstdlib>

#include "base/text.h"

namespace {

class Reader {
  public:
    explicit Reader(const std::string& text) : s_(text) {}

    bool Document(JsonValue& out) {
        if (!Value(out, 0))
            return false;
        Blank();
        return at_ == s_.size() || Fail("text after the document");
    }
    std::string error;

  private:
    bool Fail(const std::string& what) {
        if (error.empty())
            error = what + " at byte " + std::to_string(at_);
        return false;
    }
    void Blank() {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
            ++at_;
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (s_.compare(at_, w.size(), w) != 0)
            return Fail("unexpected text");
        at_ += w.size();
        return true;
    }
    void Utf8(unsigned long c, std::string& out) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    bool Hex4(unsigned long& c) {
        if (at_ + 4 > s_.size())
            return Fail("short \\u escape");
        c = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const int digit = HexDigitValue(s_[at_ + i]);
            if (digit < 0)
                return Fail("bad \\u escape");
            c = c * 16 + static_cast<unsigned long>(digit);
        }
        at_ += 4;
        return true;
    }
    // A \\u escape, with the second half of a surrogate pair; a lone surrogate is refused.
    bool Escape(std::string& out) {
        unsigned long c1 = 0;
        if (!Hex4(c1))
            return false;
        if (c1 >= 0xDC00 && c1 <= 0xDFFF)
            return Fail("lone surrogate");
        if (c1 >= 0xD800 && c1 <= 0xDBFF) {
            unsigned long c2 = 0;
            if (s_.compare(at_, 2, "\\u") != 0)
                return Fail("lone surrogate");
            at_ += 2;
            if (!Hex4(c2))
                return false;
            if (c2 < 0xDC00 || c2 > 0xDFFF)
                return Fail("lone surrogate");
            c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
        }
        Utf8(c1, out);
        return true;
    }
    // JSON's number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    bool Number(double& out) {
        const std::size_t begin = at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9')
                ++at_;
            return at_ - from;
        };
        if (at_ < s_.size() && s_[at_] == '-')
            ++at_;
        const std::size_t integer = at_;
        if (digits() == 0)
            return Fail("unexpected character");
        if (s_[integer] == '0' && at_ - integer > 1)
            return Fail("a number with a leading zero");
        if (at_ < s_.size() && s_[at_] == '.') {
            ++at_;
            if (digits() == 0)
                return Fail("no digits after the point");
        }
        if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
            ++at_;
            if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-'))
                ++at_;
            if (digits() == 0)
                return Fail("no digits in the exponent");
        }
        out = std::strtod(s_.substr(begin, at_ - begin).c_str(), nullptr);
        return true;
    }
    bool String(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < s_.size() && s_[at_] != '"') {
            const char c = s_[at_++];
            if (static_cast<unsigned char>(c) < 0x20)
                return Fail("control character in a string");
            if (c != '\\') {
                // Bytes are taken as they are: a log line may hold a request's raw bytes of
                // another code page, which the decoder reads in that code page.
                out += c;
                continue;
            }
            if (at_ >= s_.size())
                break;
            const char e = s_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u':
                    if (!Escape(out))
                        return false;
                    break;
                default:
                    return Fail("bad escape");
            }
        }
        if (at_ >= s_.size())
            return Fail("unterminated string");
        ++at_;
        return true;
    }
    bool Value(JsonValue& out, int depth) {
        if (depth > 64)
            return Fail("nesting too deep");
        Blank();
        if (at_ >= s_.size())
            return Fail("missing value");
        const char c = s_[at_];
        if (c == '{') {
            out.type = JsonValue::Type::kObject;
            ++at_;
            Blank();
            if (at_ < s_.size() && s_[at_] == '}')
                return ++at_, true;
            while (true) {
                Blank();
                if (at_ >= s_.size() || s_[at_] != '"')
                    return Fail("expected a key");
                std::string key;
                if (!String(key))
                    return false;
                Blank();
                if (at_ >= s_.size() || s_[at_] != ':')
                    return Fail("expected ':'");
                ++at_;
                JsonValue member;
                if (!Value(member, depth + 1))
                    return false;
                out.members.emplace_back(std::move(key), std::move(member));
                Blank();
                if (at_ < s_.size() && s_[at_] == ',') {
                    ++at_;
                    continue;
                }
                if (at_ < s_.size() && s_[at_] == '}')
                    return ++at_, true;
                return Fail("expected ',' or '}'");
            }
        }
        if (c == '[') {
            out.type = JsonValue::Type::kArray;
            ++at_;
            Blank();
            if (at_ < s_.size() && s_[at_] == ']')
                return ++at_, true;
            while (true) {
                JsonValue item;
                if (!Value(item, depth + 1))
                    return false;
                out.items.push_back(std::move(item));
                Blank();
                if (at_ < s_.size() && s_[at_] == ',') {
                    ++at_;
                    continue;
                }
                if (at_ < s_.size() && s_[at_] == ']')
                    return ++at_, true;
                return Fail("expected ',' or ']'");
            }
        }
        if (c == '"') {
            out.type = JsonValue::Type::kString;
            return String(out.text);
        }
        if (c == 't') {
            out.type = JsonValue::Type::kBool;
            out.boolean = true;
            return Literal("true");
        }
        if (c == 'f') {
            out.type = JsonValue::Type::kBool;
            return Literal("false");
        }
        if (c == 'n')
            return Literal("null");
        out.type = JsonValue::Type::kNumber;
        return Number(out.number);
    }

    const std::string& s_;
    std::size_t at_ = 0;
};

}  // namespace

JsonValue::JsonValue() = default;
JsonValue::~JsonValue() = default;
JsonValue::JsonValue(const JsonValue&) = default;
JsonValue::JsonValue(JsonValue&&) noexcept = default;
JsonValue& JsonValue::operator=(const JsonValue&) = default;
JsonValue& JsonValue::operator=(JsonValue&&) noexcept = default;

const JsonValue* JsonValue::Find(const std::string& key) const {
    for (const auto& [name, value] : members) {
        if (name == key)
            return &value;
    }
    return nullptr;
}

std::optional<JsonValue> ParseJson(const std::string& text, std::string& error) {
    Reader reader(text);
    JsonValue value;
    if (!reader.Document(value)) {
        error = reader.error;
        return std::nullopt;
    }
    return value;
}
