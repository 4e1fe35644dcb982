#!/usr/bin/env bash
# Fetches Debian's own source of a package into DIR, without touching the machine's apt setup:
# the deb-src entries are derived from the machine's apt source files (same URIs, suites and
# components) and used from a private apt state folder.
# Usage: qt-source.sh PACKAGE DIR
set -euo pipefail
package=$1
dir=$2
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/sources.list.d" "$dir"

# deb822 files: each stanza of Types "deb" becomes the same stanza with Types "deb-src".
shopt -s nullglob
for f in /etc/apt/sources.list.d/*.sources; do
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*(^| )deb( |\n|$)/ && !/(^|\n)Enabled: *no/ {
             sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); print }' "$f" \
        > "$state/sources.list.d/$(basename "$f")"
done
# One-line files: "deb [opts] URI suite components" becomes "deb-src ...".
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" > "$state/sources.list.d/$(basename "$f").list"
done

apt_opts=(-o "Dir::State=$state" -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache"
          -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$state/sources.list.d"
          -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
apt-get "${apt_opts[@]}" update -qq
cd "$dir"
apt-get "${apt_opts[@]}" source -qq "$package"
