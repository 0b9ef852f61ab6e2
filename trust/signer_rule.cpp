#include "trust/signer_rule.h"

#include "base/text.h"

bool IsSignatureExemptPath(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    return slash != std::wstring::npos && slash >= 1 &&
           EqualsNoCase(path.substr(slash + 1), kSignatureExemptFileName);
}

bool IsMakersSigner(const std::wstring& lowerSigner) {
    return Contains(lowerSigner, kMakersSignerText);
}

std::wstring SignerDisplayName(const std::vector<SubjectAttribute>& subject) {
    for (const NameAttribute kind : {NameAttribute::kCommonName, NameAttribute::kOrganizationalUnit,
                                     NameAttribute::kOrganization, NameAttribute::kEmail}) {
        for (const SubjectAttribute& attribute : subject) {
            if (attribute.kind == kind) {
                return attribute.value;
            }
        }
    }
    return subject.empty() ? std::wstring() : subject.front().value;
}
