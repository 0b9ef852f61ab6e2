#include "tools/publish/pe_package.h"

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>

#include "manifest/version.h"
#include "trust/certificate_table.h"
#include "trust/pe_fields.h"
#include "trust/signer_rule.h"
#include "tools/publish/xml_view.h"

namespace {

// Little-endian reads that fail (nullopt) beyond the end of the bytes.
struct Bytes {
    const std::vector<unsigned char>& b;
    std::optional<std::uint32_t> U32(std::size_t at) const {
        if (at + 4 > b.size() || at + 4 < at)
            return std::nullopt;
        return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
               (static_cast<std::uint32_t>(b[at + 3]) << 24);
    }
    std::optional<std::uint16_t> U16(std::size_t at) const {
        if (at + 2 > b.size() || at + 2 < at)
            return std::nullopt;
        return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
    }
};

struct Section {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
};

struct PeLayout {
    std::vector<Section> sections;
    std::uint32_t resourceRva = 0;
    std::uint32_t securityOffset = 0;  // a file offset, not an RVA
    std::uint32_t securitySize = 0;
};

std::optional<PeLayout> ReadLayout(const Bytes& in) {
    if (in.b.size() < 64 || in.b[0] != 'M' || in.b[1] != 'Z')
        return std::nullopt;
    const auto pe = in.U32(kPeHeaderOffsetAt);
    if (!pe || in.U32(*pe) != 0x00004550u)
        return std::nullopt;
    const auto sectionCount = in.U16(*pe + 6);
    const auto optionalSize = in.U16(*pe + 20);
    const auto magic = in.U16(*pe + 24);
    if (!sectionCount || !optionalSize || !magic)
        return std::nullopt;
    const std::uint64_t countAt = DirectoryCountAt(*pe + kPeFileHeaderBytes, *magic);
    if (countAt == 0)
        return std::nullopt;
    const std::size_t directories = countAt + 4;
    const std::size_t security = SecurityEntryAt(countAt);
    PeLayout layout;
    layout.resourceRva = in.U32(directories + 2 * 8).value_or(0);
    // The signature is read only where the updater's own rule sees a certificate table (an
    // image with too few data directories has none, whatever its fifth entry holds).
    if (CertificateTableOf(in.b.data(), in.b.size(), in.b.size()) == CertificateTable::kPresent) {
        layout.securityOffset = in.U32(security).value_or(0);
        layout.securitySize = in.U32(security + 4).value_or(0);
    }
    const std::size_t table = *pe + kPeFileHeaderBytes + *optionalSize;
    for (std::size_t i = 0; i < *sectionCount; ++i) {
        const std::size_t at = table + i * 40;
        const auto virtualSize = in.U32(at + 8);
        const auto rva = in.U32(at + 12);
        const auto rawSize = in.U32(at + 16);
        const auto raw = in.U32(at + 20);
        if (!virtualSize || !rva || !rawSize || !raw)
            return std::nullopt;
        layout.sections.push_back({*rva, std::max(*virtualSize, *rawSize), *raw});
    }
    return layout;
}

std::optional<std::size_t> OffsetOf(const PeLayout& layout, std::uint32_t rva) {
    for (const Section& s : layout.sections) {
        if (rva >= s.rva && rva - s.rva < s.size)
            return s.offset + (rva - s.rva);
    }
    return std::nullopt;
}

// The product version from the first RT_VERSION resource's fixed file information.
std::wstring ProductVersion(const Bytes& in, const PeLayout& layout) {
    const auto root = OffsetOf(layout, layout.resourceRva);
    if (!root || layout.resourceRva == 0)
        return L"";
    // Resource directories: type (16 = RT_VERSION), then the first name, then the first language.
    std::size_t dir = *root;
    for (int level = 0; level < 3; ++level) {
        const auto named = in.U16(dir + 12);
        const auto ids = in.U16(dir + 14);
        if (!named || !ids)
            return L"";
        std::optional<std::uint32_t> target;
        for (std::size_t i = 0; i < std::size_t(*named) + *ids && i < 4096; ++i) {
            const auto id = in.U32(dir + 16 + i * 8);
            const auto to = in.U32(dir + 20 + i * 8);
            if (!id || !to)
                return L"";
            if (level > 0 || *id == 16) {
                target = *to;
                break;
            }
        }
        if (!target)
            return L"";
        const std::size_t next = *root + (*target & 0x7FFFFFFFu);
        if (level < 2) {
            if ((*target & 0x80000000u) == 0)
                return L"";
            dir = next;
        } else {
            const auto dataRva = in.U32(next);
            const auto dataSize = in.U32(next + 4);
            if (!dataRva || !dataSize)
                return L"";
            const auto data = OffsetOf(layout, *dataRva);
            if (!data)
                return L"";
            for (std::size_t at = *data; at + 52 <= *data + *dataSize && at + 52 <= in.b.size();
                 at += 4) {
                if (in.U32(at) == 0xFEEF04BDu) {
                    return FormatVersion(*in.U32(at + 16), *in.U32(at + 20));
                }
            }
        }
    }
    return L"";
}

// The subject's attributes in their order, as the updater's signer rule takes them.
std::vector<SubjectAttribute> SubjectOf(X509_NAME* name) {
    std::vector<SubjectAttribute> subject;
    for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
        X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        const int nid = OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry));
        SubjectAttribute attribute;
        attribute.kind = nid == NID_commonName               ? NameAttribute::kCommonName
                         : nid == NID_organizationalUnitName ? NameAttribute::kOrganizationalUnit
                         : nid == NID_organizationName       ? NameAttribute::kOrganization
                         : nid == NID_pkcs9_emailAddress     ? NameAttribute::kEmail
                                                             : NameAttribute::kOther;
        unsigned char* utf8 = nullptr;
        const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
        if (length >= 0) {
            attribute.value = Utf8ToUtf16(std::string(reinterpret_cast<char*>(utf8), length));
            OPENSSL_free(utf8);
        }
        subject.push_back(std::move(attribute));
    }
    return subject;
}

void ReadSigner(const Bytes& in, const PeLayout& layout, PackageFacts& facts) {
    // WIN_CERTIFICATE: length, revision, type 2 (PKCS #7 signed data), then the DER bytes.
    const std::size_t at = layout.securityOffset;
    const auto length = in.U32(at);
    const auto type = in.U16(at + 6);
    if (at == 0 || !length || !type || *type != 2 || *length < 8 || at + *length > in.b.size())
        return;
    const unsigned char* der = in.b.data() + at + 8;
    std::unique_ptr<PKCS7, decltype(&PKCS7_free)> p7(d2i_PKCS7(nullptr, &der, *length - 8),
                                                     PKCS7_free);
    if (!p7 || !PKCS7_type_is_signed(p7.get()))
        return;
    STACK_OF(X509)* signers = PKCS7_get0_signers(p7.get(), nullptr, 0);
    if (signers == nullptr || sk_X509_num(signers) < 1) {
        sk_X509_free(signers);
        return;
    }
    facts.signerSubject =
        SignerDisplayName(SubjectOf(X509_get_subject_name(sk_X509_value(signers, 0))));
    facts.signatureReadable = true;
    sk_X509_free(signers);
}

}  // namespace

PackageFacts ReadPackageFacts(const std::vector<unsigned char>& bytes) {
    PackageFacts facts;
    const Bytes in{bytes};
    const auto layout = ReadLayout(in);
    if (!layout)
        return facts;
    facts.isPe = true;
    facts.productVersion = ProductVersion(in, *layout);
    ReadSigner(in, *layout, facts);
    return facts;
}
