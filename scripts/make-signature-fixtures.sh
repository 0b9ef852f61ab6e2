#!/usr/bin/env bash
# Makes the signed test programs for the signer check: throwaway self-signed certificates (in the
# maker's name, the maker's as a unit or company of the subject, with the maker's text inside a
# longer word, and of another company), made fresh with openssl for every test run and never kept
# in the repository, copies of an unsigned stub program signed with each by osslsigncode (without
# a timestamp), and copies whose signature is damaged in one part each (scripts/edit-signature.py).
# Usage: scripts/make-signature-fixtures.sh OUT_DIR UNSIGNED_EXE
set -euo pipefail
out=$1
unsigned=$(realpath "$2")
edit="$(cd "$(dirname "$0")" && pwd)/edit-signature.py"
rm -rf "$out"
mkdir -p "$out"
cd "$out"

certificate() {  # name subject
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$1.key" -out "$1.crt" \
    -subj "$2" >/dev/null 2>&1
}
sign() {  # certificate in out
  osslsigncode sign -certs "$1.crt" -key "$1.key" -n "Test program" -i "http://127.0.0.1/" \
    -in "$2" -out "$3" >/dev/null
}

certificate maker "/CN=LAKEMOOR ORVANE NETWORK TECHNOLOGY CO., LTD. TEST UNIT"
certificate branch "/CN=Beijing Lakemoor Orvane Network Technology Branch"
certificate other "/CN=Fabrikam Utility Software Ltd"
certificate inword "/CN=xlakemoor orvane network technologyx"
# Without a common name the signer is named by its unit, ahead of its company; then its company.
certificate unit "/O=Fabrikam Utility Software Ltd/OU=Lakemoor Orvane Network Technology Unit"
certificate company "/C=CN/O=Lakemoor Orvane Network Technology Co."
cp "$unsigned" unsigned.exe
for name in maker branch other inword unit company; do
  sign $name unsigned.exe $name.exe
done
# The exempt installer's name in mixed case, signed by the other company.
cp other.exe GlassWispSetup.exe
# Optional parts missing or unreadable, the signer's name still readable.
for damage in drop-opus break-opus break-timestamp; do
  python3 "$edit" "$damage" maker.exe "maker-$damage.exe"
done
python3 "$edit" break-opus other.exe other-break-opus.exe
# A signature present whose signer cannot be read.
python3 "$edit" drop-certificates maker.exe maker-drop-certificates.exe
python3 "$edit" break-table maker.exe maker-break-table.exe
rm -f ./*.key
echo "signature fixtures in $out"
