#!/bin/sh
# The ABI check itself: a library of the unchanged interface and ones with members appended
# to zarvo_frame and zarvo_options pass it; one whose new member fits the old padding, one
# with a member inserted in the middle of zarvo_frame, one whose zarvo_frame holds a FAP
# fewer and one whose zarvo_options.rate became 64 bits (every later member moves) fail it.
# Usage: abi_guard.sh SOURCE_DIR
set -u
src=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
try() {  # NAME EXPECTED(pass|fail) SED_SCRIPT
  d="$tmp/$1"
  mkdir -p "$d/libzarvo/include/zarvo"
  ln -s "$src/libzarvo/abi" "$d/libzarvo/abi"
  sed "$3" "$src/libzarvo/include/zarvo/zarvo.h" >"$d/libzarvo/include/zarvo/zarvo.h"
  cc -std=c99 -g -O0 -shared -fPIC -Wl,-soname,libzarvo.so.1 \
    -Wl,--version-script="$src/libzarvo/zarvo.map" \
    -I "$d/libzarvo/include" "$src/tests/libzarvo/abi_stub.c" -o "$d/libzarvo.so.1" || exit 1
  if sh "$src/tests/libzarvo/abi_check.sh" "$d/libzarvo.so.1" "$d" >"$d/report" 2>&1; then
    got=pass
  else
    got=fail
  fi
  if [ "$got" != "$2" ]; then
    echo "$1: the check says $got, should $2:"
    cat "$d/report"
    fails=1
  else
    echo "$1: $got"
  fi
}
try unchanged pass ''
try appended pass 's/^  char shape;$/  char shape;\n  float later;/'
try appended_both pass 's/^  char shape;$/  char shape;\n  float later;/; s/^  uint32_t flags;$/  uint32_t flags;\n  int64_t later;/'
# In the tail padding the struct keeps its size: struct_size cannot tell old callers apart.
try in_padding fail 's/^  uint32_t flags;$/  uint32_t flags;\n  int32_t later;/'
try inserted fail 's/^  int32_t vol;$/  int32_t vol;\n  int32_t between;/'
try fewer_faps fail 's/int32_t faps\[ZARVO_FAPS\];/int32_t faps[ZARVO_FAPS - 1];/'
try wider_rate fail 's/^  int32_t rate;$/  int64_t rate;/'
exit "$fails"
