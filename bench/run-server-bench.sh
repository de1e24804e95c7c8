#!/usr/bin/env bash
# velmar-server holding a facility: N simulated frames (default 200) served
# by one framesim process on 127.0.1.1 onwards, and velmar-server as a
# process of its own with all of them configured. Measures how long the N
# take to be connected and read after start, the server's resident memory
# once they are (goal under 300 MB), and its CPU while idle over 30 s (goal
# under 5% of one core). Runs itself inside a private network namespace.
#   bench/run-server-bench.sh [BUILD_DIR] [N] [IDLE_SECONDS]   (default build/dev, built already)
# VELMAR_SERVER=PATH measures another build of the server against the same frames.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/dev}
build=$(cd "$build" && pwd)
count=${2:-200}
idle=${3:-30}
if [[ "${VELMAR_IN_NETNS:-}" != 1 ]]; then
  exec env VELMAR_IN_NETNS=1 "$here/../scripts/in-netns.sh" "$0" "$build" "$count" "$idle"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  [[ ${#pids[@]} -gt 0 ]] && kill "${pids[@]}" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/framesim/velmar-framesim" --preset 460 --address 127.0.1.1 --frames "$count" \
  >"$work/framesim.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do
  [[ $(grep -c "^frame " "$work/framesim.log" 2>/dev/null || true) -ge $count ]] && break
  sleep 0.05
done

{
  echo "listen = 127.0.0.1:8470"
  echo "state-directory = $work/state"
  for n in $(seq "$count"); do
    echo "frame = 127.0.1.$n=f$n"
  done
} >"$work/server.conf"
# Beyond 255 frames the addresses run into the next /24; keep to what the
# loop above can write.
if (( count > 254 )); then echo "at most 254 frames here" >&2; exit 2; fi

api=http://127.0.0.1:8470/api/v1
start=$(date +%s%N)
"${VELMAR_SERVER:-$build/app/velmar-server}" --config "$work/server.conf" >"$work/server.log" 2>&1 &
server=$!
pids+=("$server")

# Connected and read: the frame's routes can be served (503 while it is still being read).
connected=0
while :; do
  connected=$(curl -sf "$api/frames" | jq '[.frames // . | .[] | select(.state == "connected")] | length' 2>/dev/null || echo 0)
  (( connected >= count )) && break
  if (( ($(date +%s%N) - start) / 1000000000 > 120 )); then
    echo "only $connected of $count frames connected after 120 s" >&2
    tail -5 "$work/server.log" >&2
    exit 1
  fi
  sleep 0.05
done
connected_ms=$(( ($(date +%s%N) - start) / 1000000 ))
unread=$count
while (( unread > 0 )); do
  unread=0
  for n in $(seq "$count"); do
    code=$(curl -s -o /dev/null -w '%{http_code}' "$api/frames/f$n/routes")
    [[ $code == 200 ]] || unread=$((unread + 1))
  done
  if (( unread > 0 && ($(date +%s%N) - start) / 1000000000 > 180 )); then
    echo "$unread of $count frames still not read after 180 s" >&2
    exit 1
  fi
done
read_ms=$(( ($(date +%s%N) - start) / 1000000 ))

# Let the start-up poll's replies settle before measuring.
sleep 5
rss_kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$server/status")
hwm_kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$server/status")
threads=$(awk '/^Threads:/ { print $2 }' "/proc/$server/status")
ticks() { # utime + stime of the server, in clock ticks
  # The command name may hold spaces: fields counted after its closing parenthesis.
  sed 's/.*) //' "/proc/$server/stat" | awk '{ print $12 + $13 }'
}
hz=$(getconf CLK_TCK)
t0=$(ticks)
w0=$(date +%s%N)
sleep "$idle"
t1=$(ticks)
w1=$(date +%s%N)
cpu=$(awk -v t=$((t1 - t0)) -v hz="$hz" -v ns=$((w1 - w0)) 'BEGIN { printf "%.2f", 100 * t / hz / (ns / 1e9) }')
listed=$(curl -sf "$api/frames" | jq '.frames // . | length')
still=$(curl -sf "$api/frames" | jq '[.frames // . | .[] | select(.state == "connected")] | length')

echo "velmar-server with $count simulated frames (framesim --frames $count, separate processes)"
printf '%-36s %8d ms\n' "all connected after start" "$connected_ms"
printf '%-36s %8d ms\n' "all read (routes served) after start" "$read_ms"
printf '%-36s %8.1f MB (peak %.1f MB; goal under 300 MB)\n' "resident memory, all read" \
  "$(awk -v k="$rss_kb" 'BEGIN { print k / 1024 }')" "$(awk -v k="$hwm_kb" 'BEGIN { print k / 1024 }')"
printf '%-36s %8d\n' "threads" "$threads"
printf '%-36s %8s %% of one core over %d s (goal under 5%%)\n' "CPU while idle" "$cpu" "$idle"
printf '%-36s %8s listed, %s connected\n' "GET /api/v1/frames after the idle" "$listed" "$still"
