// The check of a file's embedded Authenticode signer against the maker's name.
#pragma once

#include <string>

// True when the file is accepted: the exempt installer, a file without a readable embedded
// signature, or one whose signing certificate names the maker. `signer` is changed only when the
// signature could be read; it then holds the lower-cased subject name of the signing certificate.
bool VerifyPackageSignature(std::wstring path, std::wstring& signer);
