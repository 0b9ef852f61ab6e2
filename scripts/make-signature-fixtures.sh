#!/usr/bin/env bash
# Makes the signed test programs for the signer check: throwaway self-signed certificates (in
# the maker's name, the maker's as a unit or company of the subject, and another company's), made fresh with openssl for every test run
# and never kept in the repository, and copies of an unsigned stub program signed with each by
# osslsigncode. Usage: scripts/make-signature-fixtures.sh OUT_DIR UNSIGNED_EXE
set -euo pipefail
out=$1
unsigned=$(realpath "$2")
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
# Without a common name the signer is named by its unit, ahead of its company; then its company.
certificate unit "/O=Fabrikam Utility Software Ltd/OU=Lakemoor Orvane Network Technology Unit"
certificate company "/C=CN/O=Lakemoor Orvane Network Technology Co."
cp "$unsigned" unsigned.exe
for name in maker branch other unit company; do
  sign $name unsigned.exe $name.exe
done
# The exempt installer's name in mixed case, signed by the other company.
cp other.exe GlassWispSetup.exe
rm -f ./*.key
echo "signature fixtures in $out"
