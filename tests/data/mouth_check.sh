#!/bin/sh
# Speaks the test sentences with espeak-ng (Hungarian and English, 48 kHz mono float, with
# digital silence around), turns them into FAPs with zarvo-fap and measures the mouth of the
# mesh in DATA with mouth-check. Usage: mouth_check.sh ZARVO_FAP MOUTH_CHECK DATA SOURCE
# (ARTICULATED=1 in the environment: the articulated FAPs of the sentences as well)
#
# With a fifth argument, ZARVO_RENDER, it draws the sentences' frames in the live view with
# the program's own renderer instead and fails if any frame shows the background through
# the head: white pixels that the white around the head does not reach (a flood fill from
# the border), that is, seen through the open mouth.
set -eu
abs() { (cd "$(dirname "$1")" && printf '%s/%s' "$(pwd)" "$(basename "$1")"); }
fap=$(abs "$1") check=$(abs "$2") data=$(abs "$3") source=$(abs "$4")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sh "$source/tests/speech/make-speech.sh" "$tmp/hu.raw"
espeak-ng -w "$tmp/en0.wav" \
  "Open your mouth wide and say: papa, mama, wow. The quick brown fox jumps over the lazy dog."
sox -D "$tmp/en0.wav" -c 1 -b 32 -e floating-point "$tmp/en.wav" rate 48000 pad 0.5 0.5
if [ $# -ge 5 ]; then
  render=$(abs "$5")
  bad=0
  for s in hu.raw en.wav; do
    mkdir "$tmp/${s%.*}"
    "$render" "$tmp/$s" --fps 12 --size 360x360 -o "$tmp/${s%.*}/%03d.png"
    # per frame: the enclosed white pixels
    convert "$tmp/${s%.*}"/*.png -bordercolor white -border 1 -fuzz 1% -fill black \
      -draw "color 0,0 floodfill" +opaque white -format "%[fx:round(mean*w*h)]\n" info: \
      >"$tmp/${s%.*}.txt"
    frames=$(wc -l <"$tmp/${s%.*}.txt")
    white=$(awk '$1 > 0 { n++ } END { print n + 0 }' "$tmp/${s%.*}.txt")
    most=$(sort -n "$tmp/${s%.*}.txt" | tail -n 1)
    echo "$s: $frames frames, $white show the background through the head (at most $most pixels)"
    [ "$white" -eq 0 ] || bad=1
  done
  exit $bad
fi
"$fap" "$tmp/hu.raw" > "$tmp/hu.csv"
"$fap" "$tmp/en.wav" > "$tmp/en.csv"
set -- "$tmp/hu.csv" "$tmp/en.csv"
# ARTICULATED=1: the articulated FAPs of the same sentences too.
if [ "${ARTICULATED:-0}" = 1 ]; then
  "$fap" --articulate "$tmp/hu.raw" > "$tmp/hu-art.csv"
  "$fap" --articulate "$tmp/en.wav" > "$tmp/en-art.csv"
  set -- "$@" "$tmp/hu-art.csv" "$tmp/en-art.csv"
fi
cd "$data"
"$check" "$@"
