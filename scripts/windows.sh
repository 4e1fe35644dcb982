#!/usr/bin/env bash
# make windows: zantir.exe and zantir-cli.exe for 64-bit Windows, with a Qt cross-built once
# from Debian's own source (scripts/qt-mingw.sh), packed with what they need into a zip.
# Usage: windows.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "$1")
started=$(date +%s)
qt=$("$here/scripts/qt-mingw.sh")
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZANTIR_GUI=ON -DZANTIR_WERROR=ON \
    -DZANTIR_QT_PREFIX="$qt" -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake > /dev/null
cmake --build "$build" -j "$(nproc)" --target zantir zantir-cli

version=$(sed -n 's/^project(zantir VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
name=zantir-$version-windows-x64
stage=$build/$name
rm -rf "$stage"
mkdir -p "$stage/plugins/platforms" "$stage/plugins/styles" "$stage/translations"
cp "$build/app/zantir.exe" "$build/cli/zantir-cli.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage"/*.exe
for module in Core Gui Widgets; do cp "$qt/bin/Qt6$module.dll" "$stage/"; done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/plugins/platforms/"
cp "$qt"/plugins/styles/*.dll "$stage/plugins/styles/" 2> /dev/null || true
# The C and C++ runtimes that Qt's DLLs and zantir.exe share (zantir-cli.exe carries its own).
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do cp "$gcc_dir/$dll" "$stage/"; done
cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$stage/"
cp /usr/share/qt6/translations/qtbase_ru.qm "$stage/translations/"
printf '[Paths]\r\nPrefix = .\r\nPlugins = plugins\r\nTranslations = translations\r\n' > "$stage/qt.conf"
sed 's/$/\r/' "$here/packaging/README-windows.txt" > "$stage/README.txt"

zip=$build/$name.zip
rm -f "$zip"
(cd "$build" && python3 -m zipfile -c "$zip" "$name")
echo "make windows: $zip ($(du -k "$zip" | cut -f1) KiB) in $(( $(date +%s) - started )) s"
