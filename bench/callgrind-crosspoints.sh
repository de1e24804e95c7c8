#!/bin/sh
# Instruction counts of the two crosspoint cases, stable from run to run:
#   bench/callgrind-crosspoints.sh [BUILD_DIR]   (default build/dev)
set -eu
build=${1:-build/dev}
bench="$build/bench/velmar_crosspoint_bench"
out=$(mktemp -d)
for case in Lcross XptLoad; do
    valgrind --tool=callgrind --callgrind-out-file="$out/$case" --toggle-collect="*runCase$case*" \
        "$bench" --once >/dev/null 2>"$out/$case.log"
    printf '%-8s %s instructions\n' "$case" "$(sed -n 's/.*Collected : //p' "$out/$case.log")"
done
rm -rf "$out"
