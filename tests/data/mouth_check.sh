#!/bin/sh
# Speaks the test sentences with espeak-ng (Hungarian and English, 48 kHz mono float, with
# digital silence around), turns them into FAPs with zarvo-fap and measures the mouth of the
# mesh in DATA with mouth-check. Usage: mouth_check.sh ZARVO_FAP MOUTH_CHECK DATA SOURCE
set -eu
abs() { (cd "$(dirname "$1")" && printf '%s/%s' "$(pwd)" "$(basename "$1")"); }
fap=$(abs "$1") check=$(abs "$2") data=$(abs "$3") source=$(abs "$4")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sh "$source/tests/speech/make-speech.sh" "$tmp/hu.raw"
espeak-ng -w "$tmp/en0.wav" \
  "Open your mouth wide and say: papa, mama, wow. The quick brown fox jumps over the lazy dog."
sox -D "$tmp/en0.wav" -c 1 -b 32 -e floating-point "$tmp/en.wav" rate 48000 pad 0.5 0.5
"$fap" "$tmp/hu.raw" > "$tmp/hu.csv"
"$fap" "$tmp/en.wav" > "$tmp/en.csv"
cd "$data"
"$check" "$tmp/hu.csv" "$tmp/en.csv"
