#!/bin/sh
# Usage: check_exports.sh LIBRARY EXPORTS_DIR
# The library's dynamic symbols must be exactly the names listed in EXPORTS_DIR/*.txt.
set -eu
expected=$(mktemp) actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
cat "$2"/*.txt | sed 's/#.*//; /^[[:space:]]*$/d' | sort -u >"$expected"
nm -D --defined-only "$1" | awk '{print $NF}' | sort -u >"$actual"
if ! diff -u "$expected" "$actual"; then
    echo "exported names differ from $2 (- expected, + exported)" >&2
    exit 1
fi
echo "$(wc -l <"$actual") exported names, as listed"
