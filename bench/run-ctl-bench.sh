#!/usr/bin/env bash
# velmarctl against a simulated 460, inside a private network namespace:
# how long each command takes from start to exit (the frame's start-up poll
# included), a 1536-line .xpt load, the CPU an idle watch uses, and memory.
#   bench/run-ctl-bench.sh [BUILD_DIR]      (default build/dev, built already)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/dev}
build=$(cd "$build" && pwd)
if [[ "${VELMAR_IN_NETNS:-}" != 1 ]]; then
  exec env VELMAR_IN_NETNS=1 "$here/../scripts/in-netns.sh" "$0" "$build"
fi

ctl=$build/app/velmarctl
"$build/framesim/velmar-framesim" --preset 460 --address 127.0.0.2 >/dev/null 2>&1 &
frame=$!
trap 'kill $frame 2>/dev/null' EXIT
for _ in $(seq 50); do "$ctl" status 127.0.0.2 --type 460 >/dev/null 2>&1 && break; done

runs=10
mean_ms() { # command words...; prints the mean wall time of $runs runs
  local start end
  start=$(date +%s%N)
  for _ in $(seq $runs); do "$@" >/dev/null; done
  end=$(date +%s%N)
  echo $(( (end - start) / runs / 1000000 ))
}

echo "status (search for the type first): $(mean_ms "$ctl" status 127.0.0.2) ms"
echo "status --type 460:                   $(mean_ms "$ctl" status 127.0.0.2 --type 460) ms"
echo "route one crosspoint:                $(mean_ms "$ctl" route 127.0.0.2 5 17 --type 460) ms"

file=$(mktemp --suffix=.xpt)
for o in $(seq 1536); do printf '%d=%d,%d\r\n' "$o" "$o" $(( o % 1536 + 1 )); done >"$file"
echo "xpt load of 1536 crosspoints:        $(mean_ms "$ctl" xpt load 127.0.0.2 "$file" --type 460) ms"
rm -f "$file"

/usr/bin/time -f "idle watch for 3 s:                 %U s user, %S s system" \
  timeout --preserve-status -s INT 3 "$ctl" watch 127.0.0.2 --type 460
/usr/bin/time -f "status, maximum resident set:       %M kB" \
  "$ctl" status 127.0.0.2 --type 460 >/dev/null
