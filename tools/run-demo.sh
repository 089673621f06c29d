#!/bin/sh
# Usage: run-demo.sh BUILD_DIR STAGE_DIR
# Installs the build into STAGE_DIR as an installation of its own and drives the
# bridge from a real JVM: a successful session configured by a file of the
# staged installation, then one whose configuration names no XML API library.
set -eu
build=$1 stage=$2
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null
lib=$stage/sys/lib conf=$stage/sys/conf
mkdir -p "$conf"

# Developer mode: each run reads one configuration file of the staged installation.
cat >"$conf/demo.conf" <<CONF
# Where the kernel keeps the XML API library, and a setting for the demo to ask for.
QELS_EXE = $stage/sys/bin
DEMO_GREETING = Hello from \${QELS_EXE}/../conf/demo.conf
CONF
cat >"$conf/missing.conf" <<CONF
QELS_EXE = $stage/nowhere
CONF

# The libraries' run path is the default installation's; this one lives elsewhere.
export LD_LIBRARY_PATH="$lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
unset QELS_EXE DEMO_GREETING
run() { java -Djava.library.path="$lib" "$@"; }

echo "== A session through the installation in $stage, configured by $conf/demo.conf"
__KERNEL_DEVELOPER=$conf/demo.conf run -jar "$lib/vaxolocal-demo.jar"
echo
echo "== The same, configured by $conf/missing.conf, which names no XML API library"
__KERNEL_DEVELOPER=$conf/missing.conf run -cp "$lib/vaxolocal.jar:$lib/vaxolocal-demo.jar" \
    com.brantexa.zoral.vaxo.demo.MissingLibraryDemo
