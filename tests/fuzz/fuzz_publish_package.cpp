// The package reader on any bytes a release folder could hold: no crash, nothing read from what
// is no Windows program, and a version read from a version resource is always four plain numbers
// (the form the updater compares installed versions in).
#include "tests/fuzz/fuzz_support.h"
#include "tools/publish/lint.h"
#include "tools/publish/pe_package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PackageFacts facts = ReadPackageFacts(std::vector<unsigned char>(data, data + size));
    if (!facts.isPe)
        FUZZ_CHECK(facts.productVersion.empty() && !facts.signatureReadable);
    if (!facts.productVersion.empty())
        FUZZ_CHECK(IsFourPartVersion(facts.productVersion));
    if (!facts.signatureReadable)
        FUZZ_CHECK(facts.signerSubject.empty());
    return 0;
}
