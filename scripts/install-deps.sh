#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when missing.
set -euo pipefail
needed=(g++ make cmake ninja-build libgtest-dev qt6-base-dev qt6-translations-l10n fonts-dejavu-core)
# The demo runs the program under Xvfb when there is no display; the tests run the dialogs
# and the demo there too, with openbox's window frames.
needed+=(xvfb xdotool imagemagick x11-utils openbox)
# RealtimeKit, for a real-time RTS drop where the user may not raise the thread himself.
needed+=(pkg-config libdbus-1-dev)
# The network link is tested through a real serial device server.
needed+=(ser2net)
# make fuzz builds the fuzz targets with clang and its libFuzzer.
needed+=(clang libclang-rt-14-dev)
# make package: dependencies from the binaries; the package's own checks.
needed+=(dpkg-dev lintian desktop-file-utils)
# The Windows build and its tests: MinGW-w64 (posix threads) and Wine.
needed+=(g++-mingw-w64-x86-64-posix wine64 wine)
missing=()
for p in "${needed[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo > /dev/null; then
        echo "install-deps: missing packages and neither root nor sudo here; as root, run:" >&2
        echo "  apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
