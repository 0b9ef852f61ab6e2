// The check of a file's embedded Authenticode signer against the maker's name.
#pragma once

#include <string>

// True when the file is accepted: the exempt installer, a file without any embedded signature,
// or one whose signing certificate names the maker (missing or unreadable optional parts, the
// opus information and a timestamp, do not matter). A signature that is there but whose
// signer's names cannot be read (a malformed certificate table, a missing certificate set) is
// refused. `signer` is changed only when the signer's names could be read; it then holds the
// lower-cased subject name of the signing certificate.
bool VerifyPackageSignature(std::wstring path, std::wstring& signer);
