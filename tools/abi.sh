#!/bin/sh
# Usage: abi.sh check|update LIBRARY
# Compares the public ABI of LIBRARY (a libvaxolocal.so built with debug information):
# its exported functions and the records its headers declare, with the committed
# description abi/vaxolocal.abi, and prints what changed; or, on purpose, rewrites
# the description from LIBRARY.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
description=$root/abi/vaxolocal.abi
[ $# -eq 2 ] || { echo "usage: $0 check|update LIBRARY" >&2; exit 64; }
case $1 in
check) exec abidiff --headers-dir2 "$root/include" --drop-private-types "$description" "$2" ;;
update)
    exec abidw --headers-dir "$root/include" --drop-private-types --no-corpus-path \
        --no-comp-dir-path --short-locs --out-file "$description" "$2"
    ;;
*) echo "usage: $0 check|update LIBRARY" >&2; exit 64 ;;
esac
