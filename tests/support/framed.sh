#!/usr/bin/env bash
# Runs a Qt test program as on a desk: an Xvfb display of its own with openbox's window
# frames, on the xcb platform. Exits 77 (skipped) where Xvfb or openbox is not installed.
set -uo pipefail
for tool in Xvfb openbox xprop; do
    command -v "$tool" > /dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/zantir-framed-XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2> /dev/null; done
    wait 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# The server picks a free display and writes its number: tests may run side by side.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
# The display takes connections once the root window can be read.
for _ in $(seq 100); do xprop -root > /dev/null 2>&1 && break; sleep 0.05; done
# openbox is up once it has announced itself on the root window. On a loaded machine it
# may fail to reach the display at its first try: it is started again, three times at most.
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; }
for _ in 1 2 3; do
    openbox --sm-disable >> "$work/openbox.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        wm_up && break
        sleep 0.05
    done
    wm_up && break
done
wm_up || { echo "openbox did not start:"; cat "$work/openbox.log"; exit 1; }
export QT_QPA_PLATFORM=xcb
"$@"
