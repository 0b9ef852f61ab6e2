// The headers of a downloaded program, read before its version or signer is believed: any bytes
// are judged without reading past them, a file judged whole reaches no further than its end, and
// a file whose every byte was read never leaves its certificate table unknown.
#include "tests/fuzz/fuzz_support.h"
#include "trust/certificate_table.h"
#include "trust/image_extent.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that a read past them is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::uint8_t* at = bytes.empty() ? nullptr : bytes.data();

    const ImageWholeness verdict = JudgeImage(at, size, size);
    const std::uint64_t extent = ImageExtent(at, size);
    FUZZ_CHECK((verdict == ImageWholeness::kNotAnImage) == (extent == 0));
    FUZZ_CHECK(verdict != ImageWholeness::kWhole || extent <= size);
    // Fewer bytes than the file holds: a whole verdict needs every described byte to be there.
    if (size > 1 && JudgeImage(at, size / 2, size) == ImageWholeness::kWhole) {
        FUZZ_CHECK(ImageExtent(at, size / 2) <= size);
    }

    FUZZ_CHECK(CertificateTableOf(at, size, size) != CertificateTable::kUnknown);
    // The same start of a longer file may leave it unknown, never the other way round.
    const CertificateTable longer = CertificateTableOf(at, size, size + 4096);
    const CertificateTable exact = CertificateTableOf(at, size, size);
    FUZZ_CHECK(longer == exact || longer == CertificateTable::kUnknown);
    return 0;
}
