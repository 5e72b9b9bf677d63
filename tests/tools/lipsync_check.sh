#!/bin/sh
# Builds the small corpus (real English words and prompts aligned by pocketsphinx, espeak-ng
# sentences with their own phone times) and measures how the mouth reads on it, designed and
# articulated; fails when a goal of lipsync_small.require is missed.
# Usage: lipsync_check.sh LIPSYNC_FRAMES SOURCE
set -eu
tool=$1 source=$2
# The scripts need numpy: Debian's own interpreter has it.
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$python" "$source/tools/lipsync/corpus.py" build --out "$tmp/corpus" --small >/dev/null
"$python" "$source/tools/lipsync/check.py" "$tmp/corpus" --tool "$tool" --split all \
  --cache "$tmp/cache" --confusion --require "$source/tests/tools/lipsync_small.require"
