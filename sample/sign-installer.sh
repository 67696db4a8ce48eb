#!/bin/sh
# Signs an installer with one certificate of the test PKI. Unlike the test
# fixtures it is not stripped first: stripping rewrites the file and would lose
# an installer's data. Usage: PKI_DIR CERT_NAME DESCRIPTION IN OUT
set -eu
pki=$1 cert=$2 description=$3 in=$4 out=$5
rm -f "$out"
osslsigncode sign -certs "$pki/$cert-chain.pem" -key "$pki/$cert.key" -n "$description" \
    -in "$in" -out "$out" >/dev/null
