#!/bin/sh
# Usage: ensure-deps.sh [build] [test] [bench] [PACKAGE...]
# Installs, with apt-get, what this machine lacks of the groups named and the
# Debian packages named beside them:
#   build  the library, the qelsconf tool and the Java classes
#   test   the test suite and the tools its checks run
#   bench  the benchmarks and the peers they are measured against
set -eu
missing=""
need_cmd() { command -v "$1" >/dev/null 2>&1 || missing="$missing $2"; }
need_pkg() { dpkg -s "$1" >/dev/null 2>&1 || missing="$missing $1"; }

for wanted in "$@"; do
    case $wanted in
    build)
        need_cmd cmake cmake
        need_cmd make make
        need_cmd g++ g++
        need_cmd javac openjdk-17-jdk-headless
        need_cmd jar openjdk-17-jdk-headless
        need_cmd pkg-config pkg-config
        ;;
    test)
        need_pkg libgtest-dev
        need_pkg junit5
        need_cmd nm binutils
        need_cmd git git
        need_cmd clang-format clang-format
        need_cmd groff groff-base
        need_cmd abidiff abigail-tools
        need_cmd dpkg-shlibdeps dpkg-dev
        ;;
    bench)
        need_pkg libbenchmark-dev
        need_pkg libssl-dev
        need_pkg libinih-dev
        need_pkg libspdlog-dev
        ;;
    *) need_pkg "$wanted" ;;
    esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "run as root to install:$missing" >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq </dev/null
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing </dev/null
