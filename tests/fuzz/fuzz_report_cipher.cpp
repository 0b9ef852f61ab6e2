// The report cipher's hexadecimal decryption: any text either is refused or decrypts to bytes
// that encrypt back to the start of the same text (upper-cased); and any bytes encrypt to a text
// that decrypts to them, less trailing zero bytes.
#include "report/report_cipher.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto plain = DecryptReportHex(text)) {
        FUZZ_CHECK(size % 16 == 0);
        FUZZ_CHECK(plain->empty() || plain->back() != '\0');
        std::string upper = text;
        for (char& c : upper) {
            c = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 32) : c;
        }
        const std::string again = fuzz::Narrow(EncryptReportBytes(*plain));
        FUZZ_CHECK(upper.compare(0, again.size(), again) == 0);
    }
    std::string bytes = text;
    const auto back = DecryptReportHex(fuzz::Narrow(EncryptReportBytes(bytes)));
    while (!bytes.empty() && bytes.back() == '\0') {
        bytes.pop_back();
    }
    FUZZ_CHECK(back && *back == bytes);
    return 0;
}
