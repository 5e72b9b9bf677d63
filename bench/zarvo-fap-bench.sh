#!/bin/sh
# End-to-end speed and memory of zarvo-fap on a long recording: speech from espeak-ng,
# repeated to MINUTES minutes (39 by default), as a 48 kHz float WAV and as a 44.1 kHz
# 16-bit WAV (which takes the resampling path), each analysed to CSV on one core.
# Measures; does not test. Prints per input: audio length, wall time, speed as a multiple
# of real time, microseconds per analysis window, and peak resident memory from
# /usr/bin/time -v.
#
# Usage: bench/zarvo-fap-bench.sh [BUILD_DIR [MINUTES]]   (BUILD_DIR default: build)
set -eu
build="${1:-build}"
minutes="${2:-39}"
tool="$build/zarvo-fap"
[ -x "$tool" ] || { echo "no $tool: build it first (cmake --build $build --target zarvo-fap)" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

espeak-ng -w "$dir/s.wav" "The quick brown fox jumps over the lazy dog. Open your mouth wide and say papa, mama, wow."
seconds=$((minutes * 60))
# One spoken sentence with a pause, repeated and cut to length.
sox "$dir/s.wav" -r 48000 -c 1 -b 32 -e floating-point "$dir/one.wav" pad 0 0.4
len=$(soxi -D "$dir/one.wav")
repeats=$(awk -v s="$seconds" -v l="$len" 'BEGIN { print int(s / l) + 1 }')
sox "$dir/one.wav" "$dir/long48.wav" repeat "$repeats" trim 0 "$seconds"
sox "$dir/long48.wav" -D -b 16 "$dir/long44.wav" rate 44100

run() {
  name="$1"
  input="$2"
  # One core: taskset pins the whole run (the tool is single-threaded throughout).
  /usr/bin/time -v taskset -c 0 "$tool" "$input" -o "$dir/out.csv" 2>"$dir/time.txt"
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0;
          for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$dir/time.txt")
  rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$dir/time.txt")
  windows=$(($(wc -l <"$dir/out.csv") - 1))
  awk -v n="$name" -v a="$seconds" -v w="$wall" -v r="$rss" -v k="$windows" 'BEGIN {
    printf "%-22s %6.0f s audio  %6.2f s wall  %6.0f x real time  %5.2f us/window  %5.1f MB resident\n",
           n, a, w, a / w, w * 1e6 / k, r / 1024 }'
}

echo "zarvo-fap to CSV, $minutes min of speech, on one core:"
run "48 kHz float WAV" "$dir/long48.wav"
run "44.1 kHz 16-bit WAV" "$dir/long44.wav"

# Every output format on the 48 kHz input: the analysis with the writer, and the memory,
# which stays flat with the length whatever the format.
format() {
  fmt="$1"
  shift
  /usr/bin/time -v taskset -c 0 "$tool" --format "$fmt" "$@" "$dir/long48.wav" -o "$dir/out" \
    2>"$dir/time.txt"
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0;
          for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$dir/time.txt")
  rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$dir/time.txt")
  size=$(stat -c %s "$dir/out")
  awk -v n="$fmt $*" -v a="$seconds" -v w="$wall" -v r="$rss" -v b="$size" 'BEGIN {
    printf "%-22s %6.2f s wall  %6.0f x real time  %5.1f MB resident  %7.1f MB written\n",
           n, w, a / w, r / 1024, b / 1e6 }'
}
echo "Every format, 48 kHz float WAV, $minutes min:"
for f in csv json fap cues-tsv cues-json cues-xml cues-dat blendshapes-csv gltf; do format "$f"; done
format fap --visemes
