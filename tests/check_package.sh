#!/bin/sh
# Usage: check_package.sh BUILD_DIR OUT_DIR
# Builds the Debian package of BUILD_DIR into OUT_DIR and checks its control data and
# contents: every part of the kit, under the default prefix, with no build path inside.
set -eu
build=$1 out=$2 prefix=./usr/local/zoral
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
deb=$(echo "$out"/vaxolocal_*.deb)
fail() { echo "$deb: $*" >&2; exit 1; }
control=$(dpkg-deb -f "$deb" Package Version Architecture Depends)
for field in "Package: vaxolocal" "Version: 1.0.0" "Architecture: $(dpkg --print-architecture)" \
    "Depends: .*libc6 (>= [0-9.]*).*libstdc++6"; do
    echo "$control" | grep -qx "$field.*" || fail "no '$field' in the control data"
done
dpkg-deb -c "$deb" | awk '{print $6}' >"$out/contents"
headers=$(cd "$(dirname "$0")/../include" && ls ./*.h | sed 's|^\./|sys/include/vaxolocal/|')
for path in sys/lib/libvaxolocal.so sys/lib/libqels.so sys/lib/libzoralukv.so sys/lib/vaxolocal.jar \
    sys/lib/vaxolocal-sources.jar sys/lib/vaxolocal-demo.jar share/bash-completion/completions/qelsconf \
    sys/bin/qelsconf share/man/man1/qelsconf.1 sys/include/vaxolocal/version.h \
    sys/lib/pkgconfig/vaxolocal.pc sys/lib/cmake/vaxolocal/vaxolocalConfig.cmake \
    sys/lib/cmake/vaxolocal/vaxolocalConfigVersion.cmake $headers; do
    grep -qx "$prefix/$path" "$out/contents" || fail "$path is missing"
done
dpkg-deb -x "$deb" "$out/root"
runpath=$(readelf -d "$out/root/$prefix/sys/lib/libvaxolocal.so" | sed -n 's/.*RUNPATH.*\[\(.*\)\]/\1/p')
[ "$runpath" = /usr/local/zoral/sys/lib ] || fail "the library's run path is '$runpath'"
! grep -rl "$(cd "$build" && pwd)" "$out/root" --include='*.pc' --include='*.cmake' --include='*.h' ||
    fail "files above name the build tree"
