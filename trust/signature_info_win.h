// The embedded signature's content as the signer check reads it, and its three readers.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>

constexpr std::size_t kSignatureLinkChars = 512;
constexpr std::size_t kSignatureNameChars = 256;
constexpr std::size_t kSignatureSerialBytes = 128;

// Zero-filled before use; texts are cut to their fields, serials keep their most significant
// bytes (written most significant first).
struct SignatureInfo {
    wchar_t programName[kSignatureLinkChars];
    wchar_t publisherLink[kSignatureLinkChars];
    wchar_t moreInfoLink[kSignatureLinkChars];
    std::uint8_t signerSerial[kSignatureSerialBytes];
    std::uint32_t signerSerialLength;
    wchar_t signerIssuer[kSignatureNameChars];
    wchar_t signerSubject[kSignatureNameChars];
    std::uint8_t timestampSerial[kSignatureSerialBytes];
    std::uint32_t timestampSerialLength;
    wchar_t timestampIssuer[kSignatureNameChars];
    wchar_t timestampSubject[kSignatureNameChars];
};

// Where ReadCertificateNames writes: the signer's or the counter-signer's fields.
struct CertificateNames {
    std::uint8_t* serial;
    std::uint32_t* serialLength;
    wchar_t* issuer;
    wchar_t* subject;
};

// What reading a file's embedded signature gave.
enum class SignatureRead {
    kNone,        // the file carries no embedded signature at all
    kUnreadable,  // a signature is there, but its signer's names cannot be read
    kRead,        // the signer's names are read; the optional parts as far as they could be
};

// Reads the signature: the signer's certificate names must be read, the opus information and a
// counter-signer's names are optional (a failure there leaves their fields empty). Each failure
// prints its diagnostic line on standard output.
SignatureRead ReadSignatureInfo(const std::wstring& path, SignatureInfo& info);
// Each reader returns whether every step succeeded.
bool ReadOpusInfo(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, SignatureInfo& info);
bool ReadCertificateNames(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, CertificateNames names);
bool ReadTimestampSigner(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, SignatureInfo& info);
