// The signer check on CryptoAPI: the embedded PKCS #7 signature of a file is read (its opus
// information, the signing certificate's names and serial, and a counter-signer's), and the
// signing certificate's subject must name the maker. The trust provider is not asked whether the
// signature is valid. Failures print one diagnostic line on standard output and nothing else.
// A file without any embedded signature is accepted; one whose signature is there but whose
// signer cannot be read is refused.
#include "trust/signature_win.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <memory>

#include "base/text.h"
#include "base/unique_handle_win.h"
#include "trust/certificate_table.h"
#include "trust/signature_info_win.h"
#include "trust/signer_rule.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct LocalFreeDeleter {
    void operator()(void* block) const { LocalFree(block); }
};
template <typename T>
using LocalBlock = std::unique_ptr<T, LocalFreeDeleter>;

struct CertStoreCloser {
    void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct CryptMsgCloser {
    void operator()(HCRYPTMSG message) const { CryptMsgClose(message); }
};
struct CertContextFreer {
    void operator()(PCCERT_CONTEXT context) const { CertFreeCertificateContext(context); }
};

// "<call> faild with <error in lower-case hex>", the line printf's "%x" would give, written
// without the C library's formatter (which would be linked in for these lines alone).
void Report(const char* call) {
    unsigned error = static_cast<unsigned>(GetLastError());
    char hex[9];
    char* start = hex + sizeof hex - 1;
    *start = '\0';
    do {
        *--start = "0123456789abcdef"[error % 16];
        error /= 16;
    } while (error != 0);
    std::fputs(call, stdout);
    std::fputs(" faild with ", stdout);
    std::fputs(start, stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

// Copies at most `capacity` - 1 characters and a terminator.
void CopyText(const wchar_t* text, wchar_t* field, std::size_t capacity) {
    if (text != nullptr) {
        lstrcpynW(field, text, static_cast<int>(capacity));
    }
}

// Decodes the first value of an attribute into a LocalAlloc block (null after a failure that was
// reported).
template <typename T>
LocalBlock<T> DecodeAttribute(const CRYPT_ATTRIBUTE& attribute, LPCSTR structType) {
    if (attribute.cValue == 0) {
        return nullptr;
    }
    const CRYPT_ATTR_BLOB& value = attribute.rgValue[0];
    DWORD size = 0;
    if (!CryptDecodeObject(kEncoding, structType, value.pbData, value.cbData, 0, nullptr, &size)) {
        Report("CryptDecodeObject");
        return nullptr;
    }
    LocalBlock<T> block(static_cast<T*>(LocalAlloc(LPTR, size)));
    if (!block) {
        Report("LocalAlloc");
        return nullptr;
    }
    if (!CryptDecodeObject(kEncoding, structType, value.pbData, value.cbData, 0, block.get(),
                           &size)) {
        Report("CryptDecodeObject");
        return nullptr;
    }
    return block;
}

void CopyLink(const SPC_LINK* link, wchar_t* field) {
    if (link == nullptr) {
        return;
    }
    if (link->dwLinkChoice == SPC_URL_LINK_CHOICE) {
        CopyText(link->pwszUrl, field, kSignatureLinkChars);
    } else if (link->dwLinkChoice == SPC_FILE_LINK_CHOICE) {
        CopyText(link->pwszFile, field, kSignatureLinkChars);
    }
}

// Reads one name of a certificate; false (reported) when it cannot be read. Names longer than
// the field are cut to it.
bool ReadName(PCCERT_CONTEXT certificate, DWORD flags, wchar_t* field, std::size_t capacity) {
    const DWORD length =
        CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
    if (length == 0) {
        Report("CertGetNameString");
        return false;
    }
    std::unique_ptr<wchar_t[]> name(new wchar_t[length]());
    if (CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, name.get(),
                           length) == 0) {
        Report("CertGetNameString");
        return false;
    }
    CopyText(name.get(), field, capacity);
    return true;
}

// Whether the program names a certificate table in its headers (a table whose headers cannot be
// read within their first bytes counts as one). A file that is not there carries none; one that
// is there but cannot be read (locked, denied) may carry one, and so is not taken as unsigned.
bool CarriesSignature(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    LARGE_INTEGER size = {};
    std::uint8_t header[kCertificateHeaderBytes];
    DWORD read = 0;
    if (!GetFileSizeEx(file.Get(), &size) ||
        !ReadFile(file.Get(), header, sizeof header, &read, nullptr)) {
        return true;
    }
    return CertificateTableOf(header, read, static_cast<std::uint64_t>(size.QuadPart)) !=
           CertificateTable::kNone;
}

}  // namespace

bool ReadOpusInfo(HCERTSTORE, const CMSG_SIGNER_INFO& signer, SignatureInfo& info) {
    for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
        if (lstrcmpA(attribute.pszObjId, SPC_SP_OPUS_INFO_OBJID) != 0) {
            continue;
        }
        LocalBlock<SPC_SP_OPUS_INFO> opus =
            DecodeAttribute<SPC_SP_OPUS_INFO>(attribute, SPC_SP_OPUS_INFO_OBJID);
        if (!opus) {
            return false;
        }
        CopyText(opus->pwszProgramName, info.programName, kSignatureLinkChars);
        CopyLink(opus->pPublisherInfo, info.publisherLink);
        CopyLink(opus->pMoreInfo, info.moreInfoLink);
    }
    return true;
}

