#!/usr/bin/env bash
# Builds the library that reads .xlsx workbooks back, for Windows x86-64, from
# Debian's own sources: libzip (static, zlib from libz-mingw-w64-dev, no
# encryption). Installs it into $WIN_DEPS_PREFIX; does nothing when it is
# already there.
set -euo pipefail
. "$(dirname "$0")/common.sh"

if [ -f "$WIN_DEPS_PREFIX/.orvane-complete" ]; then
    log "Windows libraries found in $WIN_DEPS_PREFIX"
    exit 0
fi
apt_install dpkg-dev g++-mingw-w64-x86-64-posix cmake ninja-build libz-mingw-w64-dev
ensure_deb_src
rm -rf "$WIN_DEPS_PREFIX"
mkdir -p "$WIN_DEPS_PREFIX/lib" "$WIN_DEPS_PREFIX/include"

# libzip, with its own CMake project.
fetch_source libzip "$ORVANE_WIN_CACHE/src/libzip"
src=$(find "$ORVANE_WIN_CACHE/src/libzip" -mindepth 1 -maxdepth 1 -type d -name 'libzip-*' | head -n1)
work="$ORVANE_WIN_CACHE/build/libzip"
rm -rf "$work"
cmake -S "$src" -B "$work" -G Ninja \
    "${MINGW_CMAKE_ARGS[@]}" \
    -DZLIB_LIBRARY=/usr/$MINGW_TRIPLE/lib/libz.a \
    -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
    -DCMAKE_INSTALL_PREFIX="$WIN_DEPS_PREFIX" >&2
cmake --build "$work" --parallel "$WIN_JOBS" >&2
cmake --install "$work" >&2
rm -rf "$work"

touch "$WIN_DEPS_PREFIX/.orvane-complete"
log "Windows libraries installed in $WIN_DEPS_PREFIX"
