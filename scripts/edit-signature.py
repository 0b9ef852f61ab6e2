#!/usr/bin/env python3
"""Damages the embedded Authenticode signature of a signed program in one chosen way, for the
signer check's test programs (scripts/make-signature-fixtures.sh). The signature is not valid
afterwards, which the updater does not check: it reads the signature's parts only.

Usage: edit-signature.py EDIT IN.exe OUT.exe, where EDIT is one of
    drop-certificates   the signature without its set of certificates
    drop-opus           without the program-name attribute (1.3.6.1.4.1.311.2.1.12)
    break-opus          that attribute with a value that does not decode
    break-timestamp     with a counter-signature attribute (1.2.840.113549.1.9.6) that does not
                        decode
    break-table         the certificate table's bytes overwritten, so that no signature parses
"""
import struct
import sys

OPUS = bytes.fromhex("060a2b0601040182370201" "0c")
COUNTER_SIGNATURE = bytes.fromhex("06092a864886f70d010906")
NOT_A_STRUCTURE = bytes.fromhex("040100")  # an OCTET STRING where a SEQUENCE belongs


def parse(data):
    """DER elements of `data` as [tag, children or bytes]; constructed ones are parsed."""
    elements, at = [], 0
    while at < len(data):
        tag, length = data[at], data[at + 1]
        at += 2
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(data[at:at + count], "big")
            at += count
        content = data[at:at + length]
        at += length
        elements.append([tag, parse(content) if tag & 0x20 else content])
    return elements


def first_element(data):
    """The first DER element of `data`, without the padding that follows it."""
    length, at = data[1], 2
    if length & 0x80:
        at += length & 0x7F
        length = int.from_bytes(data[2:at], "big")
    return data[:at + length]


def encode(elements):
    out = b""
    for tag, content in elements:
        body = encode(content) if isinstance(content, list) else content
        size = len(body)
        if size < 0x80:
            length = bytes([size])
        else:
            digits = size.to_bytes((size.bit_length() + 7) // 8, "big")
            length = bytes([0x80 | len(digits)]) + digits
        out += bytes([tag]) + length + body
    return out


def signer_info(signed_data):
    signer_infos = signed_data[-1]
    return signer_infos[1][0][1]


def edit_signature(kind, pkcs7):
    content_info = parse(pkcs7)
    signed_data = content_info[0][1][1][1][0][1]
    if kind == "drop-certificates":
        signed_data[:] = [e for e in signed_data if e[0] != 0xA0]
    elif kind in ("drop-opus", "break-opus"):
        attributes = next(e for e in signer_info(signed_data) if e[0] == 0xA0)[1]
        for attribute in list(attributes):
            if encode([attribute[1][0]]) == OPUS:
                if kind == "drop-opus":
                    attributes.remove(attribute)
                else:
                    attribute[1][1][1] = parse(NOT_A_STRUCTURE)
    elif kind == "break-timestamp":
        info = signer_info(signed_data)
        info.append([0xA1, parse(encode([[0x30, parse(COUNTER_SIGNATURE) +
                                           [[0x31, parse(NOT_A_STRUCTURE)]]]]))])
    else:
        raise SystemExit("unknown edit " + kind)
    return encode(content_info)


def main():
    kind, source, target = sys.argv[1:4]
    image = bytearray(open(source, "rb").read())
    header = struct.unpack_from("<I", image, 0x3C)[0]
    magic = struct.unpack_from("<H", image, header + 24)[0]
    entry = header + 24 + (96 if magic == 0x10B else 112) + 4 * 8
    offset, size = struct.unpack_from("<II", image, entry)
    length, revision, cert_type = struct.unpack_from("<IHH", image, offset)
    pkcs7 = bytes(image[offset + 8:offset + length])
    if kind == "break-table":
        pkcs7 = b"\xff" * len(pkcs7)
    else:
        pkcs7 = edit_signature(kind, first_element(pkcs7))
    table = struct.pack("<IHH", 8 + len(pkcs7), revision, cert_type) + pkcs7
    table += b"\0" * (-len(table) % 8)
    image = image[:offset] + table
    struct.pack_into("<II", image, entry, offset, len(table))
    open(target, "wb").write(image)


if __name__ == "__main__":
    main()
