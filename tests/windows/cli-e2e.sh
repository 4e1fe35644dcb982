#!/usr/bin/env bash
# zantir-cli.exe under Wine reads a whole configuration from zantir-sim through Wine's COM1,
# and what went over the line and the .cnf file it saves are byte for byte those of the
# Linux zantir-cli against the same simulator.
# Usage: cli-e2e.sh WINE_WRAPPER PREFIX ZANTIR-CLI.EXE HOST_ZANTIR_SIM HOST_ZANTIR_CLI
set -uo pipefail
wine_run=$1 prefix=$2 cli_exe=$3 sim=$4 host_cli=$5
work=$(mktemp -d)
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2> /dev/null
    WINEPREFIX=$prefix wineserver -k > /dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "cli-e2e: $*" >&2
    exit 1
}

# A simulator at 9600 bit/s, every frame logged; the rate is a standard one, since Wine
# turns the others into 38400.
start_sim() {
    "$sim" --link "$work/device" --rate 9600 --log > "$work/sim.out" 2> "$work/$1.log" &
    sim_pid=$!
    for _ in $(seq 50); do grep -q '^pty ' "$work/sim.out" 2> /dev/null && break; sleep 0.1; done
    grep -q '^pty ' "$work/sim.out" || fail "the simulator did not start"
}
stop_sim() {
    kill "$sim_pid"
    wait "$sim_pid" 2> /dev/null
    sim_pid=""
}
# The frames alone, without their times.
frames() { sed 's/^ *[0-9]* ms *//' "$work/$1.log"; }

start_sim windows
pty=$(sed -n 's/^pty \([^ ]*\).*/\1/p' "$work/sim.out")
# Wine makes its COM ports from this key when it starts (a dosdevices link alone is
# overwritten then); a prefix of this test's own, so that the restart disturbs no one.
"$wine_run" "$prefix" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$pty" /f > /dev/null
status=$?
[ $status -eq 77 ] && exit 77
[ $status -eq 0 ] || fail "cannot map COM1 to $pty in Wine's registry"
WINEPREFIX=$prefix wineserver -k > /dev/null 2>&1
WINEPREFIX=$prefix wineserver -w > /dev/null 2>&1

(cd "$work" && "$wine_run" "$prefix" "$cli_exe" --port COM1 --rate 9600 --direct read windows.cnf \
    > "$work/windows.out" 2> "$work/windows.err")
status=$?
stop_sim
[ $status -eq 0 ] || fail "zantir-cli.exe read failed ($status): $(cat "$work/windows.err")"
# A Windows program ends its lines with CR LF.
tr -d '\r' < "$work/windows.out" | grep -qx 'windows.cnf' || fail "zantir-cli.exe printed: $(cat "$work/windows.out")"

start_sim linux
(cd "$work" && "$host_cli" --port "$work/device" --rate 9600 --direct read linux.cnf \
    > /dev/null 2> "$work/linux.err") || fail "the Linux zantir-cli read failed: $(cat "$work/linux.err")"
stop_sim

cmp "$work/windows.cnf" "$work/linux.cnf" || fail "the .cnf files differ"
[ "$(stat -c %s "$work/windows.cnf")" = 1247 ] || fail "windows.cnf is no whole configuration"
diff <(frames windows) <(frames linux) > "$work/frames.diff" ||
    fail "the frames differ:"$'\n'"$(cat "$work/frames.diff")"
[ "$(frames windows | wc -l)" -ge 14 ] || fail "too few frames: $(frames windows | wc -l)"
echo "cli-e2e: zantir-cli.exe under Wine read $(frames windows | grep -c '<-') requests' worth" \
    "through COM1 ($pty), the same frames and .cnf as on Linux"
