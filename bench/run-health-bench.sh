#!/usr/bin/env bash
# velmarctl health against one and against N simulated frames (default 20),
# inside a private network namespace: the frames are checked at the same
# time, so the wall time for N should stay close to the time for one.
#   bench/run-health-bench.sh [BUILD_DIR] [N]   (default build/dev, built already)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/dev}
build=$(cd "$build" && pwd)
count=${2:-20}
if [[ "${VELMAR_IN_NETNS:-}" != 1 ]]; then
  exec env VELMAR_IN_NETNS=1 "$here/../scripts/in-netns.sh" "$0" "$build" "$count"
fi

ctl=$build/app/velmarctl
frames=()
hosts=()
trap 'kill "${frames[@]}" 2>/dev/null' EXIT
for k in $(seq 2 $((count + 1))); do
  "$build/framesim/velmar-framesim" --preset 460 --address "127.0.0.$k" >/dev/null 2>&1 &
  frames+=($!)
  hosts+=("127.0.0.$k")
done
for h in "${hosts[@]}"; do
  for _ in $(seq 50); do "$ctl" status "$h" --type 460 >/dev/null 2>&1 && break; done
done

runs=5
mean_ms() { # command words...; prints the mean wall time of $runs runs
  local start end
  start=$(date +%s%N)
  for _ in $(seq $runs); do "$@" >/dev/null || true; done
  end=$(date +%s%N)
  echo $(( (end - start) / runs / 1000000 ))
}

echo "health, 1 frame:            $(mean_ms "$ctl" health "${hosts[0]}" --type 460) ms"
echo "health, $count frames:          $(mean_ms "$ctl" health "${hosts[@]}" --type 460) ms"
echo "health, 1 frame (search):   $(mean_ms "$ctl" health "${hosts[0]}") ms"
echo "health, $count frames (search): $(mean_ms "$ctl" health "${hosts[@]}") ms"