bool ReadCertificateNames(HCERTSTORE store, const CMSG_SIGNER_INFO& signer,
                          CertificateNames names) {
    CERT_INFO wanted = {};
    wanted.Issuer = signer.Issuer;
    wanted.SerialNumber = signer.SerialNumber;
    std::unique_ptr<const CERT_CONTEXT, CertContextFreer> certificate(
        CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
    if (!certificate) {
        Report("CertFindCertificateInStore");
        return false;
    }
    // Stored least significant byte first; serials longer than the field keep their most
    // significant bytes.
    const CRYPT_INTEGER_BLOB& serial = certificate->pCertInfo->SerialNumber;
    const DWORD length =
        serial.cbData < kSignatureSerialBytes ? serial.cbData : kSignatureSerialBytes;
    for (DWORD i = 0; i < length; ++i) {
        names.serial[i] = serial.pbData[serial.cbData - 1 - i];
    }
    *names.serialLength = length;
    return ReadName(certificate.get(), CERT_NAME_ISSUER_FLAG, names.issuer, kSignatureNameChars) &&
           ReadName(certificate.get(), 0, names.subject, kSignatureNameChars);
}

bool ReadTimestampSigner(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, SignatureInfo& info) {
    for (DWORD i = 0; i < signer.UnauthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = signer.UnauthAttrs.rgAttr[i];
        if (lstrcmpA(attribute.pszObjId, szOID_RSA_counterSign) != 0) {
            continue;
        }
        LocalBlock<CMSG_SIGNER_INFO> counterSigner =
            DecodeAttribute<CMSG_SIGNER_INFO>(attribute, PKCS7_SIGNER_INFO);
        if (!counterSigner) {
            return false;
        }
        ReadCertificateNames(store, *counterSigner,
                             {info.timestampSerial, &info.timestampSerialLength,
                              info.timestampIssuer, info.timestampSubject});
    }
    return true;
}

SignatureRead ReadSignatureInfo(const std::wstring& path, SignatureInfo& info) {
    wchar_t file[MAX_PATH] = {};
    lstrcpynW(file, path.c_str(), MAX_PATH);
    DWORD encodingType = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    HCERTSTORE rawStore = nullptr;
    HCRYPTMSG rawMessage = nullptr;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, file, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encodingType, &contentType,
                          &formatType, &rawStore, &rawMessage, nullptr)) {
        Report("CryptQueryObject");
        // A malformed certificate table fails here just as a file without one does: the
        // program's own headers tell the two apart.
        return CarriesSignature(path) ? SignatureRead::kUnreadable : SignatureRead::kNone;
    }
    std::unique_ptr<void, CertStoreCloser> store(rawStore);
    std::unique_ptr<void, CryptMsgCloser> message(rawMessage);

    DWORD size = 0;
    if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) {
        Report("CryptMsgGetParam");
        return SignatureRead::kUnreadable;
    }
    LocalBlock<CMSG_SIGNER_INFO> signer(static_cast<CMSG_SIGNER_INFO*>(LocalAlloc(LPTR, size)));
    if (!signer) {
        Report("LocalAlloc");
        return SignatureRead::kUnreadable;
    }
    if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, signer.get(), &size)) {
        Report("CryptMsgGetParam");
        return SignatureRead::kUnreadable;
    }
    // Only the signer's names decide; the opus information and the counter-signer are read for
    // the record, and a failure there (reported) costs nothing but their fields.
    ReadOpusInfo(store.get(), *signer, info);
    const bool named = ReadCertificateNames(
        store.get(), *signer,
        {info.signerSerial, &info.signerSerialLength, info.signerIssuer, info.signerSubject});
    ReadTimestampSigner(store.get(), *signer, info);
    return named ? SignatureRead::kRead : SignatureRead::kUnreadable;
}

bool VerifyPackageSignature(std::wstring path, std::wstring& signer) {
    if (IsSignatureExemptPath(path)) {
        return true;
    }
    std::unique_ptr<SignatureInfo> info(new SignatureInfo());
    switch (ReadSignatureInfo(path, *info)) {
        case SignatureRead::kNone:
            return true;  // no embedded signature at all: accepted
        case SignatureRead::kUnreadable:
            // Fails closed: a foreign signer would otherwise only have to break one part of its
            // signature to pass. Refused like another company's file; the signer is not known.
            return false;
        case SignatureRead::kRead:
            break;
    }
    signer = ToLowerAscii(info->signerSubject);
    return IsMakersSigner(signer);
}
