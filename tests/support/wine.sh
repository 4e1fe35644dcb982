#!/usr/bin/env bash
# Runs a Windows program under Wine, in a Wine prefix of the build's own.
# Usage: wine.sh PREFIX PROGRAM.exe [ARGS...]
# Exits 77 (a skipped test) where Wine is missing or cannot start.
set -uo pipefail
export WINEPREFIX=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
# No prompts to fetch Mono or Gecko: the programs need neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if ! command -v wine > /dev/null; then
    echo "wine.sh: Wine is not installed; Windows tests skipped" >&2
    exit 77
fi
mkdir -p "$(dirname "$WINEPREFIX")"
# The first program of a run makes the prefix; the others wait for it.
if ! flock "$WINEPREFIX.lock" bash -c '[ -f "$WINEPREFIX/system.reg" ] || wineboot -i > "$WINEPREFIX.boot.log" 2>&1'; then
    echo "wine.sh: Wine cannot start here (see $WINEPREFIX.boot.log); Windows tests skipped" >&2
    exit 77
fi
wine "$@" 2> >(grep -v -e 'wine32 is missing' -e 'multiarch needs' -e 'dpkg --add-architecture' \
                      -e 'apt-get install wine32' >&2)
