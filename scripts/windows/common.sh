# Shared settings of the Windows build scripts (sourced, not run).
ORVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# Built third-party pieces live outside the clone so later runs reuse them.
ORVANE_WIN_CACHE="${ORVANE_WIN_CACHE:-/opt/orvane-cache}"
QT_WIN_PREFIX="${QT_WIN_PREFIX:-$ORVANE_WIN_CACHE/qt6-mingw}"
MINGW_TRIPLE=x86_64-w64-mingw32
WIN_JOBS="${WIN_JOBS:-2}"
WIN_DEPS_PREFIX="${WIN_DEPS_PREFIX:-$ORVANE_WIN_CACHE/deps-mingw}"

# CMake options of a third-party project cross-built with MinGW-w64, finding
# its libraries in the MinGW-w64 system folder only.
MINGW_CMAKE_ARGS=(
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_SYSTEM_NAME=Windows
    -DCMAKE_C_COMPILER=$MINGW_TRIPLE-gcc-posix
    -DCMAKE_CXX_COMPILER=$MINGW_TRIPLE-g++-posix
    -DCMAKE_RC_COMPILER=$MINGW_TRIPLE-windres
    -DCMAKE_FIND_ROOT_PATH=/usr/$MINGW_TRIPLE
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY
    -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY
)

log() { printf '[%(%H:%M:%S)T] %s\n' -1 "$*" >&2; }

apt_install() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing ${missing[*]}"
    local i
    for i in 1 2 3 4 5 6 7 8 9 10; do
        if DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"; then return 0; fi
        log "apt-get install failed (lock busy?), retrying in 20 s"
        sleep 20
        apt-get update >/dev/null 2>&1 || true
    done
    return 1
}

# The source packages of Qt, SQLite and GoogleTest come from the same
# Debian archive as the binaries: add deb-src lines beside the deb lines.
ensure_deb_src() {
    if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ || grep -qs '^deb-src' /etc/apt/sources.list; then
        return 0
    fi
    log "adding deb-src entries"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            > /etc/apt/sources.list.d/orvane-deb-src.sources
    else
        grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
            > /etc/apt/sources.list.d/orvane-deb-src.list
    fi
    apt-get update
}

# Unpacks a Debian source package into DIR (once).
fetch_source() {
    local pkg=$1 dir=$2
    if [ -f "$dir/.unpacked" ]; then return 0; fi
    rm -rf "$dir"; mkdir -p "$dir"
    (cd "$dir" && apt-get source "$pkg") >&2
    touch "$dir/.unpacked"
}

# A program or library of a build folder (Qt's project setup puts them at
# its top on Windows).
built() {
    find "$1" -maxdepth 3 -name "$2" -not -path '*/CMakeFiles/*' -not -path "$1/package/*" | head -n1
}
