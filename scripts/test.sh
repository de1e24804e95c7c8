#!/usr/bin/env bash
# Everything CI checks, from a fresh clone: set-up and build, every test inside a
# private network namespace, the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and each fuzz target for a bounded time.
#
#   scripts/test.sh                 all of it
#   FUZZ_SECONDS=5 scripts/test.sh  shorter fuzz runs
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${FUZZ_SECONDS:-30}
jobs=$(nproc)

scripts/setup.sh

echo "== tests (build/dev)"
scripts/in-netns.sh ctest --preset dev -j "$jobs"

echo "== unit tests under ASan/UBSan (build/asan)"
cmake --preset asan >/dev/null
cmake --build --preset asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  scripts/in-netns.sh ctest --preset asan -j "$jobs"

echo "== fuzzing, ${fuzz_seconds}s per target (build/fuzz)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz/run-fuzzers.sh build/fuzz "$fuzz_seconds"

echo "== all checks passed"
