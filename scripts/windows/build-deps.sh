#!/usr/bin/env bash
# Builds the libraries that read and write .xlsx workbooks, for Windows
# x86-64, from Debian's own sources, static, with zlib from
# libz-mingw-w64-dev: libzip (no encryption) and libxlsxwriter (its own
# minizip and temporary-file code, locale-independent numbers). Installs them
# into $WIN_DEPS_PREFIX; each library is built once, and a prefix made before
# libxlsxwriter was added only gets libxlsxwriter.
set -euo pipefail
. "$(dirname "$0")/common.sh"

libzip_done="$WIN_DEPS_PREFIX/.orvane-complete"
xlsxwriter_done="$WIN_DEPS_PREFIX/.xlsxwriter-complete"
if [ -f "$libzip_done" ] && [ -f "$xlsxwriter_done" ]; then
    log "Windows libraries found in $WIN_DEPS_PREFIX"
    exit 0
fi
apt_install dpkg-dev g++-mingw-w64-x86-64-posix cmake ninja-build libz-mingw-w64-dev
ensure_deb_src

if [ ! -f "$libzip_done" ]; then
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
touch "$libzip_done"
fi

# libxlsxwriter, with its own CMake project.
if [ ! -f "$xlsxwriter_done" ]; then
fetch_source libxlsxwriter "$ORVANE_WIN_CACHE/src/libxlsxwriter"
src=$(find "$ORVANE_WIN_CACHE/src/libxlsxwriter" -mindepth 1 -maxdepth 1 -type d -name 'libxlsxwriter-*' | head -n1)
work="$ORVANE_WIN_CACHE/build/libxlsxwriter"
rm -rf "$work"
cmake -S "$src" -B "$work" -G Ninja \
    "${MINGW_CMAKE_ARGS[@]}" \
    -DZLIB_LIBRARY=/usr/$MINGW_TRIPLE/lib/libz.a \
    -DZLIB_INCLUDE_DIR=/usr/$MINGW_TRIPLE/include \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF \
    -DUSE_SYSTEM_MINIZIP=OFF -DUSE_STANDARD_TMPFILE=OFF -DUSE_DTOA_LIBRARY=ON \
    -DCMAKE_INSTALL_PREFIX="$WIN_DEPS_PREFIX" >&2
cmake --build "$work" --parallel "$WIN_JOBS" >&2
cmake --install "$work" >&2
rm -rf "$work"
touch "$xlsxwriter_done"
fi

log "Windows libraries installed in $WIN_DEPS_PREFIX"
