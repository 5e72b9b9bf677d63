#!/bin/sh
# The examples as a user builds them: against a DESTDIR installation, the WAV reader with
# nothing but pkg-config (as strict C99) and again with the CMake package (the same lines),
# the microphone example on a real ALSA device fed with speech, and the Python plot.
# Usage: examples.sh BUILD_DIR SOURCE_DIR ZARVO_FEEDER
set -eu
build=$1 src=$2 feeder=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

DESTDIR=$tmp/root cmake --install "$build" --prefix /usr >/dev/null
lib=$tmp/root/usr/lib
"$src/tests/speech/make-speech.sh" "$tmp/speech.raw"
sox -t raw -r 48000 -c 1 -b 32 -e floating-point "$tmp/speech.raw" -r 22050 -c 2 -b 16 "$tmp/speech.wav"

export PKG_CONFIG_PATH=$lib/pkgconfig
# shellcheck disable=SC2046
cc -std=c99 -pedantic-errors -Wall -Wextra -Werror "$src/examples/wav_visemes.c" \
  $(pkg-config --cflags --libs zarvo sndfile) -o "$tmp/wav_visemes"
LD_LIBRARY_PATH=$lib "$tmp/wav_visemes" "$tmp/speech.wav" > "$tmp/visemes.txt"
# One line per window (as zarvo-fap counts them), the strongest viseme and 15 weights.
windows=$(( $("$build/zarvo-fap" "$tmp/speech.wav" | wc -l) - 1 ))
[ "$(wc -l < "$tmp/visemes.txt")" -eq "$windows" ] || fail "a line per window ($windows)"
awk 'NF != 17 { exit 1 } { s = 0; for (i = 3; i <= 17; ++i) s += $i; if (s < 0.99 || s > 1.01) exit 1 }' \
  "$tmp/visemes.txt" || fail "15 weights summing to 1 on every line"
[ "$(awk '{ print $2 }' "$tmp/visemes.txt" | sort -u | wc -l)" -ge 5 ] || fail "visemes vary"

cmake -S "$src/examples" -B "$tmp/cmake" -DCMAKE_PREFIX_PATH="$tmp/root/usr" >/dev/null
cmake --build "$tmp/cmake" >/dev/null
"$tmp/cmake/wav_visemes" "$tmp/speech.wav" | cmp - "$tmp/visemes.txt" || fail "find_package(Zarvo)"

"$feeder" --alsa-config "$src/tests/speech/alsa-fed.conf" "$tmp/speech.raw" -- \
  "$tmp/cmake/mic_viseme" 4 > "$tmp/mic.txt"
[ "$(awk '{ print $2 }' "$tmp/mic.txt" | sort -u | wc -l)" -ge 4 ] || fail "the microphone's visemes"
grep -q " sil$" "$tmp/mic.txt" || fail "silence at the microphone"

PYTHONPATH=$lib/python3/dist-packages /usr/bin/python3 "$src/examples/plot_visemes.py" \
  "$tmp/speech.wav" "$tmp/plot.png"
[ "$(identify -format '%w %h' "$tmp/plot.png")" = "1200 600" ] || fail "the plot"
echo "examples: $windows frames, $(wc -l < "$tmp/mic.txt") changes at the microphone"
