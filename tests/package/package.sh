#!/usr/bin/env bash
# The Debian package as an engineer gets it: built by CPack, passed by lintian, unpacked
# into a read-only tree, and its zantir-cli run from there against its zantir-sim; the
# settings and the configuration file land in the user's XDG folders, nothing beside
# the program. package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/zantir-package-XXXXXX)
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2> /dev/null
    chmod -R u+w "$work" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate; do
    command -v "$tool" > /dev/null || { echo "package test: $tool is not installed" >&2; exit 77; }
done
(cd "$build" && cpack -G DEB > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls -t "$build"/package/zantir_*.deb | head -n 1)
lintian --fail-on error "$deb" 2>&1 | grep -v 'root privileges' || true
lintian --fail-on error "$deb" > /dev/null 2>&1 || fail "lintian reports errors on $deb"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks what the binaries need"

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/zantir.desktop" || fail "desktop entry"
exec_line=$(sed -n 's/^Exec=//p' "$work/root/usr/share/applications/zantir.desktop")
[ -x "$work/root/usr/bin/$exec_line" ] || fail "the menu entry starts '$exec_line', not in usr/bin"
for page in zantir zantir-cli zantir-sim; do
    [ -s "$work/root/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
done
zcat "$work/root/usr/share/man/man1/zantir-cli.1.gz" | grep -q 'save\\-settings' \
    || fail "zantir-cli's manual page lacks a command its --help has"
chmod -R a-w "$work/root"

# Root writes anywhere: the programs run without the right to override permissions.
run=()
if [ "$(id -u)" -eq 0 ]; then
    run=(setpriv --bounding-set=-dac_override,-dac_read_search --)
fi
home="$work/home"
mkdir -p "$home"
bin="$work/root/usr/bin"

for xdg in unset set; do
    if [ "$xdg" = set ]; then
        export XDG_CONFIG_HOME="$work/xdg-config" XDG_DATA_HOME="$work/xdg-data"
        config_dir="$XDG_CONFIG_HOME/zantir" data_dir="$XDG_DATA_HOME/zantir"
    else
        unset XDG_CONFIG_HOME XDG_DATA_HOME
        config_dir="$home/.config/zantir" data_dir="$home/.local/share/zantir"
    fi
    where=$(HOME="$home" "${run[@]}" "$bin/zantir-cli" where)
    expected=$(printf 'CONFIG\t%s\nINI\t%s\nPORTS\t%s' "$data_dir/CONFIG" "$config_dir/INI" \
        "$config_dir/PORTS")
    [ "$where" = "$expected" ] || fail "where ($xdg XDG) says: $where"

    "$bin/zantir-sim" --link "$work/device" --rate 9600 > "$work/sim.out" 2> "$work/sim.log" &
    sim=$!
    for _ in $(seq 50); do grep -q '^pty ' "$work/sim.out" 2> /dev/null && break; sleep 0.1; done
    HOME="$home" "${run[@]}" "$bin/zantir-cli" --port "$work/device" --rate 9600 save-settings \
        || fail "save-settings from the read-only tree"
    saved=$(HOME="$home" "${run[@]}" "$bin/zantir-cli" --port "$work/device" read) \
        || fail "read from the read-only tree"
    kill "$sim"; wait "$sim" 2> /dev/null || true; sim=""
    [ "$(stat -c %s "$config_dir/INI/zantir.ini")" = 286 ] || fail "no settings in $config_dir/INI"
    case "$saved" in "$data_dir/CONFIG/"zrt16-mk5-*.cnf) ;; *) fail "read saved '$saved'" ;; esac
    [ "$(stat -c %s "$saved")" = 1247 ] || fail "$saved is not a whole configuration file"
done
[ -z "$(find "$work/root" -newer "$deb" -not -type d)" ] || fail "something was written into the program's tree"
echo "package test: $(basename "$deb") passed lintian, and runs from a read-only tree into the XDG folders"
