#!/bin/sh
# Usage: check_exports.sh LIBRARY SOURCE_DIR
# The library's dynamic symbols must be exactly the names the public headers
# declare with OMX_API and the bridge's native methods: nothing else leaks.
set -eu
expected=$(mktemp) actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
{
    grep -hv '#define OMX_API' "$2"/include/*.h | tr '\n' ' ' | grep -o 'OMX_API[^;(]*'
    cat "$2"/jni/*.cpp | tr '\n' ' ' | grep -o 'JNICALL *[A-Za-z_0-9]*'
} | awk '{print $NF}' | tr -d '*' | sort -u >"$expected"
nm -D --defined-only "$1" | awk '{print $NF}' | sort -u >"$actual"
if ! diff -u "$expected" "$actual"; then
    echo "exported names differ from the declared ones (- declared, + exported)" >&2
    exit 1
fi
echo "$(wc -l <"$actual") exported names, as declared"
