#!/bin/sh
# Usage: ensure-deps.sh [PACKAGE...]
# Installs, with apt-get, whatever the build and the tests need and this machine
# lacks, and the Debian packages named as arguments.
set -eu
missing=""
need_cmd() { command -v "$1" >/dev/null 2>&1 || missing="$missing $2"; }
need_pkg() { dpkg -s "$1" >/dev/null 2>&1 || missing="$missing $1"; }

need_cmd cmake cmake
need_cmd make make
need_cmd g++ g++
need_cmd javac openjdk-17-jdk-headless
need_cmd jar openjdk-17-jdk-headless
need_cmd nm binutils
need_cmd git git
need_pkg libgtest-dev
need_pkg junit5
need_pkg libbenchmark-dev
# the peers the benchmarks are measured against
need_pkg libssl-dev
need_pkg libinih-dev
need_pkg libspdlog-dev
need_pkg pkg-config
for package in "$@"; do
    need_pkg "$package"
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
