#!/usr/bin/env bash
# Cross-builds Qt 6 for MinGW-w64 once, from Debian's own source of qt6-base (the version of
# the host's Qt, whose moc, rcc and uic serve as the host tools), with only what the program
# uses: Core, Gui, Widgets and the Windows platform plugin. Prints the install prefix.
# Usage: qt-mingw.sh [CACHE]   (default: $XDG_CACHE_HOME/zantir, else ~/.cache/zantir)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/+.*//; s/^[0-9]*://')
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/zantir}
prefix=$cache/qt-$version-mingw
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
work=$cache/qt-$version-mingw-work
mkdir -p "$work"
if [ ! -d "$work/source" ]; then
    rm -rf "$work/fetch"
    "$here/scripts/qt-source.sh" qt6-base "$work/fetch" >&2
    mv "$work/fetch"/qt6-base-*/ "$work/source"
    rm -rf "$work/fetch"
fi
# Debian's source leaves out the tablet headers (wintab), whose licence forbids changes;
# without OpenGL there is no OpenGL to choose at run time either (dynamicgl); the fonts come
# through GDI (the DirectWrite font database is built only along with Direct2D).
off=(sql network dbus opengl vulkan printsupport concurrent xml testlib sql_sqlite
     freetype fontconfig jpeg gif ico imageformat_bmp imageformat_ppm imageformat_xbm
     direct2d directwrite3 dynamicgl zstd brotli icu glib openssl tabletevent)
bundled=(zlib png pcre2 harfbuzz doubleconversion libb2)
args=()
for f in "${off[@]}"; do args+=("-DFEATURE_$f=OFF"); done
for f in "${bundled[@]}"; do args+=("-DFEATURE_system_$f=OFF"); done
cmake -S "$work/source" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DQT_GENERATE_SBOM=OFF "${args[@]}" >&2
cmake --build "$work/build" -j "$(nproc)" >&2
cmake --install "$work/build" >&2
touch "$prefix/.complete"
echo "$prefix"
