#!/bin/sh
# A signed installer of the given size for the trust benchmark: the fake
# installer, stripped, with zeros behind its sections up to the size, signed
# by the maker certificate of the test PKI (the signature's digest covers all
# of it, so the platform hashes every byte).
# Usage: PKI_DIR IN SIZE_MIB OUT
set -eu
pki=$1 in=$2 mib=$3 out=$4
tmp="$out.unsigned"
rm -f "$out"
x86_64-w64-mingw32-strip -o "$tmp" "$in"
truncate -s "${mib}M" "$tmp"
osslsigncode sign -certs "$pki/maker-chain.pem" -key "$pki/maker.key" -n "Large test installer" \
    -in "$tmp" -out "$out" >/dev/null
rm -f "$tmp"
