// What the updater reads from a package, read natively: the product version of the version
// resource (the fixed file information's product version, "%d.%d.%d.%d"), and the subject of the
// certificate that signed the embedded Authenticode signature (OpenSSL's PKCS #7 reader). The
// signature's validity is not checked, as the updater does not check it either.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct PackageFacts {
    bool isPe = false;
    std::wstring productVersion;  // empty: no version resource
    bool signatureReadable = false;
    std::wstring signerSubject;  // the signer's display name, as the updater's signer rule takes it
};

PackageFacts ReadPackageFacts(const std::vector<unsigned char>& bytes);
