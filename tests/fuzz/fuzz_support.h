// What the fuzz targets share: the fuzzer's bytes read as the inputs of the parsers, and a check
// that stops the run with the property that failed, so that the fuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// Each byte one character (Latin-1), the way a byte-wide text reaches the wide-string parsers.
inline std::wstring Widen(const std::string& bytes) {
    std::wstring text;
    for (unsigned char c : bytes) {
        text += static_cast<wchar_t>(c);
    }
    return text;
}

inline std::string Narrow(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c);
    }
    return bytes;
}

// Cuts the input into pieces at each '\n', so that a target taking several texts gets them from
// one readable seed file; a missing piece is empty.
class Pieces {
  public:
    Pieces(const std::uint8_t* data, std::size_t size)
        : text_(reinterpret_cast<const char*>(data), size) {}

    std::string Next() {
        if (at_ > text_.size()) {
            return std::string();
        }
        std::size_t end = text_.find('\n', at_);
        if (end == std::string::npos) {
            end = text_.size();
        }
        std::string piece = text_.substr(at_, end - at_);
        at_ = end + 1;
        return piece;
    }
    // What is left, newlines and all.
    std::string Rest() {
        std::string rest = at_ < text_.size() ? text_.substr(at_) : std::string();
        at_ = text_.size() + 1;
        return rest;
    }

  private:
    std::string text_;
    std::size_t at_ = 0;
};

inline bool IsAsciiUpper(wchar_t c) {
    return c >= L'A' && c <= L'Z';
}

}  // namespace fuzz
