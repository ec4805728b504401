#!/usr/bin/env bash
# Builds the libraries that read workbooks back, for Windows x86-64, from
# Debian's own sources: libzip (static, zlib from libz-mingw-w64-dev, no
# encryption) and freexl (static, with freexl/iconv.c standing in for the
# iconv that MinGW-w64 lacks). Installs them into $WIN_DEPS_PREFIX; does
# nothing when they are already there.
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

# freexl: one C file, built straight with the cross compiler.
fetch_source freexl "$ORVANE_WIN_CACHE/src/freexl"
src=$(find "$ORVANE_WIN_CACHE/src/freexl" -mindepth 1 -maxdepth 1 -type d -name 'freexl-*' | head -n1)
version=${src##*/freexl-}
work="$ORVANE_WIN_CACHE/build/freexl"
rm -rf "$work"; mkdir -p "$work"
shim="$ORVANE_ROOT/scripts/windows/freexl"
printf '#define VERSION "%s"\n' "$version" > "$work/config.h"
for c in "$src/src/freexl.c" "$shim/iconv.c"; do
    $MINGW_TRIPLE-gcc-posix -O2 -I"$work" -I"$shim" -I"$src/headers" \
        -c "$c" -o "$work/$(basename "$c" .c).o"
done
$MINGW_TRIPLE-ar rcs "$WIN_DEPS_PREFIX/lib/libfreexl.a" "$work"/*.o
cp "$src/headers/freexl.h" "$WIN_DEPS_PREFIX/include/"
rm -rf "$work"

touch "$WIN_DEPS_PREFIX/.orvane-complete"
log "Windows libraries installed in $WIN_DEPS_PREFIX"
