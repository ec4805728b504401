#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite under CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build/test"
# ccache keeps compiled objects between clones: paths are taken relative to
# the clone, so another clone of the same sources finds them.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_BUILD_TESTS=ON \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
cmake --build "$build" -j "$(nproc)"
cd "$build"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)"
