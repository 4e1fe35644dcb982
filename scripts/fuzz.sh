#!/usr/bin/env bash
# Runs every fuzz target of a ZANTIR_FUZZ build for the given seconds each, on a scratch
# copy of its committed corpus and regressions (the committed folders never grow).
# Prints each target's run count; a finding is printed in hex and kept under
# <build>/findings/<target>/, and the script fails once every target has run. The last
# line is the summary that `make test` repeats.
#   scripts/fuzz.sh BUILD-FOLDER SECONDS
set -uo pipefail
build=${1:?usage: fuzz.sh BUILD-FOLDER SECONDS}
seconds=${2:?usage: fuzz.sh BUILD-FOLDER SECONDS}
source=$(cd "$(dirname "$0")/.." && pwd)
# One target for each corpus folder.
targets=()
for folder in "$source"/tests/fuzz/corpus/*/; do
    targets+=("$(basename "$folder")")
done
rm -f "$build/fuzz-summary"
found=0
for t in "${targets[@]}"; do
    program="$build/tests/fuzz/fuzz-$t"
    if [ ! -x "$program" ]; then
        echo "fuzz: $program is not built" >&2
        exit 2
    fi
    work="$build/fuzz-work/$t"
    findings="$build/findings/$t"
    rm -rf "$work"
    mkdir -p "$work" "$findings"
    cp "$source/tests/fuzz/corpus/$t"/* "$work"/
    find "$source/tests/fuzz/regressions/$t" -maxdepth 1 -type f ! -name '.*' \
        -exec cp {} "$work"/ \;
    log="$build/fuzz-work/$t.log"
    "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -artifact_prefix="$findings/" "$work" > "$log" 2>&1
    status=$?
    runs=$(sed -n 's/^Done \([0-9]*\) runs in .*/\1/p' "$log" | tail -n 1)
    if [ "$status" -eq 0 ] && [ -n "$runs" ]; then
        printf 'fuzz-%-9s %10d runs in %d s: no finding\n' "$t" "$runs" "$seconds"
        continue
    fi
    found=$((found + 1))
    echo "fuzz-$t: FINDING (exit status $status)"
    grep -E 'ERROR|runtime error|invariant broken|SUMMARY|deadly signal|Test unit written' \
        "$log" | head -n 20 | sed 's/^/  /'
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    if [ -n "$artifact" ] && [ -f "$artifact" ]; then
        echo "  input ($(stat -c %s "$artifact") bytes), kept as $artifact:"
        if command -v xxd > /dev/null; then
            xxd "$artifact"
        else
            od -A x -t x1z "$artifact"
        fi | head -n 64 | sed 's/^/    /'
        echo "  replay: $program $artifact; add it under tests/fuzz/regressions/$t/ once fixed"
    else
        echo "  no input was saved; the whole log is $log"
    fi
done
if [ "$found" -gt 0 ]; then
    echo "fuzzing ${#targets[@]} targets × $seconds s: $found with a finding" | tee "$build/fuzz-summary"
    exit 1
fi
echo "fuzzing ${#targets[@]} targets × $seconds s: no finding" | tee "$build/fuzz-summary"
