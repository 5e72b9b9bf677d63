#!/bin/sh
# Writes a short Hungarian utterance as raw 48000 Hz mono float32 (the capture format).
# Its pauses are exact digital zeros. Usage: make-speech.sh OUT.raw
set -eu
out="$1"
tmp="${out}.tmp.wav"
espeak-ng -v hu -s 140 -w "$tmp" "Jó napot kívánok, ez itt egy beszélő fej. Mama, papa, ablak."
sox "$tmp" -r 48000 -c 1 -b 32 -e floating-point -t raw "$out"
rm -f "$tmp"
