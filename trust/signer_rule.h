// Which signed files the updater trusts: the signing certificate's subject must name the maker,
// and one installer is exempt. Shared by the Windows signature check and the publisher's tool.
#pragma once

#include <string>
#include <vector>

// The maker's name, searched for in the lower-cased subject of the signing certificate.
inline const wchar_t kMakersSignerText[] = L"lakemoor orvane network technology";

// The installer whose signature is not checked, compared ignoring case.
inline const wchar_t kSignatureExemptFileName[] = L"glasswispsetup.exe";

// True when the file name after the path's last backslash (a backslash at index 1 or later) is
// the exempt installer's.
bool IsSignatureExemptPath(const std::wstring& path);

// True when a lower-cased signer name names the maker.
bool IsMakersSigner(const std::wstring& lowerSigner);

// The kinds of attribute of a certificate's subject that its display name is chosen from.
enum class NameAttribute { kCommonName, kOrganizationalUnit, kOrganization, kEmail, kOther };

struct SubjectAttribute {
    NameAttribute kind = NameAttribute::kOther;
    std::wstring value;
};

// The signer name the check looks at: the simple display name that the system's certificate
// service gives a subject whose attributes come in this order (the first common name, else the
// first organizational unit, else the first organization, else the first e-mail address, else
// the first attribute's value; empty for an empty subject). The system also looks at an e-mail
// address in the subject's alternative name when the subject has none of these; such a
// certificate never names the maker, so that case is left out.
std::wstring SignerDisplayName(const std::vector<SubjectAttribute>& subject);
