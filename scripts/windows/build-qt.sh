#!/usr/bin/env bash
# Builds a static Qt 6 (Core, Gui, Widgets, Test) for Windows x86-64 from
# Debian's qt6-base source with the MinGW-w64 cross compiler, and installs it
# into $QT_WIN_PREFIX. Does nothing when that Qt is already there.
set -euo pipefail
. "$(dirname "$0")/common.sh"

if [ -f "$QT_WIN_PREFIX/.orvane-complete" ]; then
    log "Windows Qt found in $QT_WIN_PREFIX"
    exit 0
fi

apt_install dpkg-dev g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev qt6-base-dev-tools
ensure_deb_src

src_root="$ORVANE_WIN_CACHE/src/qt6-base"
fetch_source qt6-base "$src_root"
src=$(find "$src_root" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
[ -n "$src" ] || { echo "qt6-base source not found in $src_root" >&2; exit 1; }

build="$ORVANE_WIN_CACHE/build/qt6-base"
rm -rf "$QT_WIN_PREFIX"
# A build that was stopped part-way goes on where it stopped: configuring an
# existing build folder again only rebuilds what the options change.
mkdir -p "$build"

# Host side: Debian's own Qt tools (moc, uic, rcc) of the same version.
cmake -S "$src" -B "$build" -G Ninja \
    "${MINGW_CMAKE_ARGS[@]}" \
    -DCMAKE_INSTALL_PREFIX="$QT_WIN_PREFIX" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DBUILD_SHARED_LIBS=OFF \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_dynamicgl=OFF \
    -DFEATURE_icu=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_sql=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_printsupport=OFF \
    -DFEATURE_static_runtime=ON \
    >&2

nice -n 19 cmake --build "$build" --parallel "$WIN_JOBS" >&2
cmake --install "$build" >&2
touch "$QT_WIN_PREFIX/.orvane-complete"
rm -rf "$build"
log "Windows Qt installed in $QT_WIN_PREFIX"
