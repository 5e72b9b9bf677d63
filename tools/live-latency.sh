#!/bin/sh
# How the live modes keep up over the fed devices (zarvo-feeder), measured by
# zarvo-live-latency on the offscreen window system.
# Usage:
#   tools/live-latency.sh [BUILD_DIR] [RUNS]                  the designed run (default 3 runs)
#   tools/live-latency.sh --continuous SECONDS [BUILD_DIR]    the continuous mode, fed with the
#                                                             speech recording repeated
#   tools/live-latency.sh --playback [FILE] [BUILD_DIR]       playback of FILE (default: the
#                                                             speech recording as a WAV)
# FAPS=designed before it: the continuous mode and the playback draw the designed FAPs (no
# look-ahead) instead of the articulated ones.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
mode=designed
seconds=30
file=""
case "${1:-}" in
  --continuous) mode=continuous; seconds=${2:?seconds}; shift 2 ;;
  --playback)
    mode=playback; shift
    if [ $# -gt 0 ] && [ -f "$1" ]; then file=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); shift; fi ;;
esac
build=${1:-$root/build}
runs=${2:-3}
raw="$build/tests/speech/speech.raw"
[ -f "$raw" ] || "$root/tests/speech/make-speech.sh" "$raw"
mesh=""
[ -f "$root/data/vertex.txt" ] && [ -f "$root/data/face.txt" ] && mesh="--mesh $root/data"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tool="$build/tools/zarvo-live-latency"
feeder="$build/tools/zarvo-feeder"
case $mode in
  designed)
    "$feeder" --alsa-config "$root/tests/speech/alsa-fed.conf" --log "$tmp/log" "$raw" \
        -- "$tool" --feeder-log "$tmp/log" --runs "$runs" $mesh ;;
  continuous)
    # The recording over and over, a little longer than the run.
    repeats=$(python3 -c "import os; print(int($seconds * 192000 / os.path.getsize('$raw')) + 2)")
    python3 -c "import sys; d = open('$raw', 'rb').read(); open('$tmp/long.raw', 'wb').write(d * $repeats)"
    "$feeder" --alsa-config "$root/tests/speech/alsa-fed.conf" --log "$tmp/log" "$tmp/long.raw" \
        -- "$tool" --mode continuous --seconds "$seconds" --feeder-log "$tmp/log" \
        --faps "${FAPS:-articulated}" $mesh ;;
  playback)
    if [ -z "$file" ]; then
      file="$tmp/speech.wav"
      sox -t raw -r 48000 -c 1 -b 32 -e floating-point "$raw" "$file"
    fi
    ZARVO_SINK_FILE="$tmp/played.raw" "$feeder" --alsa-config "$root/tests/live/alsa-play.conf" \
        --sink "$tmp/played.raw" --sink-log "$tmp/sink.log" - \
        -- env ZARVO_SINK_FILE="$tmp/played.raw" "$tool" --mode playback --file "$file" \
        --sink-log "$tmp/sink.log" --faps "${FAPS:-articulated}" $mesh ;;
esac
