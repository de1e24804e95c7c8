#!/bin/sh
# Builds the codec benchmark if needed and runs it.
#   bench/run-codec-bench.sh [BUILD_DIR] [benchmark options...]
# BUILD_DIR defaults to ./build-bench; a missing or empty one is configured as a
# Release build of the core and the benchmarks only. Further options go to the
# program, e.g. --benchmark_min_time=2 for steadier figures.
# Exits non-zero if the build fails, a case misbehaves or the codec allocates.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build_dir=${1:-build-bench}
[ $# -gt 0 ] && shift

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    generator=
    command -v ninja >/dev/null 2>&1 && generator="-G Ninja"
    # shellcheck disable=SC2086 # the generator is two words or none
    cmake -S "$source_dir" -B "$build_dir" $generator -DCMAKE_BUILD_TYPE=Release \
        -DVELMAR_BUILD_SHELL=OFF -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_BENCH=ON
fi
cmake --build "$build_dir" --target velmar_codec_bench

exec "$build_dir/bench/velmar_codec_bench" "$@"
