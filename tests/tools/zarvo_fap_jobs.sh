#!/bin/sh
# zarvo-fap -j 3 on three recordings writes the files -j 1 writes; in the ThreadSanitizer
# build a race would also end it with status 66.  Usage: zarvo_fap_jobs.sh ZARVO_FAP
set -eu
tool=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for f in 200 350 500; do
  sox -n -r 44100 -c 1 "$tmp/s$f.wav" synth 4 sine "$f-$((f * 3))" tremolo 5 90
done
mkdir "$tmp/one" "$tmp/three"
"$tool" -j 1 "$tmp"/s*.wav -o "$tmp/one/"
"$tool" -j 3 "$tmp"/s*.wav -o "$tmp/three/"
diff -r "$tmp/one" "$tmp/three"
