#!/usr/bin/env bash
# Everything CI checks, from a fresh clone: set-up and build, every test inside a
# private network namespace, the release build and its Debian package (contents,
# dependencies, the programs run from an unpacked copy), the whole tree and its
# tests built with clang, the unit tests again under AddressSanitizer and
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

echo "== release build and Debian package (build/release)"
cmake --preset release >/dev/null
# The release build has no -Werror (for users' newer compilers); on Debian 12's
# compilers it must still be free of warnings.
cmake --build --preset release 2>&1 | tee build/release-build.log
if grep -q 'warning:' build/release-build.log; then
  echo "the release build has warnings (build/release-build.log)" >&2
  echo "(GCC 12 at -O3 warns falsely with -Wrestrict on \"text\" + std::string temporaries;" >&2
  echo " append the pieces one by one instead)" >&2
  exit 1
fi
cmake --build --preset release --target package
version=$(sed -n 's/.*kVersion = "\(.*\)";/\1/p' build/release/generated/VelmarVersion.h)
scripts/check-package.sh "build/release/velmar_${version}_amd64.deb"

echo "== the whole tree and its tests with clang (build/clang)"
cmake --preset clang >/dev/null
cmake --build --preset clang
scripts/in-netns.sh ctest --preset clang -j "$jobs"

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
