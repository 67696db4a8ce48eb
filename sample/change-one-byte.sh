#!/bin/sh
# Copies a file with the byte in its middle changed (its lowest bit flipped):
# inside a signed installer's image, so the signature no longer matches.
# Usage: IN OUT
set -eu
in=$1 out=$2
size=$(stat -c %s "$in")
middle=$((size / 2))
old=$(od -An -tu1 -j "$middle" -N1 "$in" | tr -d ' ')
cp "$in" "$out.tmp"
printf '%b' "\\0$(printf '%03o' $((old ^ 1)))" | dd of="$out.tmp" bs=1 seek="$middle" conv=notrunc status=none
mv "$out.tmp" "$out"
