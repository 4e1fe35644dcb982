#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when missing.
set -euo pipefail
needed=(g++ make cmake libgtest-dev qt6-base-dev fonts-dejavu-core)
# The demo runs the program under Xvfb when there is no display.
[ "${1:-}" = demo ] && needed+=(xvfb xdotool imagemagick x11-utils openbox)
missing=()
for p in "${needed[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
