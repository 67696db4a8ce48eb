#!/bin/sh
# Writes the install data that the sample installer puts into its install
# cache: entry 1001 says a site code follows, entry 1002 is the site code of
# the distribution the sample product comes through.
# Usage: OUT_DIR PARTNER_UNIT_ID PARTNER_ID QVDPACK_COMMAND...
# (the command may start with an emulator; paths reach it in Windows form)
set -eu
out=$1 unit=$2 partner=$3
shift 3
winpath() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
mkdir -p "$out"
code=$("$@" site-code "$unit" "$partner" | tr -d '\r')
cat >"$out/install-data.txt.tmp" <<DATA
# Install data of the sample product (made by the build).
1001 uint32 1
1002 string "$code"
DATA
mv "$out/install-data.txt.tmp" "$out/install-data.txt"
"$@" make-data "$(winpath "$out/install-data.txt")" "$(winpath "$out/install.dat")"
