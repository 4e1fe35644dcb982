#!/usr/bin/env bash
# zantir-cli reaches zantir-sim through Debian's ser2net, as an engineer reaches a device
# behind a serial device server: raw TCP and RFC 2217 accepters on 127.0.0.1 in front of
# the simulator's pty. Through both: ident, a whole read whose .cnf is byte for byte that
# of a direct read, with the same frames on the device's side, write-changed, and the
# rate: RFC 2217 sets the server's, raw TCP talks at the rate the server is set to.
# Usage: ser2net.sh ZANTIR-SIM ZANTIR-CLI
set -uo pipefail
sim=$(realpath "$1") cli=$(realpath "$2")
command -v ser2net > /dev/null || { echo "ser2net: not installed" >&2; exit 77; }
work=$(mktemp -d)
sim_pid="" server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2> /dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "ser2net: $*" >&2
    exit 1
}
# The program's folders (CONFIG, INI) are those beside it: a folder of this test's own.
mkdir -p "$work/program"
ln -s "$cli" "$work/program/zantir-cli"
run() { (cd "$work" && "$work/program/zantir-cli" "$@"); }

start_sim() {  # NAME [OPTIONS]: the log of its frames is NAME.log
    local name=$1
    shift
    "$sim" --link "$work/device" --log "$@" > "$work/sim.out" 2> "$work/$name.log" &
    sim_pid=$!
    for _ in $(seq 50); do grep -q '^pty ' "$work/sim.out" 2> /dev/null && break; sleep 0.1; done
    grep -q '^pty ' "$work/sim.out" || fail "the simulator did not start"
}
stop_sim() {
    kill "$sim_pid"
    wait "$sim_pid" 2> /dev/null
    sim_pid=""
}
frames() { sed 's/^ *[0-9]* ms *//' "$work/$1.log"; }

# Two ports next to each other that nothing listens on.
listening() { grep -qi ":$(printf '%04X' "$1") [0-9A-F:]* 0A " /proc/net/tcp /proc/net/tcp6 2> /dev/null; }
while :; do
    raw=$((20000 + RANDOM % 30000)) rfc=$((raw + 1))
    listening $raw || listening $rfc || break
done
start_server() {  # RATE: the rate the server opens the line at
    local pty
    pty=$(readlink -f "$work/device")
    cat > "$work/ser2net.yaml" << EOF
connection: &raw
    accepter: tcp,127.0.0.1,$raw
    connector: serialdev,$pty,$1n81,local
    options:
      kickolduser: false
connection: &rfc2217
    accepter: telnet(rfc2217),tcp,127.0.0.1,$rfc
    connector: serialdev,$pty,$1n81,local
    options:
      kickolduser: false
EOF
    ser2net -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" > "$work/ser2net.err" 2>&1 &
    server_pid=$!
    for _ in $(seq 50); do listening $rfc && listening $raw && break; sleep 0.1; done
    listening $rfc || fail "ser2net did not start: $(cat "$work/ser2net.err")"
}
stop_server() {
    kill "$server_pid" 2> /dev/null
    wait "$server_pid" 2> /dev/null
    server_pid=""
}

# The direct read, to compare with.
start_sim direct --rate 9600
run --port "$work/device" --rate 9600 --direct read direct.cnf > /dev/null 2> "$work/direct.err" ||
    fail "the direct read failed: $(cat "$work/direct.err")"
stop_sim

for link in tcp rfc2217; do
    start_sim "$link" --rate 9600
    start_server 9600
    address=127.0.0.1:$([ $link = tcp ] && echo $raw || echo $rfc)
    run --$link "$address" --rate 9600 read "$link.cnf" > /dev/null 2> "$work/$link.err" ||
        fail "read through --$link failed: $(cat "$work/$link.err")"
    cmp "$work/direct.cnf" "$work/$link.cnf" || fail "the .cnf read through --$link differs"
    diff <(frames direct) <(frames "$link") > "$work/frames.diff" ||
        fail "the frames through --$link differ:"$'\n'"$(cat "$work/frames.diff")"
    run --$link "$address" --rate 9600 ident > "$work/ident.out" 2> "$work/ident.err" ||
        fail "ident through --$link failed: $(cat "$work/ident.err")"
    # Flow computer 12 to port C: one field written, read back and found as written.
    cp "$work/$link.cnf" "$work/edited.cnf"
    printf '\003' | dd of="$work/edited.cnf" bs=1 seek=100 conv=notrunc status=none
    run --$link "$address" --rate 9600 write-changed edited.cnf > /dev/null 2> "$work/write.err" ||
        fail "write-changed through --$link failed: $(cat "$work/write.err")"
    grep -q "Записано и проверено" "$work/write.err" ||
        fail "write-changed through --$link was not checked: $(cat "$work/write.err")"
    stop_server
    stop_sim
done

# The rate: a device at 19200 behind a server opened at 9600. RFC 2217 sets the server's
# rate to the program's; raw TCP cannot, and finds no device until the server is set.
start_sim rate --rate 19200
start_server 9600
run --rfc2217 127.0.0.1:$rfc --rate 19200 ident > /dev/null 2> "$work/rate.err" ||
    fail "ident at 19200 through --rfc2217 failed: $(cat "$work/rate.err")"
# ser2net lets the device go a moment after its client has gone; until then the other
# accepter is refused as busy.
sleep 1
run --tcp 127.0.0.1:$raw --rate 19200 ident > /dev/null 2> "$work/raw-rate.err" &&
    fail "raw TCP reached a device at another rate than its server's"
grep -q "Устройство не отвечает" "$work/raw-rate.err" ||
    fail "raw TCP at the wrong rate said: $(cat "$work/raw-rate.err")"
stop_server
start_server 19200
run --tcp 127.0.0.1:$raw --rate 19200 ident > /dev/null 2> "$work/raw-rate.err" ||
    fail "ident at 19200 through a server set to 19200 failed: $(cat "$work/raw-rate.err")"
stop_server
stop_sim

echo "ser2net: raw TCP and RFC 2217 read $(frames direct | grep -c '<-') requests' worth," \
    "the same frames and .cnf as a direct read; write-changed checked; RFC 2217 set 19200"
