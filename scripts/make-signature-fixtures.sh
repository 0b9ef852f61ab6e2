#!/usr/bin/env bash
# Makes the signed test programs for the signer check: two throwaway self-signed certificates
# (one in the maker's name, one of another company), made fresh with openssl for every test run
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
    -subj "/CN=$2" >/dev/null 2>&1
}
sign() {  # certificate in out
  osslsigncode sign -certs "$1.crt" -key "$1.key" -n "Test program" -i "http://127.0.0.1/" \
    -in "$2" -out "$3" >/dev/null
}

certificate maker "LAKEMOOR ORVANE NETWORK TECHNOLOGY CO., LTD. TEST UNIT"
certificate branch "Beijing Lakemoor Orvane Network Technology Branch"
certificate other "Fabrikam Utility Software Ltd"
cp "$unsigned" unsigned.exe
sign maker unsigned.exe maker.exe
sign branch unsigned.exe branch.exe
sign other unsigned.exe other.exe
# The exempt installer's name in mixed case, signed by the other company.
cp other.exe GlassWispSetup.exe
rm -f maker.key branch.key other.key
echo "signature fixtures in $out"
