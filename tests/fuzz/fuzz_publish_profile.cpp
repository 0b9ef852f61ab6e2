// The JSON reader and the machine profiles read with it: what the reader accepts is strict JSON,
// so writing a UTF-8 document's value out again and reading it back gives the same value; a
// profile the reader takes has a system code in its range.
#include <cmath>
#include <cstdio>

#include "base/text.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/publish/json_value.h"
#include "tools/publish/machine_profile.h"
#include "tools/publish/output.h"

namespace {

// A plain writer of the value: JSON that any reader takes.
std::string Write(const JsonValue& v) {
    switch (v.type) {
        case JsonValue::Type::kNull:
            return "null";
        case JsonValue::Type::kBool:
            return v.boolean ? "true" : "false";
        case JsonValue::Type::kNumber: {
            char text[64];
            std::snprintf(text, sizeof text, "%.17g", v.number);
            return text;
        }
        case JsonValue::Type::kString:
            return Json(v.text);
        case JsonValue::Type::kArray: {
            std::string out = "[";
            for (std::size_t i = 0; i < v.items.size(); ++i)
                out += (i ? "," : "") + Write(v.items[i]);
            return out + "]";
        }
        case JsonValue::Type::kObject: {
            std::string out = "{";
            for (std::size_t i = 0; i < v.members.size(); ++i)
                out += (i ? "," : "") + Json(v.members[i].first) + ":" + Write(v.members[i].second);
            return out + "}";
        }
    }
    return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto value = ParseJson(text, error);
    FUZZ_CHECK(value.has_value() == error.empty());
    // Strings keep their bytes as they came; the writer makes ill-formed UTF-8 U+FFFD, so the
    // round trip holds for UTF-8 texts.
    bool utf8 = true;
    for (std::size_t at = 0; utf8 && at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        utf8 = length > 0;
        at += length;
    }
    if (value && utf8) {
        const std::string written = Write(*value);
        std::string again;
        const auto reread = ParseJson(written, again);
        // Infinity (an exponent beyond a double's range) has no JSON form of its own.
        if (written.find("inf") == std::string::npos && written.find("nan") == std::string::npos) {
            FUZZ_CHECK(reread.has_value());
            FUZZ_CHECK(Write(*reread) == written);
        }
    }
    const auto profile = ParseProfile(text, error);
    if (profile)
        FUZZ_CHECK(profile->osCode >= 0 && profile->osCode <= 1000);
    return 0;
}
