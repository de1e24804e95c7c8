#!/bin/sh
# Instruction counts of the grid's repaint cases (offscreen, no display needed):
#   bench/callgrind-grid.sh [BUILD_DIR]   (default build/dev)
# Paint is called three times (window, fit-all, after the lcross blocks);
# LcrossRepaint is the blocks' decode and dispatch plus the last repaint.
set -eu
build=${1:-build/dev}
bench="$build/bench/velmar_grid_bench"
out=$(mktemp -d)
for case in Paint LcrossRepaint; do
    QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --callgrind-out-file="$out/$case" \
        --toggle-collect="*runCase$case*" "$bench" --once >/dev/null 2>"$out/$case.log"
    printf '%-14s %s instructions\n' "$case" "$(sed -n 's/.*Collected : //p' "$out/$case.log")"
done
rm -rf "$out"
