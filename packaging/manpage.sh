#!/usr/bin/env bash
# A manual page from the text the program prints for --help, so that the two cannot
# drift apart. manpage.sh PROGRAM SUMMARY FILES-TEXT OUTPUT.gz
set -euo pipefail
program=$1 summary=$2 files=$3 output=$4
name=$(basename "$program")
help=$("$program" --help)
escape() { sed -e 's/\\/\\e/g' -e 's/^\([.'"'"']\)/\\\&\1/' -e 's/-/\\-/g'; }
{
    echo ".TH $(echo "$name" | tr a-z A-Z) 1 \"\" \"zantir\" \"User Commands\""
    echo ".SH NAME"
    echo "$name \\- $summary"
    echo ".SH SYNOPSIS"
    echo "$help" | sed -n '1s/^usage: //p' | escape
    echo ".SH DESCRIPTION"
    echo ".nf"
    echo "$help" | sed '1,2d' | escape
    echo ".fi"
    echo ".SH FILES"
    echo "$files" | escape
    echo ".SH SEE ALSO"
    echo ".BR zantir\\-cli (1),"
    echo ".BR zantir\\-sim (1)"
} | gzip -9n > "$output"
