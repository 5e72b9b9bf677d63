#!/bin/sh
# Sound-to-picture latency of the live mode over the fed capture device.
# Usage: tools/live-latency.sh [BUILD_DIR] [RUNS]   (defaults: build, 3)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-3}
raw="$build/tests/speech/speech.raw"
[ -f "$raw" ] || "$root/tests/speech/make-speech.sh" "$raw"
mesh=""
[ -f "$root/data/vertex.txt" ] && [ -f "$root/data/face.txt" ] && mesh="--mesh $root/data"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$build/tools/zarvo-feeder" --alsa-config "$root/tests/speech/alsa-fed.conf" --log "$log" "$raw" \
    -- "$build/tools/zarvo-live-latency" --feeder-log "$log" --runs "$runs" $mesh
