#!/bin/sh
# Runs every fuzz target for a while on a copy of its seed corpus.
#   fuzz/run-fuzzers.sh BUILD_DIR [SECONDS]
# BUILD_DIR is a tree configured with clang and -DVELMAR_FUZZ=ON; the targets
# are built first if needed. Each target fuzz_NAME runs on a copy of
# fuzz/corpus/NAME in a temporary directory, so the corpus in the repository
# stays as it is. A crash, hang or leak is kept under fuzz/crashes/ and makes
# the script exit non-zero after the remaining targets have run.
set -u

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [SECONDS]" >&2
    exit 2
fi
build_dir=$1
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
crash_dir=$here/crashes

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    echo "$build_dir is not configured; configure it with:" >&2
    echo "  CC=clang CXX=clang++ cmake -S $(dirname "$here") -B $build_dir -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \\" >&2
    echo "    -DVELMAR_FUZZ=ON -DVELMAR_BUILD_SHELL=OFF -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_BENCH=OFF" >&2
    exit 2
fi
cmake --build "$build_dir" --target fuzz_all || exit 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$crash_dir"

# Undefined behaviour is reported with its stack, like the address sanitizer's findings.
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
export UBSAN_OPTIONS

failed=0
for corpus in "$here"/corpus/*/; do
    name=$(basename "$corpus")
    target=fuzz_$name
    binary=$build_dir/fuzz/$target
    if [ ! -x "$binary" ]; then
        echo "$target: not built" >&2
        failed=1
        continue
    fi
    mkdir -p "$work/$name"
    cp "$corpus"* "$work/$name/"
    seeds=$(find "$work/$name" -type f | wc -l)

    echo "== $target for $seconds s"
    "$binary" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$crash_dir/$target-" "$work/$name" >"$work/$name.log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")
    grown=$(find "$work/$name" -type f | wc -l)
    if [ $status -eq 0 ]; then
        echo "$target: ${runs:-?} executions, corpus $seeds -> $grown inputs, no crash"
    else
        failed=1
        echo "$target: FAILED (exit $status) after ${runs:-?} executions"
        # the sanitizer's report and the reproducer's name
        grep -E '^(==[0-9]+==|SUMMARY|    #[0-9]+ |.*runtime error|.*check failed|artifact_prefix|Test unit written)' \
            "$work/$name.log" | head -n 40
    fi
done
exit $failed
