#!/bin/sh
# The ABI of libzarvo as the check compares it: the exported functions and the types of the
# public header, without the paths of the machine that built it.
# Usage: abidw.sh LIBRARY SOURCE_DIR OUT.abi
exec abidw --headers-dir "$2/libzarvo/include/zarvo" --drop-private-types --drop-undefined-syms \
  --exported-interfaces-only --no-corpus-path --no-comp-dir-path --short-locs --no-elf-needed \
  --out-file "$3" "$1"
