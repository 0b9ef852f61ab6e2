// The release index of the build with release keys: any bytes are read or refused without harm,
// an index that is read is written back byte for byte (one written form for each index), its
// judgement never takes fewer signatures than the threshold, and the index's names of URLs and
// times read back the same.
#include "tests/fuzz/fuzz_support.h"
#include "trust/release_index.h"
#include "trust/release_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<ReleaseIndex> index = ParseReleaseIndex(data, size);
    if (index) {
        std::string written = FormatReleaseIndexBody(*index);
        FUZZ_CHECK(written.size() == index->signedLength);
        for (const IndexSignature& signature : index->signatures) {
            written += FormatSignatureLine(signature);
        }
        FUZZ_CHECK(written == std::string(reinterpret_cast<const char*>(data), size));
    }

    // Keys named after the first two signatures; a signature is good when its first byte is odd.
    IndexTrust trust;
    trust.threshold = 2;
    if (index) {
        for (std::size_t i = 0; i < index->signatures.size() && i < 2; ++i) {
            trust.keyIds.push_back(index->signatures[i].keyId);
        }
    }
    struct Input {
        const std::uint8_t* data;
        std::size_t size;
        std::size_t keys;
    } input{data, size, trust.keyIds.size()};
    trust.check = [](const void* context, std::size_t key, const unsigned char* body,
                     std::size_t bodySize, const std::vector<std::uint8_t>& signature) {
        const Input& in = *static_cast<const Input*>(context);
        FUZZ_CHECK(key < in.keys && body == in.data && bodySize <= in.size);
        return !signature.empty() && (signature[0] & 1) != 0;
    };
    trust.context = &input;
    trust.now = size > 0 ? static_cast<std::int64_t>(data[0]) << 30 : 0;
    trust.lastRelease = size > 1 ? data[1] : 0;
    const IndexAssessment a = AssessReleaseIndex(data, size, trust);
    FUZZ_CHECK((a.verdict == IndexVerdict::kMalformed) == !index.has_value());
    FUZZ_CHECK(a.verdict != IndexVerdict::kAccepted || a.goodKeys >= trust.threshold);
    FUZZ_CHECK(a.signatures.size() == (index ? index->signatures.size() : 0));

    fuzz::Pieces pieces(data, size);
    const std::string path = IndexPathOfUrl(fuzz::Widen(pieces.Next()));
    FUZZ_CHECK(path.empty() || path[0] == '/');
    const std::string time = pieces.Next();
    if (const std::optional<std::int64_t> seconds = ParseIndexTime(time)) {
        FUZZ_CHECK(FormatIndexTime(*seconds) == time);
    }
    return 0;
}
