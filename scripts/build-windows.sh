#!/usr/bin/env bash
# Builds Orvane for Windows x86-64 on Debian 12 with the MinGW-w64 cross
# compiler, packs orvane-windows.zip and the installer orvane.msi, and runs
# the tests under Wine.
#
#   scripts/build-windows.sh            build, pack, test under Wine
#   scripts/build-windows.sh --no-test  build and pack only
#
# Qt (static, from Debian's qt6-base source), the SQLite amalgamation (from
# Debian's sqlite3 source) and GoogleTest's sources are prepared once under
# $ORVANE_WIN_CACHE (default /opt/orvane-cache) and reused by later runs.
# The build goes to build/windows, the zip and the installer beside it
# (build/windows/orvane-windows.zip, build/windows/orvane.msi).
set -euo pipefail
. "$(dirname "$0")/windows/common.sh"

run_tests=1
[ "${1:-}" = "--no-test" ] && run_tests=0

apt_install dpkg-dev tcl g++-mingw-w64-x86-64-posix libz-mingw-w64-dev cmake ninja-build qt6-base-dev qt6-base-dev-tools \
    wine wine64 xvfb xauth imagemagick zip python3 python3-xlrd python3-openpyxl libreoffice-calc-nogui xdotool \
    fp-utils wixl msitools libchm-bin
ensure_deb_src

# The shared folder beside the clone may hold this Qt prebuilt by the same
# recipe (its README names the digests of the scripts it was made with): it
# is unpacked as it is, and build-qt.sh then finds it complete.
use_prebuilt_qt() {
    local cache="$ORVANE_ROOT/../shared/cache"
    [ -f "$QT_WIN_PREFIX/.orvane-complete" ] && return 0
    [ -f "$cache/qt6-mingw.tar.xz" ] && [ -f "$cache/README.md" ] || return 0
    local file want have
    for file in scripts/windows/build-qt.sh scripts/windows/common.sh qt6-mingw.tar.xz; do
        want=$(grep -F "| sha256 of $file |" "$cache/README.md" | awk -F'|' '{gsub(/ /, "", $3); print $3}')
        if [ "$file" = qt6-mingw.tar.xz ]; then
            have=$(sha256sum "$cache/$file" | cut -d' ' -f1)
        else
            have=$(sha256sum "$ORVANE_ROOT/$file" | cut -d' ' -f1)
        fi
        if [ -z "$want" ] || [ "$want" != "$have" ]; then
            log "prebuilt Qt in $cache not used: $file differs from its recipe"
            return 0
        fi
    done
    mkdir -p "$(dirname "$QT_WIN_PREFIX")"
    tar -xJf "$cache/qt6-mingw.tar.xz" -C "$(dirname "$QT_WIN_PREFIX")"
    log "prebuilt Qt unpacked from $cache"
}

start=$(date +%s)
use_prebuilt_qt
nice -n 19 "$ORVANE_ROOT/scripts/windows/build-qt.sh"
log "Qt ready after $(( $(date +%s) - start )) s"
nice -n 19 "$ORVANE_ROOT/scripts/windows/build-deps.sh"

# SQLite: the amalgamation generated from Debian's source package.
sqlite_dir="$ORVANE_WIN_CACHE/sqlite3-amalgamation"
if [ ! -f "$sqlite_dir/sqlite3.c" ]; then
    fetch_source sqlite3 "$ORVANE_WIN_CACHE/src/sqlite3"
    src=$(find "$ORVANE_WIN_CACHE/src/sqlite3" -mindepth 1 -maxdepth 1 -type d -name 'sqlite3-*' | head -n1)
    work="$ORVANE_WIN_CACHE/build/sqlite3"
    rm -rf "$work"; mkdir -p "$work"
    (cd "$work" && "$src/configure" >/dev/null && make sqlite3.c >/dev/null)
    mkdir -p "$sqlite_dir"
    cp "$work/sqlite3.c" "$work/sqlite3.h" "$sqlite_dir/"
    rm -rf "$work"
fi

# GoogleTest: Debian's sources, built with the project.
fetch_source googletest "$ORVANE_WIN_CACHE/src/googletest"
gtest_src=$(find "$ORVANE_WIN_CACHE/src/googletest" -mindepth 1 -maxdepth 1 -type d -name 'googletest-*' | head -n1)

build="$ORVANE_ROOT/build/windows"
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="$ORVANE_ROOT" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
"$QT_WIN_PREFIX/bin/qt-cmake" -S "$ORVANE_ROOT" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER=$MINGW_TRIPLE-gcc-posix \
    -DCMAKE_CXX_COMPILER=$MINGW_TRIPLE-g++-posix \
    -DCMAKE_RC_COMPILER=$MINGW_TRIPLE-windres \
    -DORVANE_BUILD_TESTS=ON \
    -DORVANE_SQLITE_SOURCE="$sqlite_dir" \
    -DORVANE_WIN_DEPS="$WIN_DEPS_PREFIX" \
    -DORVANE_STATIC_ZLIB=/usr/$MINGW_TRIPLE/lib/libz.a \
    -DORVANE_GTEST_SOURCE="$gtest_src" "${launcher[@]}" >&2
start=$(date +%s)
nice -n 10 cmake --build "$build" --parallel "$WIN_JOBS" >&2
log "Orvane for Windows built in $(( $(date +%s) - start )) s"

# The zip a planner unpacks beside P3.
stage="$build/package/Orvane"
rm -rf "$build/package"; mkdir -p "$stage"
orvane_exe=$(built "$build" orvane.exe)
cp "$orvane_exe" "$(built "$build" orvane-batch.exe)" "$stage/"
# The guide (orvane.chm and the HTML pages) is built beside the program
# unless the build leaves it out.
if [ -f "$(dirname "$orvane_exe")/guide/index.html" ]; then
    cp -r "$(dirname "$orvane_exe")/guide" "$stage/guide"
    cp "$(dirname "$orvane_exe")/orvane.chm" "$stage/"
fi
cp "$ORVANE_ROOT/scripts/windows/README-Windows.txt" "$stage/README.txt"
sed -i 's/$/\r/' "$stage/README.txt"
rm -f "$build/orvane-windows.zip"
(cd "$build/package" && zip -qr "$build/orvane-windows.zip" Orvane)
log "packed $build/orvane-windows.zip"
# The installer: the programs, the help file and the README, in the
# project's version.
"$ORVANE_ROOT/scripts/windows/make-msi.sh" "$stage" "$(cat "$build/product-version.txt")" "$build/orvane.msi"
log "packed $build/orvane.msi"

if [ "$run_tests" = 1 ]; then
    "$ORVANE_ROOT/scripts/windows/test-wine.sh" "$build"
fi
