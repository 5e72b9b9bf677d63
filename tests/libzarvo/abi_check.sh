#!/bin/sh
# The library's ABI against the baseline kept in the tree (libzarvo/abi/): any change but
# an added function or members appended to a struct fails. A deliberate change of the ABI
# updates the baseline (make abi-baseline) in its own commit.
# Usage: abi_check.sh LIBRARY SOURCE_DIR
set -u
lib=$1 src=$2
out=$(mktemp) report=$(mktemp)
trap 'rm -f "$out" "$report"' EXIT
"$src/libzarvo/abi/abidw.sh" "$lib" "$src" "$out" || exit 1
abidiff --no-added-syms "$src/libzarvo/abi/libzarvo.so.1.abi" "$out" >"$report"
status=$?
cat "$report"
# abidiff's status: 1 error, 2 usage, 4 an ABI change, 8 an incompatible change.
if [ "$status" -eq 0 ]; then
  echo "ABI of $lib: as the baseline"
  exit 0
fi
[ "$status" -ne 4 ] && exit "$status"
# A change abidiff does not call incompatible passes only if every line of its report is
# one of these: a struct that grew, each new member at or past the struct's old end (a
# member in the old tail padding leaves the size, and so struct_size, as it was).
# Anything else (a member's type, size or offset changed, a member removed or inserted
# before the end, a removed function) fails.
awk '
  /^(Functions|Variables) changes summary:/ { if ($4 != "0") bad = bad "\n  " $0; next }
  /^ *$/ || /with some indirect sub-type change/ || /has some indirect sub-type changes:$/ { next }
  /parameter [0-9]+ of type .* has sub-type changes:$/ || /in pointed to type .*:$/ { next }
  /underlying type .struct [a-z_]+. .* changed:$/ { old = ""; next }
  /type size changed from [0-9]+ to [0-9]+ \(in bits\)$/ {
    old = $5; if ($7 + 0 <= $5 + 0) bad = bad "\n  " $0; next }
  /^ *[0-9]+ data member insertions?:$/ { next }
  /, at offset [0-9]+ \(in bits\)/ {
    match($0, /at offset [0-9]+/); off = substr($0, RSTART + 10, RLENGTH - 10)
    if (old == "" || off + 0 < old + 0) bad = bad "\n  " $0; next }
  { bad = bad "\n  " $0 }
  END {
    if (bad != "") { print "ABI: incompatible with the baseline:" bad; exit 1 }
    print "ABI: compatible with the baseline (members appended to a struct)"
  }' "$report"
