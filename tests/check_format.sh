#!/bin/sh
# Usage: check_format.sh CLANG_FORMAT  (from the source root)
# Every tracked C and C++ source must already be as clang-format writes it.
set -eu
files=$(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null || find . -name '*.[ch]' -o -name '*.cpp')
# shellcheck disable=SC2086
"$1" --dry-run --Werror $files
