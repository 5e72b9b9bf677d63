#!/bin/sh
# The library's ABI against the baseline kept in the tree (libzarvo/abi/): any change but
# an added function or members appended to a struct fails. A deliberate change of the ABI
# updates the baseline (make abi-baseline) in its own commit.
# Usage: abi_check.sh LIBRARY SOURCE_DIR
set -u
lib=$1 src=$2
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$src/libzarvo/abi/abidw.sh" "$lib" "$src" "$out" || exit 1
abidiff --no-added-syms --suppressions "$src/libzarvo/abi/zarvo.abignore" \
  "$src/libzarvo/abi/libzarvo.so.1.abi" "$out"
status=$?
# abidiff's status: 1 error, 2 usage, 4 an ABI change, 8 an incompatible change.
[ "$status" -eq 0 ] && echo "ABI of $lib: as the baseline, or compatible with it"
exit "$status"
