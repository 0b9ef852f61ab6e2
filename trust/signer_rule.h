// Which signed files the updater trusts: the signing certificate's subject must name the maker,
// and one installer is exempt. Shared by the Windows signature check and the publisher's tool.
#pragma once

#include <string>

// The maker's name, searched for in the lower-cased subject of the signing certificate.
inline const wchar_t kMakersSignerText[] = L"lakemoor orvane network technology";

// The installer whose signature is not checked, compared ignoring case.
inline const wchar_t kSignatureExemptFileName[] = L"glasswispsetup.exe";

// True when the file name after the path's last backslash (a backslash at index 1 or later) is
// the exempt installer's.
bool IsSignatureExemptPath(const std::wstring& path);

// True when a lower-cased signer name names the maker.
bool IsMakersSigner(const std::wstring& lowerSigner);
