#!/bin/sh
# Usage: check.sh BUILD_DIR WORK_DIR PREFIX VERSION CC CXX [JNI_CFLAGS]
# Stages the build's installation under WORK_DIR with DESTDIR, checks that its package files
# hold none of our absolute paths, and builds and runs the consumers against the stage
# through pkg-config and through find_package.
# shellcheck disable=SC2086
set -eu
build=$1 work=$2 prefix=$3 version=$4 cc=$5 cxx=$6 jni=${7:-}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" # a stale stage must not stand in for this build's
stage=$work/stage$prefix lib=$work/stage$prefix/sys/lib
DESTDIR=$work/stage cmake --install "$build" >/dev/null
grep -rF -e "$build" -e "$work" -e "$prefix" -e "${here%/tests/consumer}" "$lib/pkgconfig" "$lib/cmake" &&
    { echo "absolute paths in the package files above" >&2; exit 1; }

export PKG_CONFIG_LIBDIR="$lib/pkgconfig" PKG_CONFIG_PATH="" LD_LIBRARY_PATH="$lib"
flags="-Wall -Wextra -Werror $(pkg-config --cflags vaxolocal)"
syntax() { # $1 (escapes expanded) compiles as C and as C++
    printf '%b' "$1" >"$work/syntax.c"
    for compiler in "$cc -xc" "$cxx -xc++"; do $compiler $flags $jni -fsyntax-only "$work/syntax.c"; done
}
# Every installed header compiles alone, and all together still define the version.
all=""
for header in "$stage"/sys/include/vaxolocal/*.h; do
    syntax "#include <vaxolocal/${header##*/}>\n"
    all="$all#include <vaxolocal/${header##*/}>\n"
done
syntax "${all}const char *version = VAXOLOCAL_VERSION;\n"
"$cc" $flags "$here/consumer.c" $(pkg-config --libs vaxolocal) -o "$work/c-pkg-config"
"$cxx" $flags "$here/consumer.cpp" $(pkg-config --libs vaxolocal) -o "$work/cxx-pkg-config"
cmake -S "$here/project" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$stage/sys" -DVAXO_VERSION="$version" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cmake" >/dev/null
for program in c-pkg-config cxx-pkg-config cmake/consumer_c cmake/consumer_cxx; do
    "$work/$program" "$version"
    echo "$program: passed"
done
