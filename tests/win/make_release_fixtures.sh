#!/usr/bin/env bash
# Signatures for the Windows test program's check of the system's cryptography, made with the
# build's throwaway release keys: a body, its signatures by the first and the second key, the
# two public keys as the build takes them (DER), the first key's id and a public key cut short. Usage: make_release_fixtures.sh KEYS_DIR OUT_DIR
set -euo pipefail
keys=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
printf 'tallix-release-index 1\nrelease 1\nexpires 2030-01-01T00:00:00Z\n' >"$out/body.txt"
for name in first second; do
  openssl dgst -sha256 -sign "$keys/$name.key" -out "$out/$name.sig" "$out/body.txt"
done
for name in first second; do
  openssl pkey -pubin -in "$keys/$name.pub" -outform DER -out "$out/$name.der"
done
sha256sum "$out/first.der" | cut -c1-16 | tr -d '\n' >"$out/first.id"
head -c 200 "$out/first.der" >"$out/short.der"
echo "release fixtures in $out"
