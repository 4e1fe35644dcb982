#!/usr/bin/env bash
# The program against zantir-sim: a demo program folder (a link to the executable,
# settings for COM1 at 9600 bit/s, PORTS/COM1 linked to the simulator's pty). With a
# display the program opens there; without one it runs under Xvfb, "Связаться" is
# pressed as an operator would, and a screenshot of the connected window is taken.
# With WINDOWS=FOLDER (the unpacked zip of make windows) it is zantir.exe under Wine instead,
# its COM1 mapped to the simulator's pty in a Wine prefix of the demo's own.
set -euo pipefail
# The window titles are Cyrillic: xdotool matches them only in a UTF-8 locale, whatever
# the caller's locale is (a container, a CI job, env -i).
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
demo=$(mktemp -d /tmp/zantir-demo-XXXXXX)
mkdir -p "$demo/PORTS" "$demo/INI" "$demo/CONFIG"
if [ -n "${WINDOWS:-}" ]; then
    cp -r "$WINDOWS"/. "$demo/"
    program=(wine "$demo/zantir.exe")
    device=$demo/device
    export WINEPREFIX=$demo/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
else
    ln -s "$build/app/zantir" "$demo/zantir"
    program=("$demo/zantir")
    device=$demo/PORTS/COM1
fi

# zantir.ini: direct link, COM1, 9600 bit/s, 2 attempts, 100 ms between bytes,
# 2 s for the first byte, RTS pause 2 ms; the telephone fields empty.
{
    printf '\x00\x00\x01\x80\x25\x00\x00\x00\x02\x64\x00\x00\x00\x02\x00\x00\x00\x02\x00\x00\x00\x01'
    head -c 255 /dev/zero
    printf '\x32\x00\x00\x00\x00\x01\x00\x00\x00'
} > "$demo/INI/zantir.ini"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

"$build/sim/zantir-sim" --link "$device" --rate 9600 --log \
    > "$demo/sim.out" 2> "$demo/sim.log" &
pids+=($!)
for _ in $(seq 50); do grep -q '^pty ' "$demo/sim.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^pty ' "$demo/sim.out" || { echo "zantir-sim did not start" >&2; exit 1; }
pty=$(sed -n 's/^pty \([^ ]*\).*/\1/p' "$demo/sim.out")
echo "device: zantir-sim on $pty (COM1), log in $demo/sim.log"
if [ -n "${WINDOWS:-}" ]; then
    # Wine makes its COM ports from this key when it starts.
    wineboot -i > "$demo/wineboot.log" 2>&1
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$pty" /f > /dev/null 2>&1
    wineserver -k > /dev/null 2>&1 || true
    wineserver -w
fi

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    "${program[@]}"
    exit 0
fi

# The server takes a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3> "$demo/display" > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$demo/display" ] && break; sleep 0.1; done
[ -s "$demo/display" ] || { echo "Xvfb did not start (is the xvfb package installed?)" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$demo/display")"
if command -v openbox > /dev/null; then  # frames, placement and a maximised main window
    openbox > /dev/null 2>&1 &
    pids+=($!)
    sleep 0.5
fi

"${program[@]}" > "$demo/zantir.log" 2>&1 &
app=$!
pids+=($app)
dialog=""
for _ in $(seq 300); do
    dialog=$(xdotool search --name 'Параметры связи с ЗАНТИРом' 2>/dev/null | head -n 1 || true)
    [ -n "$dialog" ] && break
    sleep 0.1
done
[ -n "$dialog" ] || {
    echo "no window titled 'Параметры связи с ЗАНТИРом' (the connection dialog) appeared" \
        "within 30 s on $DISPLAY; the program's output is in $demo/zantir.log" >&2
    exit 1
}
sleep 0.5
# The operator clicks "Связаться", the first button of the row above the status bar,
# whatever height the dialog's fonts and frame have given it.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove --window "$dialog" --sync 55 $((HEIGHT - 41)) click 1
# Connected once the device has answered the identification read.
answered=""
for _ in $(seq 100); do
    grep -q -- '-> ' "$demo/sim.log" && answered=1 && break
    sleep 0.1
done
sleep 1.5
import -window root "$demo/zantir-demo.png"
echo "screenshot: $demo/zantir-demo.png"
if [ -z "$answered" ]; then
    echo "the program did not reach the device: see $demo/sim.log and the screenshot" >&2
    exit 1
fi
echo "connected: the device answered the identification read"
